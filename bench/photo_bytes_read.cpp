// What reading the count costs in file reads: each file opened and read only where the
// resumable reader asks, as the web page reads a dropped file. One line per file:
//   file <TAB> size <TAB> reads <TAB> bytes read <TAB> furthest byte read <TAB> count or "none"
// Exit 1 if a file cannot be opened.
//
//   photo_bytes_read FILE...

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "photo/photo_reader.h"

int main(int argc, char** argv)
{
    int status = 0;
    std::vector<std::uint8_t> buffer;
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary | std::ios::ate);
        if (!in) {
            std::fprintf(stderr, "photo_bytes_read: cannot open %s\n", argv[i]);
            status = 1;
            continue;
        }
        const auto size = static_cast<std::uint64_t>(in.tellg());
        PhotoReader reader(size);
        std::uint64_t reads = 0;
        std::uint64_t furthest = 0;
        while (!reader.done()) {
            const ByteRange want = reader.wanted();
            buffer.resize(want.length);
            in.clear();
            in.seekg(static_cast<std::streamoff>(want.offset));
            in.read(reinterpret_cast<char*>(buffer.data()), want.length);
            const auto got = static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0));
            ++reads;
            furthest = std::max<std::uint64_t>(furthest, want.offset + got);
            reader.supply(std::span(buffer).first(got));
        }
        const PhotoReading& reading = reader.reading();
        std::printf("%s\t%llu\t%llu\t%llu\t%llu\t%s\n", argv[i], static_cast<unsigned long long>(size),
                    static_cast<unsigned long long>(reads), static_cast<unsigned long long>(reader.bytesSupplied()),
                    static_cast<unsigned long long>(furthest),
                    reading.count ? std::to_string(*reading.count).c_str() : "none");
    }
    return status;
}
