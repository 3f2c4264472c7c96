#include "ptp/usb_container.h"

#include "ptp/ptp_reader.h"

#include <algorithm>

namespace usbptp {

namespace {

constexpr std::size_t kMaxResponseBytes = kHeaderBytes + 4 * kMaxParams;
// Get Device Status names a handful of endpoints at most; more is not a real answer.
constexpr std::size_t kMaxStatusEndpoints = 8;

}  // namespace

std::optional<ContainerHeader> decodeHeader(std::span<const std::uint8_t> bytes)
{
    PtpReader reader(bytes);
    ContainerHeader header;
    header.length = reader.u32le();
    header.type = reader.u16le();
    header.code = reader.u16le();
    header.transactionId = reader.u32le();
    if (reader.failed())
        return std::nullopt;
    return header;
}

std::optional<Response> decodeResponse(std::span<const std::uint8_t> bytes)
{
    const auto header = decodeHeader(bytes);
    if (!header || header->type != kResponse || header->length < kHeaderBytes || header->length > kMaxResponseBytes ||
        (header->length - kHeaderBytes) % 4 != 0 || header->length > bytes.size())
        return std::nullopt;
    Response response{header->code, header->transactionId, {}};
    PtpReader reader(bytes.subspan(kHeaderBytes, header->length - kHeaderBytes));
    while (reader.remaining() >= 4)
        response.params.push_back(reader.u32le());
    return response;
}

std::vector<std::uint8_t> encodeCommand(std::uint16_t operationCode, std::uint32_t transactionId,
                                        std::span<const std::uint32_t> params)
{
    const std::size_t count = std::min(params.size(), kMaxParams);
    std::vector<std::uint8_t> bytes;
    bytes.reserve(kHeaderBytes + 4 * count);
    const auto put16 = [&](std::uint16_t v) {
        bytes.push_back(static_cast<std::uint8_t>(v));
        bytes.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    const auto put32 = [&](std::uint32_t v) {
        put16(static_cast<std::uint16_t>(v));
        put16(static_cast<std::uint16_t>(v >> 16));
    };
    put32(static_cast<std::uint32_t>(kHeaderBytes + 4 * count));
    put16(kCommand);
    put16(operationCode);
    put32(transactionId);
    for (std::size_t i = 0; i < count; ++i)
        put32(params[i]);
    return bytes;
}

std::optional<DeviceStatus> decodeDeviceStatus(std::span<const std::uint8_t> bytes)
{
    PtpReader reader(bytes);
    const std::uint16_t length = reader.u16le();
    DeviceStatus status;
    status.code = reader.u16le();
    if (reader.failed() || length < 4)
        return std::nullopt;
    // The stated length bounds the endpoint list as much as the bytes that came do.
    PtpReader endpoints(bytes.subspan(4, std::min<std::size_t>(length, bytes.size()) - 4));
    while (endpoints.remaining() >= 4 && status.stalledEndpoints.size() < kMaxStatusEndpoints)
        status.stalledEndpoints.push_back(static_cast<std::uint8_t>(endpoints.u32le()));
    return status;
}

}  // namespace usbptp
