#pragma once
// Real camera data kept as text: one line of hex per data phase (tests/captures).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace sim {

// Pairs of hex digits, either case, to bytes; ASCII white space anywhere is ignored. Any
// other character, or an odd number of digits, gives nothing.
std::optional<std::vector<std::uint8_t>> parseHex(std::string_view text);

// A capture file (one line of hex) to bytes; nothing when it is not a plain file that can be
// read, is not hex, or holds more than 64 MiB of text.
std::optional<std::vector<std::uint8_t>> loadCapture(const std::filesystem::path& file);

// The project's tests/captures folder as programs of this build see it (under Wine, through
// drive Z:).
std::filesystem::path defaultCapturesDir();

}  // namespace sim
