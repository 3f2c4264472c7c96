#pragma once
// Loads a real camera capture (one line of hex) from tests/captures.

#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace testing_captures {

inline std::vector<std::uint8_t> loadCapture(const std::string& name)
{
    std::ifstream in(std::string(TB_CAPTURES_DIR) + "/" + name);
    if (!in)
        throw std::runtime_error("missing capture " + name);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::uint8_t> bytes;
    int high = -1;
    for (char c : text) {
        int nibble;
        if (c >= '0' && c <= '9') nibble = c - '0';
        else if (c >= 'a' && c <= 'f') nibble = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') nibble = c - 'A' + 10;
        else continue;
        if (high < 0) {
            high = nibble;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high << 4 | nibble));
            high = -1;
        }
    }
    return bytes;
}

}  // namespace testing_captures
