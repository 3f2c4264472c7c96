#include "vendors/eos_events.h"

#include "capture_file.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void put32(Bytes& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// A record with the given size field and type; the payload is the given words, then zeros up
// to the size (or nothing more when the size is smaller than what was written).
Bytes record(std::uint32_t size, std::uint32_t type, std::initializer_list<std::uint32_t> words = {})
{
    Bytes b;
    put32(b, size);
    put32(b, type);
    for (auto w : words)
        put32(b, w);
    while (b.size() < size && b.size() < 4096)
        b.push_back(0);
    return b;
}

Bytes cut(Bytes b, std::size_t length)
{
    b.resize(length);
    return b;
}

Bytes propertyValue(std::uint32_t code, std::uint32_t value) { return record(16, 0xC189, {code, value}); }
Bytes endRecord() { return record(8, 0); }

Bytes join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

int parse(const Bytes& data, EosPropertyMap& map) { return parseEosEvents(data, map); }

}  // namespace

TEST(ParseEosEvents, FewerThanEightBytesTakeNothingAndLeaveTheMap)
{
    const Bytes full = propertyValue(0xD1AC, 5);
    for (std::size_t length = 0; length < 8; ++length) {
        EosPropertyMap map{{0xD167, {7, 4}}};
        EXPECT_EQ(parseEosEvents(std::span(full).first(length), map), 0) << length;
        ASSERT_EQ(map.size(), 1u);
        EXPECT_EQ(map.at(0xD167).value, 7u);
    }
}

TEST(ParseEosEvents, OneValueThenEndRecord)
{
    EosPropertyMap map;
    EXPECT_EQ(parse(join({propertyValue(0xD1AC, 789), endRecord()}), map), 1);
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map.at(0xD1AC).value, 789u);
    EXPECT_EQ(map.at(0xD1AC).valueBytes, 4u);
}

TEST(ParseEosEvents, RecordsThatEndOrSkip)
{
    struct Case {
        const char* name;
        Bytes data;
        int taken;
        std::vector<std::uint32_t> codes;
    };
    const Case cases[] = {
        {"short C189 record is skipped, not counted",
         join({record(12, 0xC189, {0xD1AC}), propertyValue(0xD167, 3)}), 1, {0xD167}},
        {"other types are skipped by their size",
         join({record(24, 0xC18A, {0xD1AC, 1, 2, 3}), propertyValue(0xD167, 3)}), 1, {0xD167}},
        {"unaligned 13-byte record is stepped over",
         join({record(13, 0xC189, {0x1234}), propertyValue(0xD1AC, 9)}), 1, {0xD1AC}},
        {"size below 8 ends the list", join({record(4, 0xC189), propertyValue(0xD1AC, 1)}), 0, {}},
        {"type 0 ends the list whatever its size",
         join({propertyValue(0xD1AC, 1), record(64, 0), propertyValue(0xD167, 2)}), 1, {0xD1AC}},
        {"record running past the end is not taken, even with its first 16 bytes there",
         join({propertyValue(0xD167, 2), cut(record(20, 0xC189, {0xD1AC, 5}), 16)}), 1, {0xD167}},
        {"size near 2^32 cannot wrap the offset",
         join({propertyValue(0xD167, 2), record(0xFFFFFFF8u, 0xC189, {0xD1AC, 5})}), 1, {0xD167}},
        {"fewer than 8 bytes after a record end the walk", join({propertyValue(0xD1AC, 1), Bytes{1, 2, 3}}), 1,
         {0xD1AC}},
        {"no end record needed at the very end", join({propertyValue(0xD1AC, 1), propertyValue(0xD167, 2)}), 2,
         {0xD167, 0xD1AC}},
    };
    for (const auto& c : cases) {
        EosPropertyMap map;
        EXPECT_EQ(parse(c.data, map), c.taken) << c.name;
        std::vector<std::uint32_t> codes;
        for (const auto& [code, value] : map)
            codes.push_back(code);
        EXPECT_EQ(codes, c.codes) << c.name;
    }
}

TEST(ParseEosEvents, LaterValueReplacesEarlierAndBothCount)
{
    EosPropertyMap map;
    EXPECT_EQ(parse(join({propertyValue(0xD1AC, 1), propertyValue(0xD1AC, 2), endRecord()}), map), 2);
    EXPECT_EQ(map.at(0xD1AC).value, 2u);
    EXPECT_EQ(parse(join({propertyValue(0xD1AC, 3)}), map), 1);
    EXPECT_EQ(map.at(0xD1AC).value, 3u);
    EXPECT_EQ(map.size(), 1u);
}

TEST(ParseEosEvents, WiderValueKeepsItsFirstWordAndWidth)
{
    EosPropertyMap map;
    EXPECT_EQ(parse(record(28, 0xC189, {0xD167, 16, 1, 1000, 1000}), map), 1);
    EXPECT_EQ(map.at(0xD167).value, 16u);
    EXPECT_EQ(map.at(0xD167).valueBytes, 16u);
    // A later plain value replaces the structure, width included.
    EXPECT_EQ(parse(propertyValue(0xD167, 4242), map), 1);
    EXPECT_EQ(eosCounterValue(map, 0xD167), 4242u);
}

TEST(EosCounter, OnlyASingle32BitValueIsACount)
{
    EosPropertyMap map;
    parse(join({propertyValue(0xD1AC, 0x80000001u), record(28, 0xC189, {0xD167, 16, 1, 1000, 1000}),
                record(17, 0xC189, {0x1111, 5})}),
          map);
    EXPECT_EQ(eosCounterValue(map, 0xD1AC), 0x80000001u);
    EXPECT_EQ(eosCounterValue(map, 0xD167), std::nullopt);
    EXPECT_EQ(eosCounterValue(map, 0x1111), std::nullopt);
    EXPECT_EQ(eosCounterValue(map, 0x2222), std::nullopt);
    EXPECT_EQ(eosCounterLine(map, 0xD1AC), L"D1AC ShutterCounter: 2147483649");
    EXPECT_EQ(eosCounterLine(map, 0xD167), L"D167 ShutterReleaseCounter: not a count (16-byte value)");

    EosPropertyMap other;
    parse(join({record(17, 0xC189, {0xD1AC, 5}), propertyValue(0xD167, 0)}), other);
    EXPECT_EQ(eosCounterLine(other, 0xD1AC), L"D1AC ShutterCounter: not a count (5-byte value)");
    EXPECT_EQ(eosCounterLine(other, 0xD167), L"D167 ShutterReleaseCounter: 0");
    EXPECT_EQ(eosCounterLine(EosPropertyMap{}, 0xD1AC), L"D1AC ShutterCounter: not sent");
    EXPECT_EQ(eosCounterLine(EosPropertyMap{}, 0xD167), L"D167 ShutterReleaseCounter: not sent");
}

TEST(ParseEosEvents, RealCaptures)
{
    struct Case {
        const char* file;
        int taken;
        std::optional<std::uint32_t> d1ac;
        std::optional<std::uint32_t> d167;
        const wchar_t* d167Line;
    };
    const Case cases[] = {
        {"ev_canon_eos5dmk3_initial.hex", 104, 52754u, std::nullopt, L"D167 ShutterReleaseCounter: not sent"},
        // The type-0 record is followed by a response container and zeros: they are not events.
        {"ev_canon_eos1300d_vcam_with_trailing.hex", 84, 39337u, std::nullopt,
         L"D167 ShutterReleaseCounter: not sent"},
        // One 13-byte C189 record; 0xD167 arrives as a 16-byte structure whose first word is 16.
        {"ev_canon_eosm50_initial.hex", 125, std::nullopt, std::nullopt,
         L"D167 ShutterReleaseCounter: not a count (16-byte value)"},
        {"ev_canon_eos60d_empty.hex", 0, std::nullopt, std::nullopt, L"D167 ShutterReleaseCounter: not sent"},
    };
    for (const auto& c : cases) {
        const auto data = testing_captures::loadCapture(c.file);
        EosPropertyMap map;
        EXPECT_EQ(parse(data, map), c.taken) << c.file;
        EXPECT_EQ(eosCounterValue(map, 0xD1AC), c.d1ac) << c.file;
        EXPECT_EQ(eosCounterValue(map, 0xD167), c.d167) << c.file;
        EXPECT_EQ(eosCounterLine(map, 0xD167), c.d167Line) << c.file;
    }
}
