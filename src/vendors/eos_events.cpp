#include "vendors/eos_events.h"

#include "ptp/ptp_reader.h"

namespace {

constexpr std::uint32_t kPropertyValueRecord = 0xC189;
constexpr std::size_t kHeaderBytes = 8;
constexpr std::size_t kPropertyValueRecordBytes = 16;  // header, code, one 32-bit value
constexpr std::size_t kValueOffset = 12;

}  // namespace

std::int32_t parseEosEvents(std::span<const std::uint8_t> data, EosPropertyMap& map)
{
    std::int32_t taken = 0;
    std::size_t offset = 0;
    while (data.size() - offset >= kHeaderBytes) {
        const std::span<const std::uint8_t> rest = data.subspan(offset);
        PtpReader header(rest);
        const std::uint32_t size = header.u32le();
        const std::uint32_t type = header.u32le();
        if (size < kHeaderBytes || type == 0)
            break;
        // The size is any 32-bit value the camera sends: compare against what remains.
        if (size > rest.size())
            break;
        if (type == kPropertyValueRecord && size >= kPropertyValueRecordBytes) {
            const std::uint32_t code = header.u32le();
            const std::uint32_t value = header.u32le();
            map[code] = EosPropertyValue{value, static_cast<std::uint32_t>(size - kValueOffset)};
            ++taken;
        }
        offset += size;
    }
    return taken;
}

std::optional<std::uint32_t> eosCounterValue(const EosPropertyMap& map, std::uint32_t code)
{
    const auto it = map.find(code);
    if (it == map.end() || it->second.valueBytes != 4)
        return std::nullopt;
    return it->second.value;
}

std::wstring eosCounterLine(const EosPropertyMap& map, std::uint32_t code)
{
    std::wstring line = code == kEosShutterCounter ? L"D1AC ShutterCounter: " : L"D167 ShutterReleaseCounter: ";
    const auto it = map.find(code);
    if (it == map.end())
        return line + L"not sent";
    if (it->second.valueBytes != 4)
        return line + L"not a count (" + std::to_wstring(it->second.valueBytes) + L"-byte value)";
    return line + std::to_wstring(it->second.value);
}
