// One small file per pitfall of reading a count from a photo, built in code: each fails if the
// rule it stands for is taken out of the reader.

#include <gtest/gtest.h>

#include "fixture.h"
#include "photo/photo_reader.h"
#include "photo/photo_text.h"

using namespace fixture;

namespace {

constexpr auto LE = ByteOrder::Little;
constexpr auto BE = ByteOrder::Big;

PhotoReading readJpeg(const Bytes& tiffBytes) { return readPhoto(jpeg(tiffBytes)); }

void expectNoCount(const PhotoReading& r, NoCount why)
{
    EXPECT_FALSE(r.count.has_value()) << *r.count;
    EXPECT_EQ(r.message, noCountText(why));
    EXPECT_TRUE(r.source.empty());
}

// A Nikon type-3 note: "Nikon\0", version, then a TIFF of its own (here little-endian).
Bytes nikonNote(std::vector<Entry> entries)
{
    Bytes inner = {'I', 'I', 42, 0, 8, 0, 0, 0};
    return cat(cat(text("Nikon"), Bytes{2, 0x10, 0, 0}), cat(inner, ifd(entries, 8, LE)));
}

// A 0x9050 block holding little-endian counters at the given offsets.
Bytes sony9050(std::initializer_list<std::pair<std::size_t, std::uint32_t>> counters)
{
    Bytes plain(944, 0x11);
    for (auto [at, v] : counters)
        for (int i = 0; i < 4; ++i) plain[at + i] = std::uint8_t(v >> (8 * i));
    return sonyEncipher(plain);
}

// "SONY DSC \0\0\0" then an IFD in the file's order whose offsets count from the TIFF header.
auto sonyNote(Bytes block, ByteOrder o = LE)
{
    return [block, o](std::uint32_t at) {
        return cat(Bytes{'S', 'O', 'N', 'Y', ' ', 'D', 'S', 'C', ' ', 0, 0, 0}, ifd({undefined(0x9050, block)}, at + 12, o));
    };
}

} // namespace

TEST(NikonNote, CountAndMechanicalCountFromTheInnerTiff)
{
    const auto r = readJpeg(tiff(BE, "NIKON CORPORATION", "NIKON D850", [](std::uint32_t) {
        return nikonNote({longs(0x0037, {3487}, LE), longs(0x00A7, {8541}, LE)});
    }));
    ASSERT_TRUE(r.count);
    EXPECT_EQ(*r.count, 8541u);
    EXPECT_EQ(r.mechanical, 3487u);
    EXPECT_EQ(r.kind, CountKind::AllReleases);
    EXPECT_EQ(r.source, "Nikon maker note 0x00A7");
    EXPECT_EQ(photoCountLine(r), "8,541 shutter actuations (NIKON D850; 3,487 mechanical); Nikon rates it for 200,000, "
                                 "a test figure, not a limit; mechanical count 2% of it");
}

TEST(NikonNote, NotAvailableMarkerIsNoCount)
{
    const auto r = readJpeg(tiff(LE, "NIKON CORPORATION", "NIKON D7000", [](std::uint32_t) {
        return nikonNote({longs(0x00A7, {0xFFFFF7FF}, LE)});
    }));
    expectNoCount(r, NoCount::NotUsable);
}

TEST(MakerNote, DroppedBySoftwareSaysSo)
{
    const auto r = readJpeg(tiff(LE, "NIKON CORPORATION", "NIKON D5000", [](std::uint32_t) { return Bytes{}; },
                                 {longs(0x9211, {181}, LE)}, {}, false));
    expectNoCount(r, NoCount::MakerNoteMissing);
    EXPECT_EQ(r.model, "NIKON D5000");
}

// An Exif directory that is pointed to and cannot be read: its maker note was never dropped.
// Where the pointer leads past the file's end, the file was cut short.
TEST(MakerNote, UnreadableExifDirectoryIsDamageNotADroppedNote)
{
    const Bytes header = {'I', 'I', 42, 0, 8, 0, 0, 0};
    const struct {
        std::uint32_t exifOffset;
        NoCount why;
    } cases[] = {{8, NoCount::Damaged}, {0x00FFFFF0, NoCount::CutShort}}; // IFD0 again (a loop); past the end
    for (const auto& c : cases) {
        SCOPED_TRACE(c.exifOffset);
        const auto file = cat(header, ifd({ascii(0x010F, "NIKON CORPORATION"), ascii(0x0110, "NIKON D90"),
                                           longs(0x8769, {c.exifOffset}, LE)},
                                          8, LE));
        expectNoCount(readJpeg(file), c.why);
    }
}

TEST(PentaxNote, HeaderByteOrderIsNotTrusted)
{
    // "AOC\0MM" over a little-endian directory, as several real K10D and K-3 files have it.
    const std::uint32_t count = 1648;
    const std::uint32_t date = 0x07D70B14; // 2007-11-20, year big-endian
    const std::uint32_t time = 0x0A141E00; // 10:20:30
    const std::uint32_t stored = count ^ date ^ ~time;
    const auto r = readJpeg(tiff(BE, "PENTAX Corporation", "PENTAX K10D", [&](std::uint32_t at) {
        return cat(Bytes{'A', 'O', 'C', 0, 'M', 'M'},
                   ifd({undefined(0x0006, u32s({date}, BE)), undefined(0x0007, Bytes{0x0A, 0x14, 0x1E}),
                        undefined(0x005D, u32s({stored}, BE))},
                       at + 6, LE));
    }));
    ASSERT_TRUE(r.count) << r.message;
    EXPECT_EQ(*r.count, 1648u);
    EXPECT_EQ(r.source, "Pentax maker note 0x005D");
}

TEST(PentaxNote, TimeEditedAfterTheShotIsNoCount)
{
    // Software moved the note's time by an hour (a time zone put right) without enciphering the
    // count again: the key no longer fits and the value deciphers to over sixteen million. (A
    // shifted day or year moves it far less, and cannot be told from a real count.)
    const std::uint32_t stored = 1648 ^ 0x07D70B14 ^ ~0x0A141E00u; // enciphered at 10:20:30
    const auto r = readJpeg(tiff(LE, "PENTAX Corporation", "PENTAX K10D", [&](std::uint32_t at) {
        return cat(Bytes{'A', 'O', 'C', 0, 'I', 'I'},
                   ifd({undefined(0x0006, Bytes{0x07, 0xD7, 0x0B, 0x14}), undefined(0x0007, Bytes{0x0B, 0x14, 0x1E}),
                        undefined(0x005D, u32s({stored}, BE))},
                       at + 6, LE));
    }));
    expectNoCount(r, NoCount::NotUsable);
}

TEST(PentaxNote, ModelTableDecides)
{
    struct Case {
        const char* model;
        bool hasCount;
        NoCount why;
    } cases[] = {
        {"PENTAX K-70", true, {}},
        {"PENTAX Optio X90", true, NoCount::UnknownModel}, // a compact with the tag: no guess
        {"PENTAX *ist D", false, NoCount::NotRecorded},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        std::vector<Entry> entries = {undefined(0x0006, Bytes{0x07, 0xE0, 1, 2}), undefined(0x0007, Bytes{3, 4, 5})};
        if (c.hasCount) entries.push_back(undefined(0x005D, u32s({0x07E00102 ^ ~0x03040500u ^ 2828}, BE)));
        const auto r = readJpeg(tiff(LE, "RICOH IMAGING COMPANY, LTD.", c.model, [&](std::uint32_t at) {
            return cat(Bytes{'A', 'O', 'C', 0, 'I', 'I'}, ifd(entries, at + 6, LE));
        }));
        if (std::string(c.model) == "PENTAX K-70") {
            EXPECT_EQ(r.count, 2828u);
        } else {
            expectNoCount(r, c.why);
        }
    }
}

TEST(PentaxNote, HeaderDecidesWhoseNoteItIs)
{
    // Ricoh's GR III class uses Pentax's tags behind "RICOH\0II", but whether its 0x005D is a
    // count is not known; Ricoh's own older notes ("Ricoh\0") have no count tag at all.
    struct Case {
        Bytes header;
        std::int64_t base; // offsets from the note (Pentax/Ricoh) or from the TIFF header (AOC)
        std::optional<std::uint32_t> count;
        NoCount why;
    } cases[] = {
        {{'A', 'O', 'C', 0, 'I', 'I'}, -1, 2828, {}},
        {{'P', 'E', 'N', 'T', 'A', 'X', ' ', 0, 'I', 'I'}, 10, 2828, {}},
        {{'R', 'I', 'C', 'O', 'H', 0, 'I', 'I'}, 8, {}, NoCount::UnknownModel},
        {{'R', 'i', 'c', 'o', 'h', 0, 0, 0}, 8, {}, NoCount::NotRecorded},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.header.begin(), c.header.begin() + 5));
        const std::vector<Entry> entries = {undefined(0x0006, Bytes{0x07, 0xE0, 1, 2}), undefined(0x0007, Bytes{3, 4, 5}),
                                            undefined(0x005D, u32s({0x07E00102 ^ ~0x03040500u ^ 2828}, BE))};
        const auto r = readJpeg(tiff(LE, "RICOH IMAGING COMPANY, LTD.", "PENTAX K-70", [&](std::uint32_t at) {
            const auto address = c.base < 0 ? at + static_cast<std::uint32_t>(c.header.size()) : static_cast<std::uint32_t>(c.base);
            return cat(c.header, ifd(entries, address, LE));
        }));
        if (c.count) {
            EXPECT_EQ(r.count, c.count) << r.message;
        } else {
            expectNoCount(r, c.why);
        }
    }
}

TEST(CanonNote, BigEndianConsumerBodyGivesNoCount)
{
    // Software re-wrote a 450D JPEG big-endian: FileInfo now looks like the EOS-1D's, but only the
    // model can say whether those bytes are a count.
    struct Case {
        const char* model;
        ByteOrder order;
        std::optional<std::uint32_t> count;
        NoCount why;
    } cases[] = {
        {"Canon EOS 450D", BE, {}, NoCount::NotRecorded},
        {"Canon EOS-1D", BE, 949, {}},
        {"Canon EOS-1D", LE, {}, NoCount::NotUsable},
        {"Canon EOS-1D Mark II", LE, 949, {}}, // halves swapped
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        const auto o = c.order;
        const std::uint16_t hi = 0, lo = 949;
        // Entries 1 and 2 hold the high and the low half.
        const auto fileInfo = u16s({0x0010, hi, lo, 7, 100}, o);
        const auto r = readJpeg(tiff(o, "Canon", c.model, [&](std::uint32_t at) {
            return ifd({{0x0093, 3, fileInfo, {}, 0}}, at, o);
        }));
        if (c.count) {
            EXPECT_EQ(r.count, c.count) << r.message;
        } else {
            expectNoCount(r, c.why);
        }
    }
}

TEST(SonyNote, CompactsCarryTheBlockButNoCount)
{
    const auto r = readJpeg(tiff(LE, "SONY", "DSC-RX100M3", sonyNote(sony9050({{0x0A, 4321}, {0x32, 4321}, {0x3A, 4321}}))));
    expectNoCount(r, NoCount::NotRecorded);
}

TEST(SonyNote, UnknownBodyGetsNoGuess)
{
    const auto r = readJpeg(tiff(LE, "SONY", "ILCE-9M3", sonyNote(sony9050({{0x0A, 100}, {0x3A, 100}}))));
    expectNoCount(r, NoCount::UnknownModel);
}

TEST(SonyNote, ModelChoosesTheLayout)
{
    // An ILCE-7CM2 block decodes cleanly at both 0x3A and 0x0A; only 0x0A is its count, and it
    // counts mechanical releases.
    const auto r = readJpeg(tiff(LE, "SONY", "ILCE-7CM2", sonyNote(sony9050({{0x0A, 249044}, {0x3A, 131072}}))));
    ASSERT_TRUE(r.count) << r.message;
    EXPECT_EQ(*r.count, 249044u);
    EXPECT_EQ(r.kind, CountKind::MechanicalReleases);
    EXPECT_EQ(photoCountLine(r), "249,044 mechanical shutter actuations (SONY ILCE-7CM2)");
}

TEST(SonyNote, CountFailingItsCrossCheckIsNotUsable)
{
    // An ILCE-6000 JPEG from a RAW+JPEG pair: the block sits 48 bytes later, so 0x32 reads a
    // plausible 5813 while ShutterCount2 reads 4718336.
    struct Case {
        std::uint32_t count2;
        std::optional<std::uint32_t> expected;
    } cases[] = {{4718336, {}}, {5813, 5813}, {0, 5813}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count2);
        const auto r = readJpeg(tiff(BE, "SONY", "ILCE-6000", sonyNote(sony9050({{0x32, 5813}, {0x4C, c.count2}}), BE)));
        if (c.expected) {
            EXPECT_EQ(r.count, c.expected) << r.message;
        } else {
            expectNoCount(r, NoCount::NotUsable);
        }
    }
}

TEST(SonyNote, SixteenBitCounterCarriesItsCaveat)
{
    const auto r = readJpeg(tiff(LE, "SONY", "ILCE-7R", sonyNote(sony9050({{0x32, 4100}, {0x4C, 4100}}))));
    ASSERT_TRUE(r.count) << r.message;
    EXPECT_EQ(*r.count, 4100u);
    EXPECT_EQ(r.message, caveatText(Caveat::SonyWrapsAt65536));
}

TEST(FujifilmNote, TopBitIsAFlagAndZeroIsNoCount)
{
    struct Case {
        std::uint16_t raw;
        std::optional<std::uint32_t> count;
    } cases[] = {{0x8007, 7}, {0x8000, {}}, {0x0000, {}}, {18463, 18463}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.raw);
        const auto r = readJpeg(tiff(LE, "FUJIFILM", "X-T3", [&](std::uint32_t) { return fujifilmNote(c.raw); }));
        if (c.count) {
            EXPECT_EQ(r.count, c.count);
            EXPECT_EQ(r.kind, CountKind::Images);
            EXPECT_EQ(r.message, caveatText(Caveat::FujifilmFirmwareReset));
        } else {
            expectNoCount(r, NoCount::NotUsable);
        }
    }
}

TEST(DngPrivateData, ConverterMovedMakerNoteKeepsItsOriginalOffsets)
{
    // Adobe DNG Converter copies the maker note into a "MakN" record with the offset it had in the
    // original raw (700 here); the note's offsets still count from the original file.
    const std::uint32_t original = 700;
    Bytes cameraInfo(0x200, 0);
    const auto stored = u32s({4337}, BE);
    std::copy(stored.begin(), stored.end(), cameraInfo.begin() + 0x176);
    const Bytes note = ifd({undefined(0x000D, cameraInfo)}, original, BE);
    Bytes makn = cat(Bytes{'M', 'M'}, u32s({original}, BE));
    makn = cat(makn, note);
    Bytes record = cat(Bytes{'M', 'a', 'k', 'N'}, u32s({static_cast<std::uint32_t>(makn.size())}, BE));
    const Bytes privateData = cat(cat(text("Adobe"), record), makn);

    const auto file = tiff(LE, "Canon", "Canon EOS-1Ds Mark III", [](std::uint32_t) { return Bytes{}; }, {},
                           {undefined(0xC634, privateData)}, false);
    const auto r = readPhoto(file);
    ASSERT_TRUE(r.count) << r.message;
    EXPECT_EQ(*r.count, 4338u);
    EXPECT_EQ(r.source, "Canon maker note 0x000D at offset 0x176");
}

TEST(PhotoText, EveryReasonHasItsOwnWords)
{
    const NoCount all[] = {NoCount::NotPhoto, NoCount::CutShort, NoCount::Damaged, NoCount::NoExif,
                           NoCount::MakerNoteMissing, NoCount::NotRecorded, NoCount::NotUsable, NoCount::UnknownModel};
    for (auto a : all) {
        EXPECT_FALSE(noCountText(a).empty());
        for (auto b : all)
            if (a != b) EXPECT_NE(noCountText(a), noCountText(b));
    }
}

TEST(PhotoText, JsonAndLine)
{
    PhotoReading r;
    r.count = 18463;
    r.kind = CountKind::Images;
    r.make = "FUJIFILM";
    r.model = "X-S10 \"b\\\"";
    r.source = "Fujifilm maker note 0x1438";
    EXPECT_EQ(photoReadingJson(r, "a.jpg"),
              R"({"file":"a.jpg","ok":true,"count":18463,"mechanical":null,"kind":"images","make":"FUJIFILM",)"
              R"("model":"X-S10 \"b\\\"","source":"Fujifilm maker note 0x1438","message":null,"rated":null,)"
              R"("rated_by":null})");
    PhotoReading none;
    none.message = "why";
    EXPECT_EQ(photoReadingJson(none), R"({"ok":false,"count":null,"mechanical":null,"kind":null,"make":null,)"
                                      R"("model":null,"source":null,"message":"why","rated":null,"rated_by":null})");
    EXPECT_EQ(photoCountLine(none), "no count: why");
    EXPECT_EQ(photoReadingJson(none, "a\tb\n.jpg").rfind(R"({"file":"a\u0009b\u000a.jpg",)", 0), 0u);
    PhotoReading one;
    one.count = 1;
    one.make = "SONY";
    one.model = "ILCE-1";
    EXPECT_EQ(photoCountLine(one), "1 shutter actuation (SONY ILCE-1)");
    one.count = 1234567;
    one.make = "RICOH IMAGING COMPANY, LTD.";
    one.model = "PENTAX K-3";
    EXPECT_EQ(photoCountLine(one), "1,234,567 shutter actuations (PENTAX K-3)");
}
