// Canon by exact model name, Fujifilm's re-developed files, and every file built for a new path
// read whole and cut short after every byte.

#include <gtest/gtest.h>

#include <variant>

#include "photo/photo_reader.h"
#include "photo/photo_text.h"
#include "answer.h"
#include "rule_fixtures.h"

using namespace fixture;

namespace {

constexpr auto LE = ByteOrder::Little;

Bytes fujifilmNoteWith(std::vector<Entry> entries)
{
    return cat(Bytes{'F', 'U', 'J', 'I', 'F', 'I', 'L', 'M', 12, 0, 0, 0}, ifd(entries, 12, LE));
}

} // namespace

TEST(CanonNote, ExactModelStringsOnly)
{
    // One CameraInfo with a different number at each place a table names, so the number tells
    // which place was read: 0xAF1 (R5, R6), 0xD29 (R6m2, R8, R50), 0x86D (the R6 Mark III's image
    // count since the card was formatted, an int16u).
    Bytes info(0x1000, 0);
    const auto put = [&](std::size_t at, Bytes v) { std::copy(v.begin(), v.end(), info.begin() + static_cast<std::ptrdiff_t>(at)); };
    put(0xAF1, u32s({12260}, LE));
    put(0xD29, u32s({30512}, LE));
    put(0x86D, u16s({412}, LE));
    struct Case {
        const char* model;
        Answer answer;
    } cases[] = {
        {"Canon EOS R5", 12260u},
        {"Canon EOS R6", 12260u},
        {"Canon EOS R6m2", 30512u},
        {"Canon EOS R8", 30512u},
        {"Canon EOS R50", 30512u},
        // Suffixed and near names are other cameras.
        {"Canon EOS R5 C", NoCount::NotRecorded},
        {"Canon EOS R50 V", NoCount::NotRecorded},
        {"Canon EOS R6 Mark II", NoCount::NotRecorded}, // what the body is called, not what it writes
        {"Canon EOS R6m2x", NoCount::NotRecorded},
        {"canon eos r6m2", NoCount::NotRecorded},
        {"Canon EOS R6 Mark III", NoCount::NotRecorded},
        // Bodies that may store a count where no one has published it.
        {"Canon EOS R1", NoCount::UnknownModel},
        {"Canon EOS R3", NoCount::UnknownModel},
        {"Canon EOS R7", NoCount::UnknownModel},
        {"Canon EOS R10", NoCount::UnknownModel},
        {"Canon EOS R100", NoCount::UnknownModel},
        // Its CameraInfo number once called a shutter count was the file number.
        {"Canon EOS 30D", NoCount::NotRecorded},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        const auto r = readPhoto(jpeg(tiff(LE, "Canon", c.model, [&](std::uint32_t at) {
            return ifd({undefined(0x000D, info)}, at, LE);
        })));
        expectAnswer(r, c.answer);
    }
}

TEST(FujifilmNote, ReDevelopedFileSaysItsCountIsTheOriginalShots)
{
    // ImageGeneration 1: developed again in the camera from a raw, carrying the count the camera
    // had at the original shot.
    struct Case {
        std::optional<std::uint16_t> generation;
        bool redeveloped;
    } cases[] = {{std::nullopt, false}, {0, false}, {1, true}, {2, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.generation ? std::to_string(*c.generation) : "no ImageGeneration");
        std::vector<Entry> entries;
        if (c.generation) entries.push_back(shorts(0x1436, {*c.generation}, LE));
        entries.push_back(shorts(0x1438, {18469}, LE));
        const auto r = readPhoto(jpeg(tiff(LE, "FUJIFILM", "X-S10", [&](std::uint32_t) { return fujifilmNoteWith(entries); })));
        ASSERT_EQ(r.count, 18469u) << r.message;
        const std::string firmware = caveatText(Caveat::FujifilmFirmwareReset);
        EXPECT_EQ(r.message, c.redeveloped ? caveatText(Caveat::FujifilmRedeveloped) + " " + firmware : firmware);
    }
    const auto line = photoCountLine(readPhoto(jpeg(tiff(LE, "FUJIFILM", "X-S10", [](std::uint32_t) {
        return fujifilmNoteWith({shorts(0x1436, {1}, LE), shorts(0x1438, {18469}, LE)});
    }))));
    EXPECT_NE(line.find("not its count today"), std::string::npos) << line;
}

// Each file built for a new path gives its count whole, and cut after any byte either the same
// count or a reason: never another number. (The files are small enough to try every length.)
TEST(RuleFiles, WholeGivesItsCountAndEveryPrefixTheSameOrAReason)
{
    for (const auto& f : ruleFiles()) {
        SCOPED_TRACE(f.name);
        const PhotoReading whole = readPhoto(f.bytes);
        ASSERT_EQ(whole.count, f.count) << whole.message;
        for (std::size_t length = 0; length < f.bytes.size(); ++length) {
            const std::vector<std::uint8_t> cut(f.bytes.begin(), f.bytes.begin() + static_cast<std::ptrdiff_t>(length));
            const PhotoReading r = readPhoto(cut);
            if (r.count) {
                ASSERT_EQ(r.count, f.count) << "cut after " << length;
                ASSERT_EQ(r.kind, whole.kind);
            } else {
                ASSERT_FALSE(r.message.empty()) << "cut after " << length;
            }
        }
    }
}
