// The containers around the Exif data, built in code where the samples do not show a case:
// HEIF whose Exif item has no "Exif\0\0" prefix, a Fujifilm raw with a count in its JPEG, and CR3
// with the maker note in its own box.

#include <gtest/gtest.h>

#include <algorithm>

#include "fixture.h"
#include "photo/photo_reader.h"
#include "photo/photo_text.h"

using namespace fixture;

namespace {

constexpr auto LE = ByteOrder::Little;
constexpr auto BE = ByteOrder::Big;

Bytes box(const char (&type)[5], const Bytes& payload)
{
    Bytes b = u32s({static_cast<std::uint32_t>(8 + payload.size())}, BE);
    b.insert(b.end(), type, type + 4);
    return cat(b, payload);
}

Bytes fullBox(const char (&type)[5], std::uint8_t version, const Bytes& payload)
{
    return box(type, cat(Bytes{version, 0, 0, 0}, payload));
}

// ftyp, meta (iinf with an hvc1 item and the Exif item 7, iloc with its one extent), then mdat
// holding the item: a big-endian count of bytes to skip, those bytes, the TIFF. The hvc1 item,
// listed first, is in `imageExtents` pieces.
Bytes heif(const Bytes& skip, const Bytes& tiffBytes, std::uint16_t imageExtents = 1)
{
    const Bytes ftyp = box("ftyp", cat(text("heix", false), cat(u32s({0}, BE), text("mif1heix", false))));
    const Bytes infe1 = fullBox("infe", 2, cat(u16s({1, 0}, BE), text("hvc1", false)));
    const Bytes infe7 = fullBox("infe", 2, cat(u16s({7, 0}, BE), text("Exif", false)));
    const Bytes iinf = fullBox("iinf", 0, cat(u16s({2}, BE), cat(infe1, infe7)));
    const Bytes item = cat(cat(u32s({static_cast<std::uint32_t>(skip.size())}, BE), skip), tiffBytes);
    // iloc version 1: offset, length and base offset 4 bytes each, no index.
    auto iloc = [&](std::uint32_t itemAt) {
        Bytes p = {0x44, 0x40};
        p = cat(p, u16s({2}, BE));
        Bytes pieces;
        for (unsigned e = 0; e < imageExtents; ++e) {
            const Bytes piece = u32s({0, 1}, BE);
            pieces.insert(pieces.end(), piece.begin(), piece.end());
        }
        p = cat(p, cat(u16s({1, 0, 0}, BE), cat(u32s({0}, BE), cat(u16s({imageExtents}, BE), pieces))));
        p = cat(p, cat(u16s({7, 0, 0}, BE), cat(u32s({0}, BE), cat(u16s({1}, BE),
                                                                    u32s({itemAt, static_cast<std::uint32_t>(item.size())}, BE)))));
        return fullBox("iloc", 1, p);
    };
    const Bytes hdlr = fullBox("hdlr", 0, cat(u32s({0}, BE), text("pict", false)));
    const std::size_t metaSize = 8 + 4 + hdlr.size() + iinf.size() + iloc(0).size();
    const auto itemAt = static_cast<std::uint32_t>(ftyp.size() + metaSize + 8);
    const Bytes meta = fullBox("meta", 0, cat(hdlr, cat(iinf, iloc(itemAt))));
    return cat(cat(ftyp, meta), box("mdat", item));
}

} // namespace

TEST(HeifContainer, ExifItemWithoutPrefix)
{
    // The ILCE-7CM2 writes its Exif item with a skip count of 0: the TIFF follows at once.
    Bytes plain(944, 0x11);
    for (int i = 0; i < 4; ++i) plain[0x0A + i] = std::uint8_t(249044u >> (8 * i));
    const Bytes block = sonyEncipher(plain);
    const auto tiffBytes = tiff(LE, "SONY", "ILCE-7CM2", [&](std::uint32_t at) {
        return cat(Bytes{'S', 'O', 'N', 'Y', ' ', 'D', 'S', 'C', ' ', 0, 0, 0}, ifd({undefined(0x9050, block)}, at + 12, LE));
    });
    struct Case {
        const char* what;
        Bytes skip;
    } cases[] = {{"no prefix", {}}, {"Exif prefix", {'E', 'x', 'i', 'f', 0, 0}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto r = readPhoto(heif(c.skip, tiffBytes));
        ASSERT_TRUE(r.count) << r.message;
        EXPECT_EQ(*r.count, 249044u);
        EXPECT_EQ(r.kind, CountKind::MechanicalReleases);
        EXPECT_EQ(r.model, "ILCE-7CM2");
    }
}

TEST(HeifContainer, ItemLocationsBeyondReasonAreDamage)
{
    const auto tiffBytes = tiff(LE, "SONY", "ILCE-1", [](std::uint32_t) { return Bytes{}; });
    // A real file lists its items in one or a few pieces each; 20,000 pieces are not walked.
    const std::string whole = readPhoto(heif({}, tiffBytes)).message;
    EXPECT_NE(whole, noCountText(NoCount::Damaged));
    EXPECT_EQ(readPhoto(heif({}, tiffBytes, 100)).message, whole);
    EXPECT_EQ(readPhoto(heif({}, tiffBytes, 20000)).message, noCountText(NoCount::Damaged));

    // Field sizes of 0 make every piece take no bytes: 65,535 items of 65,535 pieces each in
    // half a megabyte, which walked in full costs billions of steps.
    const Bytes infe = fullBox("infe", 2, cat(u16s({1, 0}, BE), text("Exif", false)));
    const Bytes iinf = fullBox("iinf", 0, cat(u16s({1}, BE), infe));
    Bytes locations = cat(Bytes{0, 0}, u16s({65535}, BE));
    const Bytes item = u16s({2, 0, 0, 65535}, BE); // id 2, no method, no base, 65,535 pieces
    for (unsigned i = 0; i < 65535; ++i) locations.insert(locations.end(), item.begin(), item.end());
    const Bytes hdlr = fullBox("hdlr", 0, cat(u32s({0}, BE), text("pict", false)));
    const Bytes meta = fullBox("meta", 0, cat(hdlr, cat(iinf, fullBox("iloc", 1, locations))));
    const Bytes ftyp = box("ftyp", cat(text("heic", false), cat(u32s({0}, BE), text("mif1heic", false))));
    const auto r = readPhoto(cat(ftyp, meta));
    EXPECT_FALSE(r.count);
    EXPECT_EQ(r.message, noCountText(NoCount::Damaged));
}

TEST(HeifContainer, WithoutAnExifItem)
{
    Bytes file = heif({}, tiff(LE, "SONY", "ILCE-1", [](std::uint32_t) { return Bytes{}; }));
    const std::string exif = "Exif";
    const auto at = std::search(file.begin(), file.end(), exif.begin(), exif.end());
    ASSERT_NE(at, file.end());
    std::copy_n("mime", 4, at); // the item is now of another type
    const auto r = readPhoto(file);
    EXPECT_FALSE(r.count);
    EXPECT_EQ(r.message, noCountText(NoCount::NoExif));
}

TEST(RafContainer, CountFromTheEmbeddedJpeg)
{
    const Bytes jpegBytes = jpeg(tiff(LE, "FUJIFILM", "X-T3", [](std::uint32_t) { return fujifilmNote(0x8007); }));
    Bytes raf = text("FUJIFILMCCD-RAW 0201FF393101", false);
    raf.resize(84, 0);
    raf = cat(raf, u32s({200, static_cast<std::uint32_t>(jpegBytes.size())}, BE));
    raf.resize(200, 0);
    raf = cat(raf, jpegBytes);
    raf.resize(raf.size() + 5000, 0x55); // the raw data after it
    const auto r = readPhoto(raf);
    ASSERT_TRUE(r.count) << r.message;
    EXPECT_EQ(*r.count, 7u);
    EXPECT_EQ(r.kind, CountKind::Images);
}

TEST(Cr3Container, MakerNoteInItsOwnBox)
{
    // Canon's uuid box in moov holds IFD0 (CMT1), the Exif IFD (CMT2) and the maker note (CMT3),
    // each a TIFF of its own. The PowerShot G5 X Mark II keeps its count at another place in CR3.
    struct Case {
        const char* model;
        std::size_t at;
        std::optional<std::uint32_t> count;
    } cases[] = {
        {"Canon PowerShot G5 X Mark II", 0xA95, 5150},
        {"Canon PowerShot G5 X Mark II", 0x293, {}}, // the JPEG place is not the CR3 one
        {"Canon EOS R", 0xA95, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        const Bytes header = {'I', 'I', 42, 0, 8, 0, 0, 0};
        const Bytes cmt1 = cat(header, ifd({ascii(0x010F, "Canon"), ascii(0x0110, c.model)}, 8, LE));
        const Bytes cmt2 = cat(header, ifd({longs(0x9209, {16}, LE)}, 8, LE));
        Bytes cameraInfo(0x1000, 0);
        const auto stored = u32s({5150}, LE);
        std::copy(stored.begin(), stored.end(), cameraInfo.begin() + static_cast<std::ptrdiff_t>(c.at));
        const Bytes cmt3 = cat(header, ifd({undefined(0x000D, cameraInfo)}, 8, LE));
        const Bytes uuid = box("uuid", cat(Bytes{0x85, 0xc0, 0xb6, 0x87, 0x82, 0x0f, 0x11, 0xe0, 0x81, 0x11, 0xf4, 0xce,
                                                 0x46, 0x2b, 0x6a, 0x48},
                                           cat(box("CMT1", cmt1), cat(box("CMT2", cmt2), box("CMT3", cmt3)))));
        const Bytes ftyp = box("ftyp", cat(text("crx ", false), cat(u32s({1}, BE), text("crx isom", false))));
        const auto r = readPhoto(cat(ftyp, box("moov", uuid)));
        EXPECT_EQ(r.make, "Canon");
        EXPECT_EQ(r.count, c.count) << r.message;
        if (c.count) EXPECT_EQ(r.source, "Canon maker note 0x000D at offset 0xA95");
    }
}
