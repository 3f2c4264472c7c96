// The bounded reader, the cache of supplied ranges and the directory walker: what they do when a
// file's numbers point where they should not.

#include <gtest/gtest.h>

#include "fixture.h"
#include "photo/byte_reader.h"
#include "photo/range_cache.h"
#include "photo/tiff.h"

using namespace fixture;

namespace {

// A cache holding all of `bytes`.
struct Whole {
    explicit Whole(const Bytes& b) : cache(b.size()) { cache.add(0, b, b.size()); }
    RangeCache cache;
};

} // namespace

TEST(ByteReader, ReadsInEitherOrder)
{
    const Bytes b = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
    ByteReader le(b, ByteOrder::Little), be(b, ByteOrder::Big);
    EXPECT_EQ(le.u16(), 0x3412);
    EXPECT_EQ(le.u32(), 0xBC9A7856u);
    EXPECT_EQ(be.u16(), 0x1234);
    EXPECT_EQ(be.u32(), 0x56789ABCu);
    ByteReader le64(b, ByteOrder::Little), be64(b, ByteOrder::Big);
    EXPECT_EQ(le64.u64(), 0xF0DEBC9A78563412ull);
    EXPECT_EQ(be64.u64(), 0x123456789ABCDEF0ull);
    EXPECT_FALSE(le.failed() || be.failed() || le64.failed() || be64.failed());
}

TEST(ByteReader, OverrunFailsStickilyAtTheEnd)
{
    const Bytes b = {1, 2, 3};
    struct Case {
        const char* what;
        void (*read)(ByteReader&);
    } cases[] = {
        {"u32", [](ByteReader& r) { EXPECT_EQ(r.u32(), 0u); }},
        {"u64", [](ByteReader& r) { EXPECT_EQ(r.u64(), 0u); }},
        {"skip", [](ByteReader& r) { r.skip(4); }},
        {"seek", [](ByteReader& r) { r.seek(4); }},
        {"bytes", [](ByteReader& r) { EXPECT_TRUE(r.bytes(4).empty()); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ByteReader r(b, ByteOrder::Big);
        c.read(r);
        EXPECT_TRUE(r.failed());
        EXPECT_EQ(r.pos(), 3u);
        EXPECT_EQ(r.u8(), 0); // nothing more once failed at the end
        EXPECT_TRUE(r.failed());
    }
    ByteReader r(b, ByteOrder::Big);
    EXPECT_EQ(r.u16(), 0x0102);
    EXPECT_EQ(r.u8(), 3);
    EXPECT_FALSE(r.failed());
}

TEST(RangeCache, MergesTouchingRangesAndAsksOnlyForGaps)
{
    RangeCache cache(1000);
    const Bytes a(100, 0xAA), b(100, 0xBB);
    cache.add(100, a, 100);
    cache.add(300, b, 100);
    EXPECT_TRUE(cache.find(150, 100).empty()); // crosses into the gap
    // A range starting inside held bytes asks from the first missing byte, up to the next held one.
    auto gap = cache.gapFor(150, 200, 0);
    EXPECT_EQ(gap.offset, 200u);
    EXPECT_EQ(gap.length, 100u);
    gap = cache.gapFor(0, 10, 64);
    EXPECT_EQ(gap.offset, 0u);
    EXPECT_EQ(gap.length, 64u);
    gap = cache.gapFor(950, 10, 64 * 1024); // never past the end
    EXPECT_EQ(gap.length, 50u);

    cache.add(200, Bytes(100, 0xCC), 100);
    const auto joined = cache.find(150, 200);
    ASSERT_EQ(joined.size(), 200u);
    EXPECT_EQ(joined.front(), 0xAA);
    EXPECT_EQ(joined[100], 0xCC);
    EXPECT_EQ(joined.back(), 0xBB);
    EXPECT_EQ(cache.bytesSupplied(), 300u);
}

TEST(RangeCache, ShortSupplyMeansTheFileEndsThere)
{
    RangeCache cache(1000);
    cache.add(0, Bytes(40, 1), 100);
    EXPECT_EQ(cache.size(), 40u);
    FileView view(cache);
    EXPECT_TRUE(view.get(30, 20).empty());
    EXPECT_TRUE(view.pastEnd());
    EXPECT_FALSE(view.missing());
}

TEST(FileView, RemembersTheFirstMissingRange)
{
    RangeCache cache(1 << 20);
    cache.add(0, Bytes(100, 0), 100);
    FileView view(cache);
    EXPECT_EQ(view.get(0, 100).size(), 100u);
    EXPECT_TRUE(view.get(5000, 8).empty());
    EXPECT_TRUE(view.get(9000, 8).empty());
    ASSERT_TRUE(view.missing());
    EXPECT_EQ(view.need().offset, 5000u);
    EXPECT_EQ(view.need().length, FileView::kMinRequest);
}

TEST(IfdWalker, ReadsEntriesAndPlacesTheirValues)
{
    const auto o = ByteOrder::Big;
    const Bytes b = ifd({ascii(0x010F, "NIKON"), longs(0x8769, {1234}, o)}, 0, o);
    Whole w(b);
    FileView view(w.cache);
    IfdWalker walker(view);
    const auto dir = walker.read({0, b.size(), 0, o}, 0, 0);
    ASSERT_TRUE(dir);
    ASSERT_EQ(dir->entries.size(), 2u);
    EXPECT_EQ(entryText(view, *dir->find(0x010F)), "NIKON");
    EXPECT_EQ(entryNumber(view, *dir->find(0x8769), o), 1234u);
    EXPECT_EQ(dir->find(0x927C), nullptr);
}

TEST(IfdWalker, RefusesWhatNoCameraWrites)
{
    const auto o = ByteOrder::Little;
    const Bytes good = ifd({longs(0x00A7, {1}, o)}, 0, o);
    Bytes zeroEntries = good;
    zeroEntries[0] = 0;
    Bytes tooMany(2 + 12 * 1100 + 4, 0);
    tooMany[0] = 1100 & 0xFF;
    tooMany[1] = 1100 >> 8;
    Bytes cut = good;
    cut.resize(10); // the table runs past the block
    struct Case {
        const char* what;
        Bytes bytes;
        std::int64_t offset;
        int depth;
    } cases[] = {
        {"no entries", zeroEntries, 0, 0},
        {"entry count beyond any camera", tooMany, 0, 0},
        {"table past the end", cut, 0, 0},
        {"offset past the end", good, 1000, 0},
        {"offset before the block", good, -4, 0},
        {"nested too deep", good, 0, IfdWalker::kMaxDepth + 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Whole w(c.bytes);
        FileView view(w.cache);
        IfdWalker walker(view);
        EXPECT_FALSE(walker.read({0, c.bytes.size(), 0, o}, c.offset, c.depth));
        EXPECT_FALSE(view.missing());
    }
}

TEST(IfdWalker, ReadsEachDirectoryOnce)
{
    // A directory whose pointer leads back to itself: the second visit is refused.
    const auto o = ByteOrder::Little;
    const Bytes b = ifd({longs(0x8769, {0}, o)}, 0, o);
    Whole w(b);
    FileView view(w.cache);
    IfdWalker walker(view);
    const Block block{0, b.size(), 0, o};
    const auto first = walker.read(block, 0, 0);
    ASSERT_TRUE(first);
    const auto pointer = entryNumber(view, *first->find(0x8769), o);
    EXPECT_FALSE(walker.read(block, *pointer, 1));
}

TEST(IfdWalker, ValuesOutsideTheBlockAreNotRead)
{
    // An entry whose value would lie past the maker note's length, and one before a base that
    // lies before the file (a converter's moved note).
    const auto o = ByteOrder::Little;
    Bytes b = ifd({undefined(0x9050, Bytes(64, 7))}, 0, o);
    const std::uint64_t noteLength = b.size() - 8; // the note ends before its value does
    Whole w(b);
    FileView view(w.cache);
    IfdWalker walker(view);
    const auto dir = walker.read({0, noteLength, 0, o}, 0, 0);
    ASSERT_TRUE(dir);
    EXPECT_FALSE(dir->entries[0].valueInside);
    EXPECT_TRUE(entryBytes(view, dir->entries[0]).empty());

    const Block moved{0, b.size(), -700, o};
    EXPECT_FALSE(moved.at(699, 1));
    EXPECT_EQ(moved.at(700, 1), 0u);
    EXPECT_FALSE(moved.at(700 + static_cast<std::int64_t>(b.size()), 1));
}

TEST(TiffHeader, KnowsTheRawMagics)
{
    struct Case {
        Bytes bytes;
        bool ok;
    } cases[] = {
        {{'I', 'I', 42, 0, 8, 0, 0, 0}, true},
        {{'M', 'M', 0, 42, 0, 0, 0, 8}, true},
        {{'I', 'I', 0x55, 0, 8, 0, 0, 0}, true}, // Panasonic RW2
        {{'I', 'I', 'R', 'O', 8, 0, 0, 0}, true}, // Olympus ORF
        {{'M', 'M', 'O', 'R', 0, 0, 0, 8}, true},
        {{'I', 'I', 43, 0, 8, 0, 0, 0}, false},
        {{'I', 'M', 42, 0, 8, 0, 0, 0}, false},
        {{'I', 'I', 42}, false},
    };
    for (const auto& c : cases) EXPECT_EQ(parseTiffHeader(c.bytes).has_value(), c.ok);
}
