#include "capture_file.h"

#include <fstream>
#include <string>
#include <system_error>

namespace sim {

namespace {

int nibble(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

constexpr std::size_t maxCaptureText = std::size_t{64} << 20;

}  // namespace

std::optional<std::vector<std::uint8_t>> parseHex(std::string_view text)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 2);
    int high = -1;
    for (char c : text) {
        if (isSpace(c))
            continue;
        const int n = nibble(c);
        if (n < 0)
            return std::nullopt;
        if (high < 0) {
            high = n;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high << 4 | n));
            high = -1;
        }
    }
    if (high >= 0)
        return std::nullopt;
    return bytes;
}

std::optional<std::vector<std::uint8_t>> loadCapture(const std::filesystem::path& file)
{
    // Only plain files: a folder or a device would read as nothing, or never end.
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error))
        return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string text;
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        text.append(chunk, static_cast<std::size_t>(in.gcount()));
        if (text.size() > maxCaptureText)
            return std::nullopt;
    }
    if (in.bad())
        return std::nullopt;
    return parseHex(text);
}

std::filesystem::path defaultCapturesDir()
{
    return std::filesystem::path(SIM_CAPTURES_DIR);
}

}  // namespace sim
