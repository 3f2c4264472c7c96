#include "vendors/eos_events.h"

namespace {

constexpr std::uint32_t kPropertyValueRecord = 0xC189;
constexpr std::size_t kHeaderBytes = 8;
constexpr std::size_t kPropertyValueRecordBytes = 16;  // header, code, one 32-bit value
constexpr std::size_t kValueOffset = 12;

// Bounded little-endian reads over one record: a read that does not fit yields 0.
class RecordReader {
public:
    explicit RecordReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint32_t u32le(std::size_t offset) const
    {
        if (offset > bytes_.size() || bytes_.size() - offset < 4)
            return 0;
        return static_cast<std::uint32_t>(bytes_[offset]) |
               static_cast<std::uint32_t>(bytes_[offset + 1]) << 8 |
               static_cast<std::uint32_t>(bytes_[offset + 2]) << 16 |
               static_cast<std::uint32_t>(bytes_[offset + 3]) << 24;
    }

private:
    std::span<const std::uint8_t> bytes_;
};

}  // namespace

std::int32_t parseEosEvents(std::span<const std::uint8_t> data, EosPropertyMap& map)
{
    std::int32_t taken = 0;
    std::size_t offset = 0;
    while (data.size() - offset >= kHeaderBytes) {
        const std::span<const std::uint8_t> rest = data.subspan(offset);
        const RecordReader header(rest);
        const std::uint32_t size = header.u32le(0);
        const std::uint32_t type = header.u32le(4);
        if (size < kHeaderBytes || type == 0)
            break;
        // The size is any 32-bit value the camera sends: compare against what remains.
        if (size > rest.size())
            break;
        const RecordReader record(rest.first(size));
        if (type == kPropertyValueRecord && size >= kPropertyValueRecordBytes) {
            map[record.u32le(8)] = EosPropertyValue{record.u32le(kValueOffset),
                                                    static_cast<std::uint32_t>(size - kValueOffset)};
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
