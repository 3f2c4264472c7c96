// Build-time helper: turns a capture (one line of hex) into the raw bytes a fuzzer reads.
// hex2bin IN.hex OUT.bin

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: hex2bin IN.hex OUT.bin\n");
        return 2;
    }
    std::FILE* in = std::fopen(argv[1], "rb");
    if (!in) {
        std::perror(argv[1]);
        return 1;
    }
    std::FILE* out = std::fopen(argv[2], "wb");
    if (!out) {
        std::perror(argv[2]);
        std::fclose(in);
        return 1;
    }
    int high = -1;
    int status = 0;
    for (int c; (c = std::fgetc(in)) != EOF;) {
        int nibble;
        if (c >= '0' && c <= '9') nibble = c - '0';
        else if (c >= 'a' && c <= 'f') nibble = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') nibble = c - 'A' + 10;
        else if (c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
        else {
            std::fprintf(stderr, "%s: not a hex digit: 0x%02X\n", argv[1], c);
            status = 1;
            break;
        }
        if (high < 0) {
            high = nibble;
        } else {
            std::fputc(high << 4 | nibble, out);
            high = -1;
        }
    }
    if (status == 0 && high >= 0) {
        std::fprintf(stderr, "%s: odd number of hex digits\n", argv[1]);
        status = 1;
    }
    std::fclose(in);
    if (std::fclose(out) != 0) status = 1;
    if (status != 0) std::remove(argv[2]);
    return status;
}
