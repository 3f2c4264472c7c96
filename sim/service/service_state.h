#pragma once
// The scenario in force and what the simulated service received, shared by its objects. Each
// object keeps the state it was made under, so replacing the scenario never pulls it away
// from an object still in use.

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "scenario.h"

namespace sim {

class ServiceState {
public:
    explicit ServiceState(Scenario scenario);

    // The devices never change after construction, so they are read without the lock.
    const std::vector<DeviceSpec>& devices() const { return scenario_.devices; }
    const DeviceSpec* device(const std::wstring& id) const;
    const ServiceRules& rules() const { return scenario_.rules; }

    // Counts this call against every fault that matches it and returns the effect of those
    // whose turn it is, merged in scenario order (a later one wins; omissions add up).
    Fault effect(Call call, const std::wstring& device = {}, std::optional<std::uint32_t> command = {},
                 std::optional<std::uint16_t> operation = {});

    // Runs one operation on the device's camera; cameras see one operation at a time.
    PtpReply run(const DeviceSpec& device, std::uint16_t operation, const std::vector<std::uint32_t>& params,
                 bool dataIn);

    void record(Record r);
    std::vector<Record> records() const;
    void clearRecords();
    // Called with every record as it is made (the server DLL writes its log file with it).
    void setRecordListener(std::function<void(const Record&)> listener);

private:
    Scenario scenario_;
    mutable std::mutex mutex_;
    std::vector<unsigned> hits_;  // calls that matched each fault so far
    std::vector<Record> records_;
    std::function<void(const Record&)> listener_;
    std::mutex cameraMutex_;
};

std::shared_ptr<ServiceState> currentState();
void setCurrentState(std::shared_ptr<ServiceState> state);

}  // namespace sim
