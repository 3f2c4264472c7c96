// Draws Tallybrook's icon, an odometer of three counter drums each showing 0, and writes it
// as an .ico whose seven images (16 to 256 px) are all PNG, as the Windows shell wants them.
// Self-contained on purpose: the artwork is geometry, rasterised here with 8 x 8 samples per
// pixel, and the PNG encoder (filter Sub, deflate with fixed codes, CRC-32, Adler-32) is ours.
//
//   make_icon OUT.ico [PNG_DIR]   PNG_DIR also receives icon-16.png ... icon-256.png

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Rgb {
    double r, g, b;
};

constexpr Rgb kBackground{0x1B, 0x21, 0x1E};
constexpr Rgb kDrum{0x25, 0x2D, 0x29};
constexpr Rgb kDigit{0xF2, 0xB3, 0x3D};
constexpr int kSizes[] = {16, 24, 32, 48, 64, 128, 256};

// --- artwork, in units of the icon's side (0..1) ---------------------------------------

bool insideRoundedRect(double x, double y, double left, double top, double right, double bottom, double radius)
{
    if (x < left || x > right || y < top || y > bottom) return false;
    const double cx = std::clamp(x, left + radius, right - radius);
    const double cy = std::clamp(y, top + radius, bottom - radius);
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
}

// A zero as a ring between two ellipses around (cx, cy).
bool insideZero(double x, double y, double cx, double cy, double rx, double ry, double stroke)
{
    const auto inEllipse = [&](double ax, double ay) {
        if (ax <= 0 || ay <= 0) return false;
        const double dx = (x - cx) / ax, dy = (y - cy) / ay;
        return dx * dx + dy * dy <= 1.0;
    };
    return inEllipse(rx, ry) && !inEllipse(rx - stroke, ry - stroke);
}

// `size` in pixels: at the small sizes the digit's stroke keeps at least about a pixel.
Rgb colourAt(double x, double y, int size)
{
    constexpr double drumWidth = 0.26, gap = 0.05;
    constexpr double firstLeft = (1.0 - (3 * drumWidth + 2 * gap)) / 2;
    // Drum edges on whole pixels, so the three drums look alike at every size.
    const auto snap = [size](double v) { return std::round(v * size) / size; };
    const double top = snap(0.17), bottom = snap(0.83);
    for (int drum = 0; drum < 3; ++drum) {
        const double left = snap(firstLeft + drum * (drumWidth + gap));
        const double right = left + snap(drumWidth);
        if (!insideRoundedRect(x, y, left, top, right, bottom, 0.06)) continue;
        const double cx = (left + right) / 2;
        const double stroke = std::max(0.055, 1.2 / size);
        if (insideZero(x, y, cx, (top + bottom) / 2, (right - left) * 0.30, (bottom - top) * 0.30, stroke)) return kDigit;
        return kDrum;
    }
    return kBackground;
}

// RGBA rows, anti-aliased by averaging 8 x 8 samples per pixel.
Bytes render(int size)
{
    constexpr int samples = 8;
    Bytes pixels(static_cast<std::size_t>(size) * size * 4);
    for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
            Rgb sum{0, 0, 0};
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    const Rgb c = colourAt((px + (sx + 0.5) / samples) / size, (py + (sy + 0.5) / samples) / size, size);
                    sum.r += c.r, sum.g += c.g, sum.b += c.b;
                }
            }
            constexpr double n = samples * samples;
            std::uint8_t* out = &pixels[(static_cast<std::size_t>(py) * size + px) * 4];
            out[0] = static_cast<std::uint8_t>(std::lround(sum.r / n));
            out[1] = static_cast<std::uint8_t>(std::lround(sum.g / n));
            out[2] = static_cast<std::uint8_t>(std::lround(sum.b / n));
            out[3] = 255;
        }
    }
    return pixels;
}

// --- deflate with the fixed Huffman codes ------------------------------------------------

class BitWriter {
public:
    void bits(std::uint32_t value, int count)  // least significant bit first
    {
        for (int i = 0; i < count; ++i) put((value >> i) & 1u);
    }
    void code(std::uint32_t value, int count)  // Huffman codes go most significant bit first
    {
        for (int i = count - 1; i >= 0; --i) put((value >> i) & 1u);
    }
    Bytes finish()
    {
        if (used_) out_.push_back(current_);
        return std::move(out_);
    }

private:
    void put(std::uint32_t bit)
    {
        current_ |= static_cast<std::uint8_t>(bit << used_);
        if (++used_ == 8) out_.push_back(current_), current_ = 0, used_ = 0;
    }
    Bytes out_;
    std::uint8_t current_ = 0;
    int used_ = 0;
};

void literal(BitWriter& w, unsigned symbol)
{
    if (symbol < 144) w.code(0x30 + symbol, 8);
    else if (symbol < 256) w.code(0x190 + symbol - 144, 9);
    else if (symbol < 280) w.code(symbol - 256, 7);
    else w.code(0xC0 + symbol - 280, 8);
}

// A back-reference of `length` (3..258) at distance 1: repeats the previous byte.
void repeatPrevious(BitWriter& w, int length)
{
    static constexpr std::array<int, 29> base{3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27,
                                              31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static constexpr std::array<int, 29> extra{0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                               2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    int i = 28;
    while (base[i] > length) --i;
    literal(w, 257 + i);
    w.bits(length - base[i], extra[i]);
    w.code(0, 5);  // distance code 0: distance 1
}

// Runs of one byte become back-references, everything else a literal: flat artwork after
// the Sub filter is mostly runs of zeros, which is all this needs to be small.
Bytes zlibCompress(const Bytes& data)
{
    BitWriter w;
    w.bits(1, 1);  // final block
    w.bits(1, 2);  // fixed codes
    for (std::size_t i = 0; i < data.size();) {
        literal(w, data[i]);
        std::size_t run = 0;
        while (i + 1 + run < data.size() && data[i + 1 + run] == data[i] && run < 258) ++run;
        if (run >= 3) {
            repeatPrevious(w, static_cast<int>(run));
            i += 1 + run;
        } else {
            ++i;
        }
    }
    literal(w, 256);
    Bytes out{0x78, 0x01};
    const Bytes body = w.finish();
    out.insert(out.end(), body.begin(), body.end());
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : data) a = (a + byte) % 65521, b = (b + a) % 65521;
    const std::uint32_t adler = (b << 16) | a;
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(adler >> shift));
    return out;
}

// --- PNG and ICO ---------------------------------------------------------------------------

std::uint32_t crc32(const std::uint8_t* data, std::size_t size)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putBe32(Bytes& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void putLe16(Bytes& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v)), out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void putLe32(Bytes& out, std::uint32_t v)
{
    putLe16(out, v & 0xFFFF), putLe16(out, v >> 16);
}

void chunk(Bytes& png, const char* type, const Bytes& body)
{
    putBe32(png, static_cast<std::uint32_t>(body.size()));
    const std::size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), body.begin(), body.end());
    putBe32(png, crc32(&png[start], png.size() - start));
}

Bytes encodePng(int size, const Bytes& rgba)
{
    Bytes filtered;
    const std::size_t stride = static_cast<std::size_t>(size) * 4;
    for (int y = 0; y < size; ++y) {
        filtered.push_back(1);  // Sub: each byte minus the same channel of the pixel to its left
        const std::uint8_t* row = &rgba[y * stride];
        for (std::size_t i = 0; i < stride; ++i) filtered.push_back(static_cast<std::uint8_t>(row[i] - (i >= 4 ? row[i - 4] : 0)));
    }
    Bytes png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    putBe32(header, size), putBe32(header, size);
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no interlace
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", zlibCompress(filtered));
    chunk(png, "IEND", {});
    return png;
}

Bytes packIco(const std::vector<std::pair<int, Bytes>>& images)
{
    Bytes ico;
    putLe16(ico, 0), putLe16(ico, 1), putLe16(ico, static_cast<std::uint32_t>(images.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    for (const auto& [size, png] : images) {
        ico.push_back(static_cast<std::uint8_t>(size == 256 ? 0 : size));  // 0 stands for 256
        ico.push_back(static_cast<std::uint8_t>(size == 256 ? 0 : size));
        ico.push_back(0), ico.push_back(0);  // no palette
        putLe16(ico, 1), putLe16(ico, 32);   // planes, bits per pixel
        putLe32(ico, static_cast<std::uint32_t>(png.size()));
        putLe32(ico, offset);
        offset += static_cast<std::uint32_t>(png.size());
    }
    for (const auto& image : images) ico.insert(ico.end(), image.second.begin(), image.second.end());
    return ico;
}

bool writeFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: make_icon OUT.ico [PNG_DIR]\n");
        return 2;
    }
    std::vector<std::pair<int, Bytes>> images;
    for (int size : kSizes) {
        images.emplace_back(size, encodePng(size, render(size)));
        if (argc == 3 && !writeFile(std::string(argv[2]) + "/icon-" + std::to_string(size) + ".png", images.back().second)) {
            std::fprintf(stderr, "make_icon: cannot write into %s\n", argv[2]);
            return 1;
        }
    }
    if (!writeFile(argv[1], packIco(images))) {
        std::fprintf(stderr, "make_icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
