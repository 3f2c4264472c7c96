#include "service_state.h"

namespace sim {
namespace {

std::mutex gCurrentMutex;
std::shared_ptr<ServiceState> gCurrent;

constexpr std::uint16_t kOperationNotSupported = 0x2005;

}  // namespace

ServiceState::ServiceState(Scenario scenario) : scenario_(std::move(scenario)), hits_(scenario_.faults.size(), 0) {}

const DeviceSpec* ServiceState::device(const std::wstring& id) const
{
    for (const auto& d : scenario_.devices)
        if (d.id == id)
            return &d;
    return nullptr;
}

Fault ServiceState::effect(Call call, const std::wstring& device, std::optional<std::uint32_t> command,
                           std::optional<std::uint16_t> operation)
{
    Fault merged;
    merged.call = call;
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < scenario_.faults.size(); ++i) {
        const Fault& f = scenario_.faults[i];
        if (f.call != call || (!f.device.empty() && f.device != device))
            continue;
        if (f.command && f.command != command)
            continue;
        if (f.operation && f.operation != operation)
            continue;
        const unsigned n = ++hits_[i];
        if (f.nth != 0 && f.nth != n)
            continue;
        if (f.result)
            merged.result = f.result;
        if (f.driverResult)
            merged.driverResult = f.driverResult;
        if (f.responseCode)
            merged.responseCode = f.responseCode;
        merged.omit |= f.omit;
        if (f.totalSize)
            merged.totalSize = f.totalSize;
        if (f.served)
            merged.served = f.served;
        if (f.bytesRead)
            merged.bytesRead = f.bytesRead;
        if (f.count)
            merged.count = f.count;
    }
    return merged;
}

PtpReply ServiceState::run(const DeviceSpec& device, std::uint16_t operation, const std::vector<std::uint32_t>& params,
                           bool dataIn)
{
    if (!device.responder)
        return PtpReply{kOperationNotSupported, {}};
    std::lock_guard lock(cameraMutex_);
    return device.responder->execute(operation, params, dataIn);
}

void ServiceState::record(Record r)
{
    std::function<void(const Record&)> listener;
    {
        std::lock_guard lock(mutex_);
        records_.push_back(r);
        listener = listener_;
    }
    if (listener)
        listener(r);
}

std::vector<Record> ServiceState::records() const
{
    std::lock_guard lock(mutex_);
    return records_;
}

void ServiceState::clearRecords()
{
    std::lock_guard lock(mutex_);
    records_.clear();
}

void ServiceState::setRecordListener(std::function<void(const Record&)> listener)
{
    std::lock_guard lock(mutex_);
    listener_ = std::move(listener);
}

std::shared_ptr<ServiceState> currentState()
{
    std::lock_guard lock(gCurrentMutex);
    return gCurrent;
}

void setCurrentState(std::shared_ptr<ServiceState> state)
{
    std::lock_guard lock(gCurrentMutex);
    gCurrent = std::move(state);
}

}  // namespace sim
