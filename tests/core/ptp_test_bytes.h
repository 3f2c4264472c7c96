#pragma once
// Builds little-endian PTP data for tests, field by field.

#include <cstdint>
#include <string_view>
#include <vector>

namespace testing_support {

struct PtpBytes {
    std::vector<std::uint8_t> bytes;

    PtpBytes& u8(std::uint8_t v)
    {
        bytes.push_back(v);
        return *this;
    }
    PtpBytes& u16(std::uint16_t v)
    {
        bytes.push_back(static_cast<std::uint8_t>(v));
        bytes.push_back(static_cast<std::uint8_t>(v >> 8));
        return *this;
    }
    PtpBytes& u32(std::uint32_t v)
    {
        u16(static_cast<std::uint16_t>(v));
        return u16(static_cast<std::uint16_t>(v >> 16));
    }
    // A PTP string as cameras send it: the units, then a NUL counted in; empty as count 0.
    PtpBytes& str(std::u16string_view text)
    {
        if (text.empty()) return u8(0);
        u8(static_cast<std::uint8_t>(text.size() + 1));
        for (char16_t unit : text) u16(unit);
        return u16(0);
    }
    // A count byte and exactly these units, for strings a camera gets wrong.
    PtpBytes& units(std::uint8_t count, std::u16string_view unitsPresent)
    {
        u8(count);
        for (char16_t unit : unitsPresent) u16(unit);
        return *this;
    }
    PtpBytes& list(const std::vector<std::uint16_t>& elements)
    {
        u32(static_cast<std::uint32_t>(elements.size()));
        for (std::uint16_t e : elements) u16(e);
        return *this;
    }
};

}  // namespace testing_support
