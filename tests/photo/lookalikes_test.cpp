// Numbers that look like a shutter count and are not: file and folder numbers, image and sequence
// numbers, shots since power-on, counts of frames in one picture. Each is placed where its camera
// writes it, in a file that holds no real count, and must never come out as one.

#include <gtest/gtest.h>

#include "photo/photo_reader.h"
#include "photo/photo_text.h"
#include "rule_fixtures.h"

using namespace fixture;

namespace {

constexpr auto LE = ByteOrder::Little;
constexpr auto BE = ByteOrder::Big;

// A note that is only a directory, after a header of its own (none, "Panasonic\0\0\0", ...).
auto noteWith(Bytes header, std::vector<Entry> entries, ByteOrder o, bool offsetsFromNote = false)
{
    return [=](std::uint32_t at) {
        const auto address = offsetsFromNote ? static_cast<std::uint32_t>(header.size()) : at + static_cast<std::uint32_t>(header.size());
        return cat(header, ifd(entries, address, o));
    };
}

Bytes nikonNote(std::vector<Entry> entries)
{
    return cat(cat(text("Nikon"), Bytes{2, 0x10, 0, 0}), cat(Bytes{'I', 'I', 42, 0, 8, 0, 0, 0}, ifd(entries, 8, LE)));
}

Bytes fujifilmNote(std::vector<Entry> entries)
{
    return cat(Bytes{'F', 'U', 'J', 'I', 'F', 'I', 'L', 'M', 12, 0, 0, 0}, ifd(entries, 12, LE));
}

Bytes fujifilmJpeg(Entry counter)
{
    return jpeg(tiff(LE, "FUJIFILM", "X-T3", [=](std::uint32_t) { return fujifilmNote({counter}); }));
}

Bytes sonyJpeg(std::string_view model, std::vector<Entry> entries, ByteOrder o = LE)
{
    return jpeg(tiff(o, "SONY", model, sonyNoteOf(std::move(entries), o)));
}

// A JPEG whose only metadata is an XMP packet (what Adobe Bridge leaves).
Bytes xmpOnlyJpeg(std::string_view packet)
{
    const Bytes payload = cat(text("http://ns.adobe.com/xap/1.0/"), text(packet, false));
    Bytes b = {0xFF, 0xD8, 0xFF, 0xE1};
    put16(b, static_cast<std::uint16_t>(2 + payload.size()), BE);
    return cat(cat(b, payload), Bytes{0xFF, 0xDA, 0x00, 0x02, 0x00, 0xFF, 0xD9});
}

struct Lookalike {
    const char* what;
    Bytes file;
    NoCount why;
};

std::vector<Lookalike> lookalikes()
{
    // Canon's CameraInfo with a number where other bodies keep theirs.
    Bytes canonInfo(0x1000, 0);
    const Bytes fileNumber = u32s({1000038}, LE);
    std::copy(fileNumber.begin(), fileNumber.end(), canonInfo.begin() + 0xD29);
    Bytes sonySettings(0x200, 0); // CameraSettings, big-endian words; ImageNumber is word 0x9B
    sonySettings[0x9B * 2] = 0x00;
    sonySettings[0x9B * 2 + 1] = 181;

    return {
        {"Exif ImageNumber (0x9211), maker note dropped",
         jpeg(tiff(LE, "NIKON CORPORATION", "NIKON D5000", [](std::uint32_t) { return Bytes{}; }, {longs(0x9211, {181}, LE)},
                   {}, false)),
         NoCount::MakerNoteMissing},
        {"Exif ImageNumber (0x9211) beside a note without 0x00A7",
         jpeg(tiff(LE, "NIKON CORPORATION", "NIKON D90", [](std::uint32_t) { return nikonNote({shorts(0x0001, {1}, LE)}); },
                   {longs(0x9211, {181}, LE)})),
         NoCount::NotRecorded},
        {"XMP aux:ImageNumber",
         xmpOnlyJpeg(R"(<x:xmpmeta xmlns:x="adobe:ns:meta/"><rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">)"
                     R"(<rdf:Description xmlns:aux="http://ns.adobe.com/exif/1.0/aux/" aux:ImageNumber="181"/>)"
                     R"(</rdf:RDF></x:xmpmeta>)"),
         NoCount::NoExif},
        {"Nikon FileInfo (0x00B8) directory and file number",
         jpeg(tiff(LE, "NIKON CORPORATION", "NIKON D90", [](std::uint32_t) {
             return nikonNote({undefined(0x00B8, cat(text("0100", false), u16s({0, 100, 38}, BE)))});
         })),
         NoCount::NotRecorded},
        {"Nikon ImageCount (0x00A5) and DeletedImageCount (0x00A6) without 0x00A7",
         jpeg(tiff(LE, "NIKON CORPORATION", "NIKON D2Hs",
                   [](std::uint32_t) { return nikonNote({longs(0x00A5, {2}, LE), longs(0x00A6, {0}, LE)}); })),
         NoCount::NotRecorded},
        {"Canon FileNumber (0x0008)",
         jpeg(tiff(LE, "Canon", "Canon EOS 5D Mark III", noteWith({}, {longs(0x0008, {1000038}, LE)}, LE))),
         NoCount::NotRecorded},
        {"Canon EOS 30D CameraInfo number (the file number)",
         jpeg(tiff(LE, "Canon", "Canon EOS 30D", noteWith({}, {undefined(0x000D, canonInfo), longs(0x0008, {1000038}, LE)}, LE))),
         NoCount::NotRecorded},
        {"Canon CRW FileNumber", cat(Bytes{'I', 'I', 26, 0, 0, 0}, cat(text("HEAPCCDR", false), u32s({1000038}, LE))),
         NoCount::NotPhoto},
        {"Sony ImageNumber in CameraSettings (0x0114)", sonyJpeg("DSLR-A700", {undefined(0x0114, sonySettings)}),
         NoCount::NotRecorded},
        {"Sony ImageNumber in CameraSettings (0x0114) of a body whose count is in 0x0020",
         sonyJpeg("DSLR-A850", {undefined(0x0114, sonySettings)}), NoCount::NotUsable},
        {"Sony MoreInfo ImageCount (0x011B) with no shutter count",
         sonyJpeg("SLT-A55V", {undefined(0x0020, sonyMoreInfoWith({{0x011B, 7001}, {0x0125, 0}}))}), NoCount::NotUsable},
        {"Sony MoreInfo 0x011B and 0x0125 on a body that counts at 0x014A",
         sonyJpeg("DSLR-A550", {undefined(0x0020, sonyMoreInfoWith({{0x011B, 7001}, {0x0125, 7010}, {0x014A, 0}}))}),
         NoCount::NotUsable},
        {"Sony MoreInfo 0x0401 ShotNumberSincePowerUp (0x044E) without 0x0201",
         sonyJpeg("SLT-A55V", {undefined(0x0020, sonyMoreInfo({{0x0001, Bytes(0x100, 0x22)},
                                                               {0x0401, withCounters(Bytes(0x460, 0), {{0x044E, 12}})}}))}),
         NoCount::Damaged},
        {"Sony 0x9400 ShotNumberSincePowerUp at 0x0A, where 9050d counts",
         sonyJpeg("ILCE-7CM2", {undefined(0x9400, sony9050({{0x0A, 12}}))}), NoCount::NotUsable},
        {"Sony 0x9400 ShotNumberSincePowerUp at 0x1A", sonyJpeg("ILCE-6000", {undefined(0x9400, sony9050({{0x1A, 12}}))}),
         NoCount::NotUsable},
        {"Fujifilm ExposureCount (0x1032)", fujifilmJpeg(shorts(0x1032, {3}, LE)), NoCount::NotRecorded},
        {"Fujifilm SequenceNumber (0x1101)", fujifilmJpeg(shorts(0x1101, {5}, LE)), NoCount::NotRecorded},
        {"Fujifilm PixelShiftShots (0x1105)", fujifilmJpeg(shorts(0x1105, {16}, LE)), NoCount::NotRecorded},
        {"Fujifilm CompositeImageCount1 (0x1151)", fujifilmJpeg(shorts(0x1151, {9}, LE)), NoCount::NotRecorded},
        {"Fujifilm CompositeImageCount2 (0x1152)", fujifilmJpeg(shorts(0x1152, {9}, LE)), NoCount::NotRecorded},
        {"Fujifilm RawImageNumber (0x2001)", fujifilmJpeg(longs(0x2001, {2}, LE)), NoCount::NotRecorded},
        {"Panasonic SequenceNumber (0x002B)",
         jpeg(tiff(LE, "Panasonic", "DC-G9", noteWith(cat(text("Panasonic"), Bytes{0, 0}), {longs(0x002B, {4}, LE)}, LE))),
         NoCount::NotRecorded},
        {"Leica M8 ImageIDNumber (0x0340)",
         jpeg(tiff(LE, "Leica Camera AG", "M8 Digital Camera", noteWith({}, {longs(0x0340, {2876}, LE)}, LE))),
         NoCount::NotRecorded},
        {"Olympus SpecialMode (0x0200) sequence number",
         jpeg(tiff(LE, "OLYMPUS IMAGING CORP.", "E-M10",
                   noteWith(Bytes{'O', 'L', 'Y', 'M', 'P', 'U', 'S', 0, 'I', 'I', 3, 0}, {longs(0x0200, {0, 27, 0}, LE)}, LE,
                            true))),
         NoCount::NotRecorded},
    };
}

} // namespace

TEST(Lookalikes, NeverReportedAsACount)
{
    for (const auto& l : lookalikes()) {
        SCOPED_TRACE(l.what);
        const PhotoReading r = readPhoto(l.file);
        EXPECT_FALSE(r.count.has_value()) << *r.count << " from " << r.source;
        EXPECT_TRUE(r.source.empty());
        EXPECT_EQ(r.message, noCountText(l.why));
    }
}
