#pragma once
// Short texts for failure codes of the portable-device service and for PTP codes, always
// shown inside a longer log line or message.

#include <cstdint>
#include <string>

// A phrase for the five device failures a user can act on, else "0x" and 8 hex digits.
std::wstring hrText(std::int32_t hr);

// "0x" and the value in upper-case hex, left-padded with 0 to at least width digits.
// Digits of the value are never cut; the padding stops at 13 digits, so the text is at
// most 15 characters.
std::wstring hexText(std::uint32_t value, int width);
