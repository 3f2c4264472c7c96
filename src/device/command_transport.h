#pragma once
// One PTP operation through the portable-device service's MTP-extension commands.

#include "device/camera_session.h"
#include "ptp/operation_runner.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// The most bytes one read-data command asks for.
inline constexpr std::uint32_t readChunkSize = 0x40000;
// The announced size of a data phase is cut to this before reading starts.
inline constexpr std::uint64_t maxTransferSize = 0x2000000;
// The announced size the service documents as "size unknown": the data then ends with the
// first chunk that comes back shorter than asked.
inline constexpr std::uint64_t unknownTransferSize = 0xFFFFFFFF;
// The most read-data commands of one operation: eight times what a whole maxTransferSize
// phase takes in readChunkSize requests. A driver that dribbles a byte per request would
// otherwise keep a reading going for millions of round trips.
inline constexpr unsigned maxReadCommands = 1024;

// Runs operationCode with params on the session's open device. expectsData: the operation has
// a data phase from camera to host. Writes no log line and never judges the response code:
// the caller does. Only running out of memory throws.
CommandResult sendOperation(const CameraSession& session, std::uint16_t operationCode,
                            std::span<const std::uint32_t> params, bool expectsData);
