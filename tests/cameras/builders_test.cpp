#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "capture_file.h"
#include "decoders.h"
#include "device_info_builder.h"
#include "eos_events.h"
#include "ptp_writer.h"

using namespace cameras_test;
using Bytes = std::vector<std::uint8_t>;

namespace {

sim::DeviceInfoFields sampleFields()
{
    sim::DeviceInfoFields f;
    f.vendorExtensionDesc = u"fujifilm.co.jp: 1.0; ";
    f.operationsSupported = {0x1001, 0x9116};
    f.eventsSupported = {0x4002};
    f.devicePropertiesSupported = {0x5001, 0xD310, 0xD303};
    f.imageFormats = {0x3801};
    f.manufacturer = u"Canon Inc.";
    f.model = u"Canon EOS 80D";
    f.deviceVersion = u"3-1.0.3";
    f.serialNumber = u"0123";
    return f;
}

}  // namespace

TEST(DeviceInfoBuilder, EmptyFieldsGiveTheSmallest35ByteDataset)
{
    const Bytes expected = {0x64, 0, 0x06, 0, 0, 0, 0x64, 0,  // standard version, vendor id, version
                            0,                                // no extension description
                            0, 0,                             // functional mode
                            0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // five empty lists
                            0, 0, 0, 0};                                                 // four empty texts
    EXPECT_EQ(sim::buildDeviceInfo({}), expected);
}

TEST(DeviceInfoBuilder, FieldsComeBackFromADecoder)
{
    const auto f = sampleFields();
    const auto d = decodeDeviceInfo(sim::buildDeviceInfo(f));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->standardVersion, 100u);
    EXPECT_EQ(d->vendorExtensionId, 6u);
    EXPECT_EQ(d->vendorExtensionDesc, f.vendorExtensionDesc);
    EXPECT_EQ(d->operations, f.operationsSupported);
    EXPECT_EQ(d->events, f.eventsSupported);
    EXPECT_EQ(d->properties, f.devicePropertiesSupported);
    EXPECT_TRUE(d->captureFormats.empty());
    EXPECT_EQ(d->imageFormats, f.imageFormats);
    EXPECT_EQ(d->manufacturer, f.manufacturer);
    EXPECT_EQ(d->model, f.model);
    EXPECT_EQ(d->deviceVersion, f.deviceVersion);
    EXPECT_EQ(d->serialNumber, f.serialNumber);
}

TEST(PtpWriter, StringsCarryTheirUnitCountAndNul)
{
    struct Case {
        std::u16string text;
        Bytes expected;
    };
    const Case cases[] = {
        {u"", {0x00}},
        {u"Canon", {0x06, 'C', 0, 'a', 0, 'n', 0, 'o', 0, 'n', 0, 0, 0}},
        {u"\u00e9", {0x02, 0xE9, 0x00, 0, 0}},
        {u"A\U0001F600", {0x04, 'A', 0, 0x3D, 0xD8, 0x00, 0xDE, 0, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sim::PtpWriter().string(c.text).bytes(), c.expected);
}

TEST(PtpWriter, LongTextsAreCutTo254Units)
{
    const Bytes bytes = sim::PtpWriter().string(std::u16string(300, u'x')).bytes();
    ASSERT_EQ(bytes.size(), 1u + 255 * 2);
    EXPECT_EQ(bytes[0], 255);
    EXPECT_EQ(bytes[1 + 253 * 2], 'x');
    EXPECT_EQ(bytes[1 + 254 * 2], 0);
    EXPECT_EQ(bytes[2 + 254 * 2], 0);
}

TEST(DeviceInfoBuilder, AnnouncedCountsLieWhileAllElementsAreWritten)
{
    auto f = sampleFields();
    const Bytes honest = sim::buildDeviceInfo(f);
    f.announcedCounts[sim::DeviceInfoList::DeviceProperties] = 4097;
    const Bytes lying = sim::buildDeviceInfo(f);
    ASSERT_EQ(lying.size(), honest.size());
    // The property list's count follows the header, the description, the mode and the
    // first two lists.
    const std::size_t at = 8 + 1 + 2 * 22 + 2 + (4 + 2 * 2) + (4 + 2 * 1);
    EXPECT_EQ(Bytes(honest.begin() + at, honest.begin() + at + 6), (Bytes{3, 0, 0, 0, 0x01, 0x50}));
    EXPECT_EQ(Bytes(lying.begin() + at, lying.begin() + at + 6), (Bytes{0x01, 0x10, 0, 0, 0x01, 0x50}));
    EXPECT_EQ(Bytes(lying.begin() + at + 4, lying.end()), Bytes(honest.begin() + at + 4, honest.end()));
}

TEST(DeviceInfoBuilder, TruncationAndTrailingBytes)
{
    auto f = sampleFields();
    const Bytes whole = sim::buildDeviceInfo(f);

    f.truncateAt = 40;
    EXPECT_EQ(sim::buildDeviceInfo(f), Bytes(whole.begin(), whole.begin() + 40));
    f.truncateAt = whole.size() + 10;
    EXPECT_EQ(sim::buildDeviceInfo(f), whole);

    f.truncateAt.reset();
    f.trailingBytes = {0xAA, 0xBB};
    Bytes expected = whole;
    expected.insert(expected.end(), {0xAA, 0xBB});
    EXPECT_EQ(sim::buildDeviceInfo(f), expected);
}

TEST(Utf16FromUtf8, CharactersAndMalformedSequences)
{
    struct Case {
        std::string utf8;
        std::u16string expected;
    };
    const Case cases[] = {
        {"EOS 80D", u"EOS 80D"},
        {"Cam\xC3\xA9ra", u"Cam\u00e9ra"},
        {"\xE2\x82\xAC", u"\u20ac"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"a\xC3", u"a\uFFFD"},                          // cut short
        {"\xC0\xAF", u"\uFFFD\uFFFD"},                  // overlong
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},        // a surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
        {"\x80x", u"\uFFFDx"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sim::utf16FromUtf8(c.utf8), c.expected) << c.utf8;
}

TEST(EosEventBuilder, RecordsAreLaidOutBackToBack)
{
    const std::uint8_t m50Value[] = {0x10, 0, 0, 0, 0x01, 0, 0, 0, 0xE8, 0x03, 0, 0, 0xE8, 0x03, 0, 0};
    const std::uint8_t oneByte[] = {0x07};
    const std::uint8_t payload[] = {0xAB};
    const Bytes bytes = sim::EosEventBuilder()
                            .property(0xD1AC, 789)
                            .propertyBytes(0xD167, m50Value)
                            .propertyBytes(0xD11B, oneByte)
                            .record(0xC18A, payload)
                            .header(0x40, 0xC189)
                            .end()
                            .bytes();
    const Bytes expected = {
        0x10, 0, 0, 0, 0x89, 0xC1, 0, 0, 0xAC, 0xD1, 0, 0, 0x15, 0x03, 0, 0,           // D1AC = 789
        0x1C, 0, 0, 0, 0x89, 0xC1, 0, 0, 0x67, 0xD1, 0, 0,                              // 28-byte record
        0x10, 0, 0, 0, 0x01, 0, 0, 0, 0xE8, 0x03, 0, 0, 0xE8, 0x03, 0, 0,               // its structure
        0x0D, 0, 0, 0, 0x89, 0xC1, 0, 0, 0x1B, 0xD1, 0, 0, 0x07,                        // 13-byte record
        0x09, 0, 0, 0, 0x8A, 0xC1, 0, 0, 0xAB,                                          // unaligned from here
        0x40, 0, 0, 0, 0x89, 0xC1, 0, 0,                                                // a size that lies
        0x08, 0, 0, 0, 0, 0, 0, 0,                                                      // end record
    };
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(sim::eosEmptyBatch(), (Bytes{8, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(ParseHex, DigitPairsInEitherCaseWithWhiteSpaceIgnored)
{
    EXPECT_EQ(sim::parseHex(""), Bytes{});
    EXPECT_EQ(sim::parseHex("00ffAb\n"), (Bytes{0x00, 0xFF, 0xAB}));
    EXPECT_EQ(sim::parseHex(" 0 8\t00\r\n"), (Bytes{0x08, 0x00}));
    for (const char* bad : {"0", "abc", "0g", "0x10", "12-34", "\xC3\xA9"})
        EXPECT_FALSE(sim::parseHex(bad)) << bad;
}

TEST(LoadCapture, RealCapturesHaveTheirKnownSizes)
{
    struct Case {
        const char* name;
        std::size_t size;
    };
    const Case cases[] = {
        {"di_canon_eos60d.hex", 391},
        {"di_fuji_xh1.hex", 593},
        {"ev_canon_eos5dmk3_initial.hex", 11116},
        {"ev_canon_eosm50_initial.hex", 9330},
        {"ev_canon_eos1300d_vcam_with_trailing.hex", 5941},
        {"ev_canon_eos60d_empty.hex", 8},
    };
    for (const auto& c : cases)
        EXPECT_EQ(capture(c.name).size(), c.size) << c.name;
    EXPECT_FALSE(sim::loadCapture(sim::defaultCapturesDir() / "no_such_capture.hex"));
    EXPECT_FALSE(sim::loadCapture(sim::defaultCapturesDir()));  // a folder
    EXPECT_FALSE(sim::loadCapture(sim::defaultCapturesDir() / "README.md"));  // not hex
}

TEST(LoadCapture, EventCapturesHoldWhatTheBodiesSent)
{
    struct Case {
        const char* name;
        std::size_t records;  // before the end record
        std::size_t propertyValues;
        std::size_t after;  // bytes after the end record
    };
    const Case cases[] = {
        {"ev_canon_eos5dmk3_initial.hex", 216, 104, 0},
        {"ev_canon_eosm50_initial.hex", 243, 126, 0},
        {"ev_canon_eos1300d_vcam_with_trailing.hex", 184, 84, 117},
        {"ev_canon_eos60d_empty.hex", 0, 0, 0},
    };
    for (const auto& c : cases) {
        std::size_t after = 99;
        const auto records = eosRecords(capture(c.name), &after);
        ASSERT_TRUE(records) << c.name;
        EXPECT_EQ(records->size(), c.records + 1) << c.name;
        EXPECT_EQ(eosProperties(*records).size(), c.propertyValues) << c.name;
        EXPECT_EQ(after, c.after) << c.name;
    }

    const auto mk3 = eosProperties(*eosRecords(capture("ev_canon_eos5dmk3_initial.hex")));
    EXPECT_NE(std::find(mk3.begin(), mk3.end(), std::pair<std::uint32_t, std::uint32_t>{0xD1AC, 52754}), mk3.end());

    const auto m50 = *eosRecords(capture("ev_canon_eosm50_initial.hex"));
    const auto d167 = std::find_if(m50.begin(), m50.end(),
                                   [](const EosRecord& r) { return r.type == 0xC189 && r.word(0) == 0xD167; });
    ASSERT_NE(d167, m50.end());
    EXPECT_EQ(d167->size, 28u);
    EXPECT_EQ(d167->word(4), 16u);

    EXPECT_EQ(eosRecords(capture("ev_canon_eos1300d_vcam_with_trailing.hex"))->back().offset, 0x16B8u);
    EXPECT_EQ(capture("ev_canon_eos60d_empty.hex"), sim::eosEmptyBatch());
}

TEST(LoadCapture, DeviceInfoCapturesDecode)
{
    const auto eos60d = decodeDeviceInfo(capture("di_canon_eos60d.hex"));
    ASSERT_TRUE(eos60d);
    EXPECT_EQ(eos60d->model, u"Canon EOS 60D");
    EXPECT_EQ(eos60d->operations.size(), 87u);
    EXPECT_EQ(eos60d->properties, (std::vector<std::uint16_t>{0xD402, 0xD407, 0xD406, 0xD303, 0x5001}));

    const auto xh1 = decodeDeviceInfo(capture("di_fuji_xh1.hex"));
    ASSERT_TRUE(xh1);
    EXPECT_EQ(xh1->model, u"X-H1");
    EXPECT_EQ(xh1->properties.size(), 168u);
    EXPECT_EQ(std::find(xh1->properties.begin(), xh1->properties.end(), 0xD310), xh1->properties.end());
}
