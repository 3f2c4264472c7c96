#include "ptp/ptp_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "ptp_test_bytes.h"

using testing_support::PtpBytes;
using namespace std::string_view_literals;

TEST(PtpReader, ReadsLittleEndianNumbersAndAdvances)
{
    const std::vector<std::uint8_t> data{0x01, 0x34, 0x12, 0x78, 0x56, 0x34, 0x12, 0xFF, 0xFF, 0xFF, 0xFF};
    PtpReader r(data);
    EXPECT_EQ(r.u8(), 0x01);
    EXPECT_EQ(r.u16le(), 0x1234);
    EXPECT_EQ(r.pos(), 3u);
    EXPECT_EQ(r.u32le(), 0x12345678u);
    EXPECT_EQ(r.u32le(), 0xFFFFFFFFu);
    EXPECT_EQ(r.pos(), data.size());
    EXPECT_EQ(r.remaining(), 0u);
    EXPECT_FALSE(r.failed());
}

TEST(PtpReader, ANumberThatDoesNotFitFailsAtTheEndWithZero)
{
    struct Case {
        std::size_t size;
        int width;
    };
    const Case cases[] = {{0, 1}, {0, 2}, {1, 2}, {0, 4}, {1, 4}, {3, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE("size " + std::to_string(c.size) + " width " + std::to_string(c.width));
        const std::vector<std::uint8_t> data(c.size, 0xAB);
        PtpReader r(data);
        const std::uint32_t value = c.width == 1 ? r.u8() : c.width == 2 ? r.u16le() : r.u32le();
        EXPECT_EQ(value, 0u);
        EXPECT_TRUE(r.failed());
        EXPECT_EQ(r.pos(), c.size);
    }
}

TEST(PtpReader, FailureIsStickyAndNumbersStillReadWithinBounds)
{
    const std::vector<std::uint8_t> data{0x02, 0x00, 0x03, 0x00};
    PtpReader r(data);
    r.fail();
    // A later count is still read where it lies; the flag stays set.
    EXPECT_EQ(r.u16le(), 2);
    EXPECT_EQ(r.pos(), 2u);
    EXPECT_TRUE(r.failed());
    EXPECT_EQ(r.u16le(), 3);
    EXPECT_TRUE(r.failed());
}

TEST(PtpReader, SkipCannotWrapPastTheEnd)
{
    const std::vector<std::uint8_t> data(10, 0);
    for (std::size_t n : {std::size_t{11}, std::numeric_limits<std::size_t>::max(),
                          std::numeric_limits<std::size_t>::max() - 1}) {
        PtpReader r(data);
        r.skip(2);
        r.skip(n);
        EXPECT_TRUE(r.failed());
        EXPECT_EQ(r.pos(), data.size());
    }
    PtpReader exact(data);
    exact.skip(10);
    EXPECT_FALSE(exact.failed());
    EXPECT_EQ(exact.pos(), 10u);
}

TEST(PtpReader, ReadPtpStringDecodesUnitsToSevenBitText)
{
    struct Case {
        const char* name;
        std::vector<std::uint8_t> data;
        std::string text;
        std::size_t pos;
        bool failed;
    };
    const Case cases[] = {
        {"no byte at all", {}, "", 0, true},
        {"count 0", PtpBytes{}.u8(0).u8(0x41).bytes, "", 1, false},
        {"Canon and its NUL", PtpBytes{}.str(u"Canon").bytes, "Canon", 13, false},
        {"e acute", PtpBytes{}.units(1, u"\u00E9"sv).bytes, "?", 3, false},
        {"A NUL B", PtpBytes{}.units(3, u"A\0B"sv).bytes, "AB", 7, false},
        {"0x7E kept, 0x7F and 0x80 replaced", PtpBytes{}.units(3, u"\x7E\x7F\x80"sv).bytes, "~??", 7, false},
        {"control characters replaced", PtpBytes{}.units(5, u"\x01\t\n\r "sv).bytes, "???? ", 11, false},
        {"surrogate pair is two units", PtpBytes{}.units(2, u"\xD83D\xDE00"sv).bytes, "??", 5, false},
        {"0xFFFF", PtpBytes{}.units(1, u"\xFFFF"sv).bytes, "?", 3, false},
        {"cut after two units", PtpBytes{}.units(3, u"AB"sv).u8('C').bytes, "AB", 6, true},
        {"count but no units", PtpBytes{}.u8(4).bytes, "", 1, true},
        {"half a unit", PtpBytes{}.u8(1).u8('A').bytes, "", 2, true},
        {"bytes after the string stay", PtpBytes{}.str(u"X").u8(7).bytes, "X", 5, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PtpReader r(c.data);
        EXPECT_EQ(r.readPtpString(), c.text);
        EXPECT_EQ(r.pos(), c.pos);
        EXPECT_EQ(r.failed(), c.failed);
    }
}

TEST(PtpReader, ReadPtpStringAfterAFailureConsumesOnlyTheCount)
{
    const auto data = PtpBytes{}.str(u"EOS").bytes;
    PtpReader r(data);
    r.fail();
    EXPECT_EQ(r.readPtpString(), "");
    EXPECT_EQ(r.pos(), 1u);
}

TEST(PtpReader, ReadPtpStringHoldsAtMost255Characters)
{
    PtpBytes b;
    b.u8(255);
    for (int i = 0; i < 300; ++i) b.u16(u'x');
    PtpReader r(b.bytes);
    const std::string text = r.readPtpString();
    EXPECT_EQ(text, std::string(255, 'x'));
    EXPECT_EQ(r.pos(), 1u + 2 * 255);
    EXPECT_FALSE(r.failed());
}
