#pragma once
// The containers PTP travels in over USB: every block on the bulk pipes starts with a 12-byte
// header (length, type, code, transaction id), all little-endian. Platform-free; the decoders
// take any bytes a camera may send and never read outside them.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace usbptp {

inline constexpr std::size_t kHeaderBytes = 12;
inline constexpr std::size_t kMaxParams = 5;
// The length a data container gives when it does not know its size: it then ends with a short packet.
inline constexpr std::uint32_t kUnknownLength = 0xFFFFFFFF;

enum ContainerType : std::uint16_t { kCommand = 1, kData = 2, kResponse = 3, kEvent = 4 };

struct ContainerHeader {
    std::uint32_t length = 0;  // the whole container, header included, as the camera claims it
    std::uint16_t type = 0;
    std::uint16_t code = 0;  // operation code (command, data) or response code
    std::uint32_t transactionId = 0;
};

struct Response {
    std::uint16_t code = 0;
    std::uint32_t transactionId = 0;
    std::vector<std::uint32_t> params;  // at most kMaxParams
};

// The header at the start of bytes; nothing when fewer than 12 bytes came.
std::optional<ContainerHeader> decodeHeader(std::span<const std::uint8_t> bytes);

// A whole response container: type 3, a length from 12 to 32 that is 12 plus whole parameters
// and lies within bytes. Anything else gives nothing.
std::optional<Response> decodeResponse(std::span<const std::uint8_t> bytes);

// A command container with at most kMaxParams parameters (more are not sent).
std::vector<std::uint8_t> encodeCommand(std::uint16_t operationCode, std::uint32_t transactionId,
                                        std::span<const std::uint32_t> params);

// The class request Get Device Status answers: its length (LE16), a PTP response code (LE16),
// then the addresses of the endpoints that stalled (LE32 each, within the stated length).
struct DeviceStatus {
    std::uint16_t code = 0;
    std::vector<std::uint8_t> stalledEndpoints;  // endpoint addresses: 0x80 set for IN
};
std::optional<DeviceStatus> decodeDeviceStatus(std::span<const std::uint8_t> bytes);

}  // namespace usbptp
