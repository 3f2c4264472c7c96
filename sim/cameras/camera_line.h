#pragma once
// The words of a camera line and the numbers in them (see README.md): the reading of the
// text, apart from what the words mean.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim::cameraline {

struct Word {
    std::string key;
    std::string value;
};

// "kind key=value key="a quoted value"" into the kind and the words; the reason when the
// text is not of that form.
std::optional<std::string> splitLine(std::string_view line, std::string& kind, std::vector<Word>& words);

// Decimal, or hexadecimal after 0x; nothing when empty, malformed or above max.
std::optional<std::uint64_t> parseNumber(std::string_view text, std::uint64_t max);

// A PTP code: one to four hexadecimal digits, 0x optional.
std::optional<std::uint16_t> parseCode(std::string_view text);

}  // namespace sim::cameraline
