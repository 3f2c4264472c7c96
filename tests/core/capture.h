#pragma once
// Loads a real camera capture from tests/captures: one line of hex, read into bytes.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace testing_support {

inline std::vector<std::uint8_t> loadCapture(const std::string& name)
{
    const std::string path = std::string(TB_CAPTURES_DIR) + "/" + name;
    std::FILE* file = std::fopen(path.c_str(), "rb");
#ifdef _WIN32
    // Under Wine a unix path resolves through the current drive; Z: is the unix root.
    if (!file && !path.empty() && path[0] == '/') file = std::fopen(("Z:" + path).c_str(), "rb");
#endif
    std::vector<std::uint8_t> bytes;
    if (!file) {
        ADD_FAILURE() << "cannot open capture " << path;
        return bytes;
    }
    int high = -1;
    for (int c; (c = std::fgetc(file)) != EOF;) {
        int nibble;
        if (c >= '0' && c <= '9') nibble = c - '0';
        else if (c >= 'a' && c <= 'f') nibble = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') nibble = c - 'A' + 10;
        else if (c == '\n' || c == '\r' || c == ' ') continue;
        else {
            ADD_FAILURE() << "not hex in " << path << ": " << c;
            break;
        }
        if (high < 0) {
            high = nibble;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high << 4 | nibble));
            high = -1;
        }
    }
    std::fclose(file);
    if (high >= 0) ADD_FAILURE() << "odd number of hex digits in " << path;
    return bytes;
}

}  // namespace testing_support
