// photo-count [--json] FILE...: the shutter count of each photo, one line per file. Each file is
// read through the resumable reader, only the ranges it asks for. Exit 0 when every file could
// be opened, 1 otherwise (a pipe, a device or a socket is refused unopened: it holds no photo,
// and opening a pipe waits for a writer).
//
// File names are bytes, and one line per file must stay one line: on the text line each byte
// that is not part of valid UTF-8 and each byte of a control character (U+0000-U+001F, U+007F,
// U+0080-U+009F) is written \xNN (two upper-case hex digits) and a backslash \\, so the line can
// be turned back into the name. In the JSON a name that is valid UTF-8 is given exactly (JSON
// escapes its control characters); any other name is given in the text line's form.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "photo/photo_reader.h"

namespace {

// The length of the valid UTF-8 character at the start of `s`, or 0 when it is not one (a stray
// byte, an overlong form, a surrogate, a value past U+10FFFF, or a character cut short).
std::size_t utf8Length(std::string_view s)
{
    const auto lead = static_cast<unsigned char>(s[0]);
    if (lead < 0x80) return 1;
    const std::size_t n = lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3 : lead >= 0xF0 && lead < 0xF5 ? 4 : 0;
    if (n == 0 || n > s.size()) return 0;
    std::uint32_t cp = lead & (0x7F >> n);
    for (std::size_t i = 1; i < n; ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if ((c & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (c & 0x3F);
    }
    if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp < 0xE000))) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return 0;
    return n;
}

bool validUtf8(std::string_view s)
{
    for (std::size_t i = 0, n; i < s.size(); i += n)
        if ((n = utf8Length(s.substr(i))) == 0) return false;
    return true;
}

// The name as the text line shows it (see the top of this file).
std::string escapedName(std::string_view name)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t n = utf8Length(name.substr(i));
        const auto lead = static_cast<unsigned char>(name[i]);
        const bool control = (n == 1 && (lead < 0x20 || lead == 0x7F)) ||
                             (n == 2 && lead == 0xC2 && static_cast<unsigned char>(name[i + 1]) < 0xA0);
        if (n == 1 && lead == '\\') {
            out += "\\\\";
        } else if (n == 0 || control) {
            for (std::size_t k = 0; k < std::max<std::size_t>(n, 1); ++k) {
                const auto b = static_cast<unsigned char>(name[i + k]);
                out += "\\x";
                out.push_back(hex[b >> 4]);
                out.push_back(hex[b & 15]);
            }
        } else {
            out.append(name.substr(i, n));
        }
        i += std::max<std::size_t>(n, 1);
    }
    return out;
}

std::string jsonName(std::string_view name) { return validUtf8(name) ? std::string(name) : escapedName(name); }

// Why a path that exists is no file to read, or empty when it is one.
const char* notAFile(const std::filesystem::file_status& status)
{
    using std::filesystem::file_type;
    switch (status.type()) {
    case file_type::regular: return "";
    case file_type::directory: return "it is a folder";
    case file_type::fifo: return "it is a pipe, not a file";
    case file_type::block:
    case file_type::character: return "it is a device, not a file";
    case file_type::socket: return "it is a socket, not a file";
    default: return "it is not a file";
    }
}

struct FileResult {
    bool opened = false;
    std::string error; // why it could not be opened
    PhotoReading reading;
};

FileResult readFile(const char* path)
{
    FileResult result;
    // Asked before opening: fopen on a pipe would wait for a writer. A path that cannot be
    // looked at is left to fopen, which says why.
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!ec && *notAFile(status)) {
        result.error = notAFile(status);
        return result;
    }
    std::FILE* f = std::fopen(path, "rb");
    if (!f) {
        result.error = std::strerror(errno);
        return result;
    }
    long long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
    if (size < 0) {
        result.error = std::strerror(errno);
        std::fclose(f);
        return result;
    }
    result.opened = true;
    PhotoReader reader(static_cast<std::uint64_t>(size));
    std::vector<std::uint8_t> buffer;
    while (!reader.done()) {
        const ByteRange want = reader.wanted();
        buffer.resize(want.length);
        std::size_t got = 0;
        if (std::fseek(f, static_cast<long>(want.offset), SEEK_SET) == 0)
            got = std::fread(buffer.data(), 1, buffer.size(), f);
        reader.supply(std::span<const std::uint8_t>(buffer.data(), got));
    }
    std::fclose(f);
    result.reading = reader.reading();
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    bool json = false;
    int first = 1;
    if (argc > 1 && std::strcmp(argv[1], "--json") == 0) {
        json = true;
        first = 2;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: photo-count [--json] FILE...\n");
        return 2;
    }
    int status = 0;
    for (int i = first; i < argc; ++i) {
        const FileResult r = readFile(argv[i]);
        std::string line;
        if (!r.opened) {
            status = 1;
            PhotoReading none;
            none.message = "Cannot open this file: " + r.error + ".";
            line = json ? photoReadingJson(none, jsonName(argv[i])) : escapedName(argv[i]) + ": no count: " + none.message;
        } else {
            line = json ? photoReadingJson(r.reading, jsonName(argv[i]))
                        : escapedName(argv[i]) + ": " + photoCountLine(r.reading);
        }
        std::printf("%s\n", line.c_str());
    }
    return status;
}
