// Sony, body by body: the 2009-2011 bodies' tag 0x0020 in its two layouts, the 0x9050 layouts
// by exact model name, the bodies refused, and ShutterCount2 left alone on a flash shot. Each
// note is built from the published layout (no sample of these bodies is here).

#include <gtest/gtest.h>

#include <variant>

#include "photo/photo_reader.h"
#include "photo/photo_text.h"
#include "answer.h"
#include "rule_fixtures.h"

using namespace fixture;

namespace {

constexpr auto LE = ByteOrder::Little;
constexpr auto BE = ByteOrder::Big;

// A Sony file whose note holds `entries`: a JPEG with the "SONY DSC" header or an ARW without.
PhotoReading readSony(std::string_view model, std::vector<Entry> entries, ByteOrder o = LE, bool arw = false,
                      std::vector<Entry> exif = {})
{
    const Bytes file = tiff(o, "SONY", model, sonyNoteOf(std::move(entries), o, !arw), std::move(exif));
    return readPhoto(arw ? file : jpeg(file));
}

// Sets the int16u at `at` of a block (little-endian, as 0x0020 is).
Bytes patch16(Bytes b, std::size_t at, std::uint16_t v)
{
    b.at(at) = std::uint8_t(v);
    b.at(at + 1) = std::uint8_t(v >> 8);
    return b;
}

} // namespace

TEST(SonyTag0020, FocusInfoBodiesByModelAndLength)
{
    struct Case {
        const char* model;
        Bytes block;
        Answer answer;
    } cases[] = {
        {"DSLR-A230", sonyFocusInfo(1001), 1001u},
        {"DSLR-A290", sonyFocusInfo(1002), 1002u},
        {"DSLR-A330", sonyFocusInfo(78), 78u},
        {"DSLR-A380", sonyFocusInfo(1004), 1004u},
        {"DSLR-A390", sonyFocusInfo(1005), 1005u},
        {"DSLR-A850", sonyFocusInfo(1006, 19148), 1006u},
        {"DSLR-A900", sonyFocusInfo(1007, 19148), 1007u},
        // Only the low 24 bits count.
        {"DSLR-A330", sonyFocusInfo(0xAB00004E), 78u},
        // Each body writes one length: the other is not the block its row describes.
        {"DSLR-A330", sonyFocusInfo(78, 19148), NoCount::NotUsable},
        {"DSLR-A900", sonyFocusInfo(1007, 19154), NoCount::NotUsable},
        {"DSLR-A330", sonyFocusInfo(78, 19155), NoCount::NotUsable},
        {"DSLR-A330", sonyFocusInfo(78, 20480), NoCount::NotUsable},
        {"DSLR-A330", sonyFocusInfo(0), NoCount::NotUsable},
        // The same block, with something else at 0x0846.
        {"DSLR-A200", sonyFocusInfo(78), NoCount::NotRecorded},
        {"DSLR-A300", sonyFocusInfo(78), NoCount::NotRecorded},
        {"DSLR-A350", sonyFocusInfo(78), NoCount::NotRecorded},
        {"DSLR-A700", sonyFocusInfo(78, 19148), NoCount::NotRecorded},
        // A name one character off is another camera, or none.
        {"DSLR-A33", sonyFocusInfo(78), NoCount::UnknownModel},
        {"DSLR-A3300", sonyFocusInfo(78), NoCount::UnknownModel},
        {"DSLR-A331", sonyFocusInfo(78), NoCount::UnknownModel},
        {"dslr-a330", sonyFocusInfo(78), NoCount::UnknownModel},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.model) + ", " + std::to_string(c.block.size()) + " bytes");
        // In an ARW and in a big-endian JPEG alike: the block is little-endian whatever the file.
        expectAnswer(readSony(c.model, {undefined(0x0020, c.block)}, LE, true), c.answer);
        expectAnswer(readSony(c.model, {undefined(0x0020, c.block)}, BE), c.answer);
    }
}

TEST(SonyTag0020, FocusInfoCountSaysWhereItCameFrom)
{
    const auto r = readSony("DSLR-A330", {undefined(0x0020, sonyFocusInfo(78))}, LE, true);
    ASSERT_TRUE(r.count) << r.message;
    EXPECT_EQ(r.kind, CountKind::AllReleases);
    EXPECT_EQ(r.source, "Sony maker note 0x0020 at offset 0x846");
    EXPECT_EQ(photoCountLine(r), "78 shutter actuations (SONY DSLR-A330)");
}

TEST(SonyTag0020, MoreInfoBodiesReadSubBlock0201)
{
    // 0x011B and 0x0125 hold other numbers on the A450/A500/A550, whose count is at 0x014A; on the
    // rest 0x0125 is the shutter count and 0x011B an image count.
    const Bytes block = sonyMoreInfoWith({{0x011B, 7001}, {0x0125, 7010}, {0x014A, 6021}});
    struct Case {
        const char* model;
        Answer answer;
    } cases[] = {
        {"DSLR-A450", 6021u}, {"DSLR-A500", 6021u}, {"DSLR-A550", 6021u}, {"DSLR-A560", 7010u},
        {"DSLR-A580", 7010u}, {"SLT-A33", 7010u},   {"SLT-A35", 7010u},   {"SLT-A55", 7010u},
        {"SLT-A55V", 7010u},  {"NEX-3", 7010u},     {"NEX-5", 7010u},     {"NEX-C3", 7010u},
        {"NEX-VG10E", 7010u},
        {"NEX-5C", NoCount::UnknownModel}, // named in notes, never seen as a model string
        {"SLT-A55VX", NoCount::UnknownModel},
        {"NEX-", NoCount::UnknownModel},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        expectAnswer(readSony(c.model, {undefined(0x0020, block)}, LE, true), c.answer);
        expectAnswer(readSony(c.model, {undefined(0x0020, block)}, BE), c.answer);
    }
    const auto r = readSony("SLT-A55V", {undefined(0x0020, block)});
    EXPECT_EQ(r.source, "Sony maker note 0x0020, block 0x0201 at offset 0x125");
}

TEST(SonyTag0020, MoreInfoIndexIsCheckedBeforeUse)
{
    const Bytes good = sonyMoreInfoWith({{0x0125, 7010}, {0x014A, 6021}});
    // The index: entry count at 0, data length at 2, then (id, start) pairs from 4; 0x0201 is the
    // second entry, so its id is at 8 and its start at 10.
    const std::uint16_t start0201 = 4 + 4 * 3 + 0x100;
    struct Case {
        const char* what;
        Bytes block;
        Answer answer;
    } cases[] = {
        {"as written", good, 7010u},
        {"20478 bytes", Bytes(good.begin(), good.end() - 2), NoCount::NotUsable},
        {"a FocusInfo length", sonyFocusInfo(7010), NoCount::NotUsable},
        {"51 entries", patch16(good, 0, 51), NoCount::Damaged},
        {"no entries", patch16(good, 0, 0), NoCount::Damaged},
        {"0x0201 starts past the data", patch16(good, 10, 0x5000), NoCount::Damaged},
        {"0x0201 starts past the block", patch16(good, 10, 0xFFF0), NoCount::Damaged},
        {"0x0201 starts in the index", patch16(good, 10, 6), NoCount::Damaged},
        {"data length cuts 0x0201 short", patch16(good, 2, start0201 + 0x100), NoCount::Damaged},
        {"no 0x0201 entry", patch16(good, 8, 0x0202), NoCount::Damaged},
        {"0x0201 twice", patch16(good, 4, 0x0201), NoCount::Damaged},
        // The next sub-block starts early: 0x0201 is too short to hold 0x0125.
        {"0x0201 too short", patch16(good, 14, start0201 + 0x100), NoCount::Damaged},
        {"count 0", sonyMoreInfoWith({{0x011B, 7001}, {0x0125, 0}}), NoCount::NotUsable},
        {"count in the millions", sonyMoreInfoWith({{0x0125, 0x00FFFFFF}}), NoCount::NotUsable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        expectAnswer(readSony("SLT-A55V", {undefined(0x0020, c.block)}), c.answer);
    }
    // An index entry past the data is passed over, as long as 0x0201 itself is there.
    EXPECT_EQ(readSony("SLT-A55V", {undefined(0x0020, patch16(good, 14, 0x6000))}).count, 7010u);
}

TEST(SonyTag0020, TheseBodiesIgnoreA9050Block)
{
    // Whatever an SLT-A55V's 0x9050 holds, its count is in 0x0020; without 0x0020 there is none.
    const Entry block9050 = undefined(0x9050, sony9050({{0x32, 555}, {0x3A, 555}}));
    const Bytes moreInfo = sonyMoreInfoWith({{0x0125, 7010}});
    expectAnswer(readSony("SLT-A55V", {undefined(0x0020, moreInfo), block9050}), 7010u);
    expectAnswer(readSony("SLT-A55V", {block9050}), NoCount::NotUsable);
    // A 0x0020 entry of another type is not the block.
    expectAnswer(readSony("DSLR-A330", {{0x0020, 1, sonyFocusInfo(78), {}, 0}}), NoCount::NotUsable);
}

TEST(Sony9050, LayoutByExactModelName)
{
    // A count at each layout's place, different at each, so the number tells which was read; the
    // neighbouring counters (ShutterCount2 at 0x4C/0x50, ShutterCount3 at 0x19F) absent.
    Bytes plain = withCounters(Bytes(944, 0x11), {{0x0A, 1010}, {0x32, 3232}, {0x3A, 5858}, {0x4C, 0}, {0x50, 0}, {0x19F, 0}});
    const Bytes block = sonyEncipher(plain);
    std::fill(plain.begin(), plain.begin() + 5, 0);
    const Bytes zeroed = sonyEncipher(plain);
    struct Case {
        const char* model;
        Answer answer;
        bool zeroedStart = false;
    } cases[] = {
        {"NEX-VG20E", 3232u}, {"NEX-VG30E", 3232u}, {"NEX-VG900", 3232u}, {"ILCE-3500", 3232u}, {"ILCE-6000", 3232u},
        {"ILCE-6100A", 5858u}, {"ILCE-6400A", 5858u}, {"ILCE-7RM3A", 5858u}, {"ILCE-7RM4A", 5858u},
        {"ILCE-7C", 5858u}, {"ILCE-9", 5858u}, {"ZV-E10", 5858u}, {"ILCE-1", 5858u}, {"ILME-FX3", 5858u},
        {"ILCE-7CM2", 1010u}, {"ILCE-7CR", 1010u}, {"ILCE-6700", 1010u}, {"ILME-FX2", 1010u},
        // Mechanical frames only: the block starts with five zero bytes.
        {"ILCE-1M2", 1010u, true}, {"ILCE-7M5", 1010u, true},
        {"ILCE-1M2", NoCount::UnknownModel}, {"ILCE-7M5", NoCount::UnknownModel},
        // Names that extend a listed one are other bodies.
        {"ILCE-9M3", NoCount::UnknownModel}, {"ZV-E10M2", NoCount::NotRecorded}, {"ZV-E1", NoCount::NotRecorded},
        {"ILME-FX30", NoCount::UnknownModel}, {"ILME-FX3A", NoCount::UnknownModel}, {"ILX-LR1", NoCount::UnknownModel},
        {"ILCE-7M6", NoCount::UnknownModel}, {"ILCE-60000", NoCount::UnknownModel}, {"ilce-6000", NoCount::UnknownModel},
        // Compacts carry the block with no count in it.
        {"ZV-1", NoCount::NotRecorded}, {"ZV-1A", NoCount::NotRecorded}, {"ZV-1F", NoCount::NotRecorded},
        {"ZV-1M2", NoCount::NotRecorded}, {"DSC-RX1RM3", NoCount::NotRecorded}, {"DSC-RX100M7", NoCount::NotRecorded},
        {"DSLR-A100", NoCount::NotRecorded},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        const auto r = readSony(c.model, {undefined(0x9050, c.zeroedStart ? zeroed : block)});
        expectAnswer(r, c.answer);
        if (r.count) EXPECT_EQ(r.kind, *r.count == 1010u ? CountKind::MechanicalReleases : CountKind::AllReleases);
    }
}

TEST(SonyFlash, ShutterCount2IsComparedOnlyWhenTheFlashDidNotFire)
{
    // An ILCE-6000 keeps ShutterCount2 (0x4C) only on shots without flash: after a flash shot it
    // holds an older number, and that must not make the count unusable.
    const Entry block = undefined(0x9050, sony9050({{0x32, 1867}, {0x4C, 1520}}));
    struct Case {
        std::optional<std::uint16_t> flash;
        ByteOrder order;
        Answer answer;
    } cases[] = {
        {0x19, LE, 1867u}, // fired, auto mode
        {0x01, BE, 1867u}, // fired
        {0x0F, LE, 1867u}, // fired, return light detected
        {std::nullopt, LE, NoCount::NotUsable},
        {0x10, LE, NoCount::NotUsable}, // off
        {0x18, BE, NoCount::NotUsable}, // auto, did not fire
        {0x00, LE, NoCount::NotUsable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flash ? std::to_string(*c.flash) : "no Flash tag");
        std::vector<Entry> exif;
        if (c.flash) exif.push_back(flash(*c.flash, c.order));
        expectAnswer(readSony("ILCE-6000", {block}, c.order, false, exif), c.answer);
    }
    // With the flash fired, a count that agrees is of course still given.
    expectAnswer(readSony("ILCE-6000", {undefined(0x9050, sony9050({{0x32, 1867}, {0x4C, 1867}}))}, LE, false,
                          {flash(0x19, LE)}),
                 1867u);
}
