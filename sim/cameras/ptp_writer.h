#pragma once
// Appends PTP-encoded values to a byte vector: little-endian numbers, uint16 lists and PTP
// strings. The simulated cameras build their datasets with it; tests use it to write any
// dataset, malformed ones included.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace sim {

class PtpWriter {
public:
    // The longest text a PTP string carries: its count byte holds the NUL too.
    static constexpr std::size_t maxStringUnits = 254;

    PtpWriter& u8(std::uint8_t value)
    {
        bytes_.push_back(value);
        return *this;
    }

    PtpWriter& u16le(std::uint16_t value)
    {
        bytes_.push_back(static_cast<std::uint8_t>(value));
        bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
        return *this;
    }

    PtpWriter& u32le(std::uint32_t value)
    {
        for (int shift = 0; shift < 32; shift += 8)
            bytes_.push_back(static_cast<std::uint8_t>(value >> shift));
        return *this;
    }

    PtpWriter& raw(std::span<const std::uint8_t> bytes)
    {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return *this;
    }

    // A uint32 count, then the elements. announcedCount, when given, is written instead of
    // the real size while all the elements are still written: a camera that lies.
    PtpWriter& u16List(std::span<const std::uint16_t> elements, std::optional<std::uint32_t> announcedCount = {})
    {
        u32le(announcedCount.value_or(static_cast<std::uint32_t>(elements.size())));
        for (std::uint16_t e : elements)
            u16le(e);
        return *this;
    }

    // A count byte of 16-bit units with the NUL, then the units and the NUL; an empty text is
    // the count 0 alone. Longer texts are cut to maxStringUnits, as a camera must.
    PtpWriter& string(std::u16string_view units)
    {
        if (units.empty())
            return u8(0);
        units = units.substr(0, maxStringUnits);
        u8(static_cast<std::uint8_t>(units.size() + 1));
        for (char16_t unit : units)
            u16le(static_cast<std::uint16_t>(unit));
        return u16le(0);
    }

    const std::vector<std::uint8_t>& bytes() const& { return bytes_; }
    std::vector<std::uint8_t> bytes() && { return std::move(bytes_); }

private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace sim
