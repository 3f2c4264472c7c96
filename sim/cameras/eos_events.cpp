#include "eos_events.h"

#include "ptp_writer.h"

namespace sim {

EosEventBuilder& EosEventBuilder::property(std::uint32_t code, std::uint32_t value)
{
    return raw(PtpWriter().u32le(16).u32le(eosPropertyValueRecord).u32le(code).u32le(value).bytes());
}

EosEventBuilder& EosEventBuilder::propertyBytes(std::uint32_t code, std::span<const std::uint8_t> value)
{
    const auto size = static_cast<std::uint32_t>(12 + value.size());
    return raw(PtpWriter().u32le(size).u32le(eosPropertyValueRecord).u32le(code).raw(value).bytes());
}

EosEventBuilder& EosEventBuilder::record(std::uint32_t type, std::span<const std::uint8_t> payload)
{
    return header(static_cast<std::uint32_t>(8 + payload.size()), type).raw(payload);
}

EosEventBuilder& EosEventBuilder::header(std::uint32_t size, std::uint32_t type)
{
    return raw(PtpWriter().u32le(size).u32le(type).bytes());
}

EosEventBuilder& EosEventBuilder::end()
{
    return header(8, 0);
}

EosEventBuilder& EosEventBuilder::raw(std::span<const std::uint8_t> bytes)
{
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

std::vector<std::uint8_t> eosEmptyBatch()
{
    return EosEventBuilder().end().bytes();
}

}  // namespace sim
