#include "ptp/failure_text.h"

#include <algorithm>

namespace {

struct Phrase {
    std::uint32_t hr;
    const wchar_t* text;
};

constexpr Phrase phrases[] = {
    {0x80070005, L"access denied"},                // E_ACCESSDENIED
    {0x8007001F, L"device stopped responding"},    // ERROR_GEN_FAILURE
    {0x80070032, L"not supported by the driver"},  // ERROR_NOT_SUPPORTED
    {0x800700AA, L"device busy"},                  // ERROR_BUSY
    {0x8007048F, L"device disconnected"},          // ERROR_DEVICE_NOT_CONNECTED
};

// The longest text is 15 characters: "0x" and 13 digits.
constexpr int maxDigits = 13;

}  // namespace

std::wstring hexText(std::uint32_t value, int width)
{
    // Built by hand: mingw's swprintf follows C99 and differs from the Windows one.
    std::wstring digits;
    do {
        digits.push_back(L"0123456789ABCDEF"[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    const int padTo = std::clamp(width, 0, maxDigits);
    if (static_cast<int>(digits.size()) < padTo)
        digits.append(static_cast<std::size_t>(padTo) - digits.size(), L'0');
    std::reverse(digits.begin(), digits.end());
    return L"0x" + digits;
}

std::wstring hrText(std::int32_t hr)
{
    const auto code = static_cast<std::uint32_t>(hr);
    for (const Phrase& p : phrases)
        if (p.hr == code) return p.text;
    return hexText(code, 8);
}
