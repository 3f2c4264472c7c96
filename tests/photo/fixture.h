#pragma once
// Small photo files built in code, for the cases no real sample shows: TIFF directories in either
// byte order, maker notes placed where their offsets say, and the JPEG or TIFF around them.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "photo/byte_reader.h"

namespace fixture {

using Bytes = std::vector<std::uint8_t>;

inline void put16(Bytes& b, std::uint16_t v, ByteOrder o)
{
    if (o == ByteOrder::Little) b.insert(b.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
    else b.insert(b.end(), {std::uint8_t(v >> 8), std::uint8_t(v)});
}

inline void put32(Bytes& b, std::uint32_t v, ByteOrder o)
{
    for (int i = 0; i < 4; ++i) {
        const int shift = o == ByteOrder::Little ? 8 * i : 8 * (3 - i);
        b.push_back(std::uint8_t(v >> shift));
    }
}

inline Bytes text(std::string_view s, bool nul = true)
{
    Bytes b(s.begin(), s.end());
    if (nul) b.push_back(0);
    return b;
}

inline Bytes u16s(std::initializer_list<std::uint16_t> values, ByteOrder o)
{
    Bytes b;
    for (auto v : values) put16(b, v, o);
    return b;
}

inline Bytes u32s(std::initializer_list<std::uint32_t> values, ByteOrder o)
{
    Bytes b;
    for (auto v : values) put32(b, v, o);
    return b;
}

inline Bytes cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Entry {
    std::uint16_t tag = 0, type = 7;
    Bytes data;                      // the value, already in the directory's byte order
    std::optional<std::uint32_t> at; // instead of data: a value already placed at this offset
    std::uint32_t atCount = 0;       // its count
};

inline Entry ascii(std::uint16_t tag, std::string_view s) { return {tag, 2, text(s), {}, 0}; }
inline Entry undefined(std::uint16_t tag, Bytes b) { return {tag, 7, std::move(b), {}, 0}; }
inline Entry longs(std::uint16_t tag, std::initializer_list<std::uint32_t> v, ByteOrder o) { return {tag, 4, u32s(v, o), {}, 0}; }
inline Entry shorts(std::uint16_t tag, std::initializer_list<std::uint16_t> v, ByteOrder o) { return {tag, 3, u16s(v, o), {}, 0}; }
inline Entry placed(std::uint16_t tag, std::uint32_t offset, std::uint32_t count) { return {tag, 7, {}, offset, count}; }

inline std::uint32_t width(std::uint16_t type) { return type == 3 ? 2 : type == 4 ? 4 : 1; }

// A directory and, after it, the values that do not fit in their entries. `address` is where the
// directory will stand, counted the way its offsets count (from a TIFF header or a block's start).
inline Bytes ifd(const std::vector<Entry>& entries, std::uint32_t address, ByteOrder o, std::uint32_t next = 0)
{
    Bytes table, data;
    put16(table, static_cast<std::uint16_t>(entries.size()), o);
    const std::uint32_t dataAt = address + 2 + 12 * static_cast<std::uint32_t>(entries.size()) + 4;
    for (const auto& e : entries) {
        put16(table, e.tag, o);
        put16(table, e.type, o);
        if (e.at) {
            put32(table, e.atCount, o);
            put32(table, *e.at, o);
            continue;
        }
        put32(table, static_cast<std::uint32_t>(e.data.size() / width(e.type)), o);
        if (e.data.size() <= 4) {
            Bytes inl = e.data;
            inl.resize(4, 0);
            table.insert(table.end(), inl.begin(), inl.end());
        } else {
            put32(table, dataAt + static_cast<std::uint32_t>(data.size()), o);
            data.insert(data.end(), e.data.begin(), e.data.end());
            if (data.size() % 2) data.push_back(0);
        }
    }
    put32(table, next, o);
    return cat(table, data);
}

// A TIFF whose IFD0 holds make, model and an Exif IFD; the maker note is built by `note` for the
// TIFF offset it will stand at. `exifExtra` and `ifd0Extra` add entries.
template <class NoteFn>
Bytes tiff(ByteOrder o, std::string_view make, std::string_view model, NoteFn note, std::vector<Entry> exifExtra = {},
           std::vector<Entry> ifd0Extra = {}, bool withNote = true)
{
    Bytes b = o == ByteOrder::Little ? Bytes{'I', 'I', 42, 0} : Bytes{'M', 'M', 0, 42};
    put32(b, 0, o); // first IFD, patched below
    std::vector<Entry> exif = std::move(exifExtra);
    if (withNote) {
        const auto noteAt = static_cast<std::uint32_t>(b.size());
        const Bytes n = note(noteAt);
        b.insert(b.end(), n.begin(), n.end());
        if (b.size() % 2) b.push_back(0);
        exif.insert(exif.begin(), placed(0x927C, noteAt, static_cast<std::uint32_t>(n.size())));
    }
    const auto exifAt = static_cast<std::uint32_t>(b.size());
    b = cat(b, ifd(exif, exifAt, o));
    const auto ifd0At = static_cast<std::uint32_t>(b.size());
    std::vector<Entry> ifd0 = {ascii(0x010F, make), ascii(0x0110, model), longs(0x8769, {exifAt}, o)};
    ifd0.insert(ifd0.end(), ifd0Extra.begin(), ifd0Extra.end());
    b = cat(b, ifd(ifd0, ifd0At, o));
    Bytes first;
    put32(first, ifd0At, o);
    std::copy(first.begin(), first.end(), b.begin() + 4);
    return b;
}

// The TIFF as a JPEG's APP1 Exif segment, then a scan and the end.
inline Bytes jpeg(const Bytes& tiffBytes)
{
    Bytes b = {0xFF, 0xD8, 0xFF, 0xE1};
    put16(b, static_cast<std::uint16_t>(2 + 6 + tiffBytes.size()), ByteOrder::Big);
    b = cat(b, Bytes{'E', 'x', 'i', 'f', 0, 0});
    b = cat(b, tiffBytes);
    return cat(b, Bytes{0xFF, 0xDA, 0x00, 0x02, 0x00, 0xFF, 0xD9});
}

// The Sony cipher: a plain byte p below 249 is stored as p^3 mod 249.
inline Bytes sonyEncipher(Bytes plain)
{
    for (auto& b : plain)
        if (b < 249) b = static_cast<std::uint8_t>(unsigned(b) * b % 249 * b % 249);
    return plain;
}

// A Fujifilm note: "FUJIFILM", the offset of its little-endian IFD, and the IFD with the raw
// 0x1438 value (top bit a flag).
inline Bytes fujifilmNote(std::uint16_t raw)
{
    return cat(Bytes{'F', 'U', 'J', 'I', 'F', 'I', 'L', 'M', 12, 0, 0, 0},
               ifd({shorts(0x1438, {raw}, ByteOrder::Little)}, 12, ByteOrder::Little));
}

} // namespace fixture
