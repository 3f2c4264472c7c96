#pragma once
// One PTP operation through the portable-device service's MTP-extension commands.

#include "device/camera_session.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// The most bytes one read-data command asks for.
inline constexpr std::uint32_t readChunkSize = 0x40000;
// The announced size of a data phase is cut to this before reading starts.
inline constexpr std::uint64_t maxTransferSize = 0x2000000;

struct CommandResult {
    HRESULT hr = S_OK;               // 0, or the failure that ended the operation
    std::uint32_t responseCode = 0;  // the camera's PTP response; 0 when none was obtained
    std::vector<std::uint8_t> data;  // the data phase from the camera, possibly shorter than announced
};

// Runs operationCode with params on the session's open device. expectsData: the operation has
// a data phase from camera to host. Writes no log line and never judges the response code:
// the caller does. Only running out of memory throws.
CommandResult sendOperation(const CameraSession& session, std::uint16_t operationCode,
                            std::span<const std::uint32_t> params, bool expectsData);
