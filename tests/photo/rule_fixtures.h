#pragma once
// Maker notes built from the published layouts, for the bodies no real sample here shows: Sony's
// tag 0x0020 in its two layouts, the 0x9050 block, a Canon CameraInfo. The files at the end are
// also the photo fuzzer's seeds for these paths (fuzz/photo_fixture_seeds.cpp writes them out).

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fixture.h"

namespace fixture {

// Little-endian int32u values written into `b` at the given offsets.
inline Bytes withCounters(Bytes b, std::initializer_list<std::pair<std::size_t, std::uint32_t>> counters)
{
    for (auto [at, v] : counters)
        for (int i = 0; i < 4; ++i) b.at(at + i) = std::uint8_t(v >> (8 * i));
    return b;
}

// Sony tag 0x0020, "FocusInfo" layout: 19154 bytes (A230 to A390) or 19148 (A850, A900), the
// count at 0x0846, always little-endian and not enciphered.
inline Bytes sonyFocusInfo(std::uint32_t count, std::size_t length = 19154)
{
    return withCounters(Bytes(length, 0x11), {{0x0846, count}});
}

struct SubBlock {
    std::uint16_t id = 0;
    Bytes data;
};

// Sony tag 0x0020, "MoreInfo" layout: the number of index entries and the data's length, an id
// and a start (from the block's first byte) per sub-block, the sub-blocks in turn, then zeros up
// to `length` bytes. All int16u, little-endian.
inline Bytes sonyMoreInfo(const std::vector<SubBlock>& blocks, std::size_t length = 20480)
{
    Bytes index, data;
    const std::size_t first = 4 + 4 * blocks.size();
    for (const auto& s : blocks) {
        put16(index, s.id, ByteOrder::Little);
        put16(index, static_cast<std::uint16_t>(first + data.size()), ByteOrder::Little);
        data = cat(data, s.data);
    }
    Bytes b;
    put16(b, static_cast<std::uint16_t>(blocks.size()), ByteOrder::Little);
    put16(b, static_cast<std::uint16_t>(first + data.size()), ByteOrder::Little);
    b = cat(cat(b, index), data);
    b.resize(length, 0);
    return b;
}

// The sub-blocks of an SLT-A55V-class MoreInfo block: 0x0201 (368 bytes, as Sony writes it)
// holding `counters`, between two others; 0x0401 holds ShotNumberSincePowerUp at 0x044E.
inline Bytes sonyMoreInfoWith(std::initializer_list<std::pair<std::size_t, std::uint32_t>> counters,
                              std::uint32_t sincePowerUp = 3)
{
    return sonyMoreInfo({{0x0001, Bytes(0x100, 0x22)},
                         {0x0201, withCounters(Bytes(368, 0x33), counters)},
                         {0x0401, withCounters(Bytes(0x460, 0x44), {{0x044E, sincePowerUp}})}});
}

// A 0x9050 block holding little-endian counters at the given offsets, enciphered.
inline Bytes sony9050(std::initializer_list<std::pair<std::size_t, std::uint32_t>> counters, std::uint8_t fill = 0x11)
{
    return sonyEncipher(withCounters(Bytes(944, fill), counters));
}

// A Sony maker note with these entries: "SONY DSC \0\0\0" and the IFD (JPEG), or the IFD alone
// (ARW); offsets count from the TIFF header either way.
inline auto sonyNoteOf(std::vector<Entry> entries, ByteOrder o, bool header = true)
{
    return [entries = std::move(entries), o, header](std::uint32_t at) {
        if (!header) return ifd(entries, at, o);
        return cat(Bytes{'S', 'O', 'N', 'Y', ' ', 'D', 'S', 'C', ' ', 0, 0, 0}, ifd(entries, at + 12, o));
    };
}

// A Canon maker note (a bare IFD) whose CameraInfo 0x000D holds `count` at `at`.
inline auto canonCameraInfo(std::size_t at, std::uint32_t count, ByteOrder o)
{
    return [=](std::uint32_t noteAt) {
        Bytes info(at + 0x100, 0);
        const Bytes v = u32s({count}, o);
        std::copy(v.begin(), v.end(), info.begin() + static_cast<std::ptrdiff_t>(at));
        return ifd({undefined(0x000D, info)}, noteAt, o);
    };
}

// The Exif Flash tag: bit 0 says whether the flash fired (0x19: fired, auto mode; 0x10: off).
inline Entry flash(std::uint16_t value, ByteOrder o) { return shorts(0x9209, {value}, o); }

struct NamedFile {
    std::string name;
    Bytes bytes;
    std::optional<std::uint32_t> count;
};

// One file per new path, each with the count the reader must give.
inline std::vector<NamedFile> ruleFiles()
{
    constexpr auto LE = ByteOrder::Little;
    constexpr auto BE = ByteOrder::Big;
    return {
        {"sony_dslr-a330_0020-focusinfo.arw",
         tiff(LE, "SONY", "DSLR-A330", sonyNoteOf({undefined(0x0020, sonyFocusInfo(78))}, LE, false)), 78},
        {"sony_dslr-a900_0020-focusinfo.jpg",
         jpeg(tiff(BE, "SONY", "DSLR-A900", sonyNoteOf({undefined(0x0020, sonyFocusInfo(41234, 19148))}, BE))), 41234},
        {"sony_dslr-a550_0020-moreinfo.jpg",
         jpeg(tiff(LE, "SONY", "DSLR-A550",
                   sonyNoteOf({undefined(0x0020, sonyMoreInfoWith({{0x011B, 9}, {0x0125, 9}, {0x014A, 6021}}))}, LE))),
         6021},
        {"sony_slt-a55v_0020-moreinfo.arw",
         tiff(LE, "SONY", "SLT-A55V",
              sonyNoteOf({undefined(0x0020, sonyMoreInfoWith({{0x011B, 7001}, {0x0125, 7010}}))}, LE, false)),
         7010},
        {"sony_ilce-1m2_9050d-mechanical.jpg",
         jpeg(tiff(LE, "SONY", "ILCE-1M2", sonyNoteOf({undefined(0x9050, sony9050({{0, 0}, {0x0A, 1203}}, 0))}, LE))),
         1203},
        {"sony_ilce-6000_flash-fired.jpg",
         jpeg(tiff(LE, "SONY", "ILCE-6000", sonyNoteOf({undefined(0x9050, sony9050({{0x32, 1867}, {0x4C, 1520}}))}, LE),
                   {flash(0x19, LE)})),
         1867},
        {"canon_eos-r6m2_camerainfo.jpg", jpeg(tiff(LE, "Canon", "Canon EOS R6m2", canonCameraInfo(0xD29, 30512, LE))),
         30512},
        {"fujifilm_x-s10_redeveloped.jpg",
         jpeg(tiff(LE, "FUJIFILM", "X-S10", [](std::uint32_t) {
             return cat(Bytes{'F', 'U', 'J', 'I', 'F', 'I', 'L', 'M', 12, 0, 0, 0},
                        ifd({shorts(0x1436, {1}, LE), shorts(0x1438, {18469}, LE)}, 12, LE));
         })),
         18469},
    };
}

} // namespace fixture
