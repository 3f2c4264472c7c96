#include "sim_camera.h"

#include <algorithm>

namespace sim {

SimCamera::SimCamera(DeviceInfoFields fields) : deviceInfo_(buildDeviceInfo(fields)) {}

PtpReply SimCamera::execute(std::uint16_t operationCode, const std::vector<std::uint32_t>& params, bool dataIn)
{
    std::lock_guard lock(mutex_);
    received_.push_back({operationCode, params, dataIn});
    const auto nth = static_cast<unsigned>(
        std::count_if(received_.begin(), received_.end(), [&](const auto& op) { return op.code == operationCode; }));

    const Rejection* rejection = nullptr;
    for (const Rejection& r : rejections_) {
        if (r.operationCode != operationCode)
            continue;
        if (r.nth == nth) {
            rejection = &r;
            break;
        }
        if (r.nth == 0 && rejection == nullptr)
            rejection = &r;
    }
    if (rejection != nullptr)
        return {rejection->responseCode, {}};

    switch (operationCode) {
    case ptp::getDeviceInfo:
        return {ptp::ok, deviceInfo_};
    case ptp::openSession:
    case ptp::closeSession:
        return {ptp::ok, {}};
    default:
        return answer(operationCode, params);
    }
}

void SimCamera::setDeviceInfo(DeviceInfoFields fields)
{
    setDeviceInfoBytes(buildDeviceInfo(fields));
}

void SimCamera::setDeviceInfoBytes(std::vector<std::uint8_t> bytes)
{
    std::lock_guard lock(mutex_);
    deviceInfo_ = std::move(bytes);
}

std::vector<std::uint8_t> SimCamera::deviceInfoBytes() const
{
    std::lock_guard lock(mutex_);
    return deviceInfo_;
}

void SimCamera::rejectOperation(std::uint16_t operationCode, std::uint16_t responseCode, unsigned nth)
{
    std::lock_guard lock(mutex_);
    rejections_.push_back({operationCode, responseCode, nth});
}

std::vector<ReceivedOperation> SimCamera::received() const
{
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<std::uint16_t> SimCamera::receivedCodes() const
{
    std::lock_guard lock(mutex_);
    std::vector<std::uint16_t> codes;
    for (const auto& op : received_)
        codes.push_back(op.code);
    return codes;
}

PtpReply ListedOnlyDevice::execute(std::uint16_t operationCode, const std::vector<std::uint32_t>& params, bool dataIn)
{
    std::lock_guard lock(mutex_);
    received_.push_back({operationCode, params, dataIn});
    return {ptp::operationNotSupported, {}};
}

std::vector<ReceivedOperation> ListedOnlyDevice::received() const
{
    std::lock_guard lock(mutex_);
    return received_;
}

}  // namespace sim
