// photo-count [--json] FILE...: the shutter count of each photo, one line per file. Each file is
// read through the resumable reader, only the ranges it asks for. Exit 0 when every file could
// be opened, 1 otherwise.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "photo/photo_reader.h"

namespace {

struct FileResult {
    bool opened = false;
    std::string error; // why it could not be opened
    PhotoReading reading;
};

FileResult readFile(const char* path)
{
    FileResult result;
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        result.error = "it is a folder";
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
            line = json ? photoReadingJson(none, argv[i]) : std::string(argv[i]) + ": no count: " + none.message;
        } else {
            line = json ? photoReadingJson(r.reading, argv[i]) : std::string(argv[i]) + ": " + photoCountLine(r.reading);
        }
        std::printf("%s\n", line.c_str());
    }
    return status;
}
