// Writes the photo files built for the reader's rules (tests/photo/rule_fixtures.h) into a folder,
// as seeds of fuzz_photo_reader: the paths no real sample shows (Sony's tag 0x0020, the 0x9050
// layouts by model, a flash shot, Canon CameraInfo, a re-developed Fujifilm file) start covered.

#include <cstdio>
#include <fstream>

#include "rule_fixtures.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    for (const auto& f : fixture::ruleFiles()) {
        std::ofstream out(std::string(argv[1]) + "/" + f.name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(f.bytes.data()), static_cast<std::streamsize>(f.bytes.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s in %s\n", f.name.c_str(), argv[1]);
            return 1;
        }
    }
    return 0;
}
