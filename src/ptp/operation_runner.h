#pragma once
// One PTP operation, run by whichever route reaches the camera: the portable-device service
// in Tallybrook.exe, or USB from the page. The vendor readers are written once against this.

#include "ptp/task.h"

#include <cstdint>
#include <vector>

struct CommandResult {
    std::int32_t hr = 0;             // 0, or the failure (an HRESULT) that ended the operation
    std::uint32_t responseCode = 0;  // the camera's PTP response; 0 when none was obtained
    std::vector<std::uint8_t> data;  // the data phase from the camera, possibly shorter than announced
};

// An operation's one parameter, for run(). (GCC 12 miscompiles a braced list inside co_await.)
inline std::vector<std::uint32_t> oneParam(std::uint32_t value)
{
    return std::vector<std::uint32_t>(1, value);
}

class PtpOperationRunner {
public:
    virtual ~PtpOperationRunner() = default;
    // Runs operationCode with params. expectsData: the operation has a data phase from camera
    // to host. Writes no log line and never judges the response code: the caller does.
    virtual Task<CommandResult> run(std::uint16_t operationCode, std::vector<std::uint32_t> params,
                                    bool expectsData) = 0;
    // Waits between two polls of the camera.
    virtual Task<> pause(unsigned milliseconds) = 0;
};
