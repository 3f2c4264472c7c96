#include "ptp/device_info.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "capture.h"
#include "ptp/ptp_codes.h"
#include "ptp_test_bytes.h"

using testing_support::loadCapture;
using testing_support::PtpBytes;
using namespace std::string_view_literals;

namespace {

using Codes = std::vector<std::uint16_t>;

// The fixed header: StandardVersion 100, VendorExtensionID 6, VendorExtensionVersion 100.
PtpBytes header()
{
    return PtpBytes{}.u16(100).u32(6).u16(100);
}

struct Fields {
    Codes operations{0x1001, 0x1015};
    Codes events{0x4002};
    Codes properties{0x5001, 0xD310};
    Codes captureFormats{0x3801};
    Codes imageFormats{0x3801, 0x3000};
    std::u16string manufacturer = u"FUJIFILM";
    std::u16string model = u"X-T3";
    std::u16string version = u"4.10";
    std::u16string serial = u"ABC123";
};

std::vector<std::uint8_t> dataset(const Fields& f)
{
    return header()
        .str(u"fujifilm.co.jp: 1.0; ")
        .u16(0)
        .list(f.operations)
        .list(f.events)
        .list(f.properties)
        .list(f.captureFormats)
        .list(f.imageFormats)
        .str(f.manufacturer)
        .str(f.model)
        .str(f.version)
        .str(f.serial)
        .bytes;
}

void expectEmpty(const DeviceInfo& info)
{
    EXPECT_TRUE(info.operationsSupported.empty());
    EXPECT_TRUE(info.eventsSupported.empty());
    EXPECT_TRUE(info.devicePropertiesSupported.empty());
    EXPECT_EQ(info.manufacturer, "");
    EXPECT_EQ(info.model, "");
    EXPECT_EQ(info.deviceVersion, "");
    EXPECT_EQ(info.serialNumber, "");
}

bool contains(const Codes& codes, std::uint16_t code)
{
    return std::find(codes.begin(), codes.end(), code) != codes.end();
}

Codes counting(std::size_t n)
{
    Codes codes(n);
    for (std::size_t i = 0; i < n; ++i) codes[i] = static_cast<std::uint16_t>(0x1000 + i);
    return codes;
}

}  // namespace

TEST(DeviceInfo, CanonEos60dCapture)
{
    const auto data = loadCapture("di_canon_eos60d.hex");
    ASSERT_EQ(data.size(), 391u);
    const DeviceInfo info = parseDeviceInfo(data);
    EXPECT_TRUE(info.ok);
    EXPECT_EQ(info.manufacturer, "Canon Inc.");
    EXPECT_EQ(info.model, "Canon EOS 60D");
    EXPECT_EQ(info.deviceVersion, "3-1.1.0");
    EXPECT_EQ(info.serialNumber, "596bbf9a935147d6842d8d8e28fe8fb5");
    EXPECT_EQ(info.operationsSupported.size(), 87u);
    EXPECT_TRUE(contains(info.operationsSupported, ptp::opCanonGetEvent));
    EXPECT_EQ(info.eventsSupported.size(), 7u);
    EXPECT_EQ(info.devicePropertiesSupported, (Codes{0xD402, 0xD407, 0xD406, 0xD303, 0x5001}));
}

TEST(DeviceInfo, FujifilmXH1Capture)
{
    const auto data = loadCapture("di_fuji_xh1.hex");
    ASSERT_EQ(data.size(), 593u);
    const DeviceInfo info = parseDeviceInfo(data);
    EXPECT_TRUE(info.ok);
    EXPECT_EQ(info.manufacturer, "FUJIFILM");
    EXPECT_EQ(info.model, "X-H1");
    EXPECT_EQ(info.deviceVersion, "2.14");
    EXPECT_EQ(info.serialNumber, "593534313432190906AA602021CA2A");
    EXPECT_EQ(info.operationsSupported.size(), 27u);
    EXPECT_FALSE(contains(info.operationsSupported, ptp::opCanonGetEvent));
    EXPECT_EQ(info.eventsSupported.size(), 6u);
    EXPECT_EQ(info.devicePropertiesSupported.size(), 168u);
    EXPECT_FALSE(contains(info.devicePropertiesSupported, ptp::propFujifilmTotalShotCount));

    // The vendor extension text right after the header: 22 units, its NUL included.
    PtpReader r(data);
    r.skip(8);
    EXPECT_EQ(r.readPtpString(), "fujifilm.co.jp: 1.0; ");
    EXPECT_EQ(r.pos(), 8u + 1 + 22 * 2);
}

TEST(DeviceInfo, EveryCutOfARealCaptureFailsSafely)
{
    for (const char* name : {"di_canon_eos60d.hex", "di_fuji_xh1.hex"}) {
        SCOPED_TRACE(name);
        const auto data = loadCapture(name);
        const DeviceInfo whole = parseDeviceInfo(data);
        ASSERT_TRUE(whole.ok);
        for (std::size_t n = 0; n < data.size(); ++n) {
            // A copy of exactly n bytes, so the sanitizer sees any read past it.
            const std::vector<std::uint8_t> cut(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
            const DeviceInfo info = parseDeviceInfo(cut);
            ASSERT_FALSE(info.ok) << "cut at " << n;
            // What was decoded is a prefix of the truth, never something else.
            EXPECT_TRUE(whole.manufacturer.starts_with(info.manufacturer)) << n;
            EXPECT_TRUE(whole.model.starts_with(info.model)) << n;
            EXPECT_TRUE(whole.deviceVersion.starts_with(info.deviceVersion)) << n;
            EXPECT_TRUE(whole.serialNumber.starts_with(info.serialNumber)) << n;
        }
    }
}

TEST(DeviceInfo, FewerThanEightBytesGiveNothing)
{
    for (std::size_t n = 0; n < 8; ++n) {
        SCOPED_TRACE(n);
        const std::vector<std::uint8_t> data(n, 0);
        const DeviceInfo info = parseDeviceInfo(data);
        EXPECT_FALSE(info.ok);
        expectEmpty(info);
    }
}

TEST(DeviceInfo, SmallestCompleteDatasetIs35Bytes)
{
    const auto data = header().u8(0).u16(0).u32(0).u32(0).u32(0).u32(0).u32(0).u8(0).u8(0).u8(0).u8(0).bytes;
    ASSERT_EQ(data.size(), 35u);
    const DeviceInfo info = parseDeviceInfo(data);
    EXPECT_TRUE(info.ok);
    expectEmpty(info);

    const DeviceInfo shortByOne = parseDeviceInfo(std::span(data).first(34));
    EXPECT_FALSE(shortByOne.ok);
    expectEmpty(shortByOne);
}

TEST(DeviceInfo, DecodesEveryKeptField)
{
    Fields f;
    f.manufacturer = u"Canon Inc.";
    f.model = u"Canon EOS 80D";
    const DeviceInfo info = parseDeviceInfo(dataset(f));
    EXPECT_TRUE(info.ok);
    EXPECT_EQ(info.operationsSupported, f.operations);
    EXPECT_EQ(info.eventsSupported, f.events);
    EXPECT_EQ(info.devicePropertiesSupported, f.properties);
    EXPECT_EQ(info.manufacturer, "Canon Inc.");
    EXPECT_EQ(info.model, "Canon EOS 80D");
    EXPECT_EQ(info.deviceVersion, "4.10");
    EXPECT_EQ(info.serialNumber, "ABC123");
}

TEST(DeviceInfo, ListsUpToTheLimitAreAccepted)
{
    Fields f;
    f.operations = counting(maxArrayCount);
    f.events = {};
    f.imageFormats = counting(maxArrayCount);
    const DeviceInfo info = parseDeviceInfo(dataset(f));
    EXPECT_TRUE(info.ok);
    EXPECT_EQ(info.operationsSupported, f.operations);
    EXPECT_TRUE(info.eventsSupported.empty());
    EXPECT_EQ(info.devicePropertiesSupported, f.properties);
    EXPECT_EQ(info.serialNumber, "ABC123");
}

TEST(DeviceInfo, ACountAboveTheLimitFailsAndEmptiesWhatFollows)
{
    // Each list in turn announces 4097 elements, all of them present.
    for (int which = 0; which < 5; ++which) {
        SCOPED_TRACE(which);
        Fields f;
        Codes* lists[] = {&f.operations, &f.events, &f.properties, &f.captureFormats, &f.imageFormats};
        *lists[which] = counting(maxArrayCount + 1);
        const DeviceInfo info = parseDeviceInfo(dataset(f));
        EXPECT_FALSE(info.ok);
        EXPECT_EQ(info.operationsSupported, which > 0 ? f.operations : Codes{});
        EXPECT_EQ(info.eventsSupported, which > 1 ? f.events : Codes{});
        EXPECT_EQ(info.devicePropertiesSupported, which > 2 ? f.properties : Codes{});
        EXPECT_EQ(info.manufacturer, "");
        EXPECT_EQ(info.model, "");
        EXPECT_EQ(info.deviceVersion, "");
        EXPECT_EQ(info.serialNumber, "");
    }
}

TEST(DeviceInfo, AListCutShortEndsWithAZeroElement)
{
    // Three operations announced, two bytes of elements left.
    const auto data = header().str(u"").u16(0).u32(3).u16(0x1001).bytes;
    const DeviceInfo info = parseDeviceInfo(data);
    EXPECT_FALSE(info.ok);
    EXPECT_EQ(info.operationsSupported, (Codes{0x1001, 0}));
    EXPECT_TRUE(info.eventsSupported.empty());
    EXPECT_TRUE(info.devicePropertiesSupported.empty());
    EXPECT_EQ(info.manufacturer, "");

    // Half an element: the cut one still stands as 0.
    const auto odd = header().str(u"").u16(0).u32(1).u8(0x06).bytes;
    const DeviceInfo oddInfo = parseDeviceInfo(odd);
    EXPECT_FALSE(oddInfo.ok);
    EXPECT_EQ(oddInfo.operationsSupported, (Codes{0}));
}

TEST(DeviceInfo, DataEndingInsideSerialNumberKeepsTheTextsBefore)
{
    Fields f;
    f.serial = u"0123456789";
    auto data = dataset(f);
    data.resize(data.size() - 11);  // cut in the middle of the sixth character
    const DeviceInfo info = parseDeviceInfo(data);
    EXPECT_FALSE(info.ok);
    EXPECT_EQ(info.operationsSupported, f.operations);
    EXPECT_EQ(info.manufacturer, "FUJIFILM");
    EXPECT_EQ(info.model, "X-T3");
    EXPECT_EQ(info.deviceVersion, "4.10");
    EXPECT_EQ(info.serialNumber, "01234");
}

TEST(DeviceInfo, TextsKeepSevenBitCharactersOnly)
{
    const auto data = header()
                          .str(u"")
                          .u16(0)
                          .u32(0).u32(0).u32(0).u32(0).u32(0)
                          .str(u"Canon")
                          .units(2, u"\u00E9\0"sv)
                          .units(3, u"A\0B"sv)
                          .units(3, u"\xD83D\xDE00\0"sv)
                          .bytes;
    const DeviceInfo info = parseDeviceInfo(data);
    EXPECT_TRUE(info.ok);
    EXPECT_EQ(info.manufacturer, "Canon");
    EXPECT_EQ(info.model, "?");
    EXPECT_EQ(info.deviceVersion, "AB");
    EXPECT_EQ(info.serialNumber, "??");
}

TEST(DeviceInfo, BytesAfterSerialNumberAreIgnored)
{
    auto data = dataset(Fields{});
    data.insert(data.end(), {0xDE, 0xAD, 0xBE, 0xEF, 0x00});
    const DeviceInfo info = parseDeviceInfo(data);
    EXPECT_TRUE(info.ok);
    EXPECT_EQ(info.serialNumber, "ABC123");
}

TEST(DeviceInfo, LargestDatasetIsCappedByConstruction)
{
    // Five full lists and four strings of 255 units, none of them ASCII.
    PtpBytes b = header();
    b.units(255, std::u16string(255, u'\x20AC'));
    b.u16(0);
    for (int i = 0; i < 5; ++i) b.list(counting(maxArrayCount));
    for (int i = 0; i < 4; ++i) b.units(255, std::u16string(255, u'\x20AC'));
    const DeviceInfo info = parseDeviceInfo(b.bytes);
    EXPECT_TRUE(info.ok);
    EXPECT_EQ(info.operationsSupported.size(), maxArrayCount);
    EXPECT_EQ(info.devicePropertiesSupported.size(), maxArrayCount);
    EXPECT_EQ(info.manufacturer, std::string(255, '?'));
    EXPECT_EQ(info.serialNumber, std::string(255, '?'));
}

TEST(ReadU16List, ACountAboveTheLimitLeavesTheReaderRightAfterIt)
{
    // 4097 is not stepped over: the next count is the 4 bytes right after it.
    const auto data = PtpBytes{}.u32(maxArrayCount + 1).u32(1).u16(0x1001).bytes;
    PtpReader r(data);
    EXPECT_TRUE(readU16List(r).empty());
    EXPECT_TRUE(r.failed());
    EXPECT_EQ(r.pos(), 4u);
    // The next list's count is read; after the failure its elements are not.
    EXPECT_TRUE(readU16List(r).empty());
    EXPECT_EQ(r.pos(), 8u);
}

TEST(ReadU16List, CountsAndTheirElements)
{
    struct Case {
        const char* name;
        std::vector<std::uint8_t> data;
        Codes list;
        std::size_t pos;
        bool failed;
    };
    const Case cases[] = {
        {"empty list", PtpBytes{}.u32(0).u16(0x1001).bytes, {}, 4, false},
        {"two elements", PtpBytes{}.list({0x1001, 0x9116}).bytes, {0x1001, 0x9116}, 8, false},
        {"no count", PtpBytes{}.u16(3).bytes, {}, 2, true},
        {"three announced, one there", PtpBytes{}.u32(3).u16(0x1001).bytes, {0x1001, 0}, 6, true},
        {"three announced, two and a half there", PtpBytes{}.u32(3).u16(1).u16(2).u8(3).bytes, {1, 2, 0}, 9, true},
        {"announced but none there", PtpBytes{}.u32(2).bytes, {0}, 4, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PtpReader r(c.data);
        EXPECT_EQ(readU16List(r), c.list);
        EXPECT_EQ(r.pos(), c.pos);
        EXPECT_EQ(r.failed(), c.failed);
    }
}

TEST(ReadU16List, AfterAFailureTheListStaysEmpty)
{
    const auto data = PtpBytes{}.list({0x1001, 0x1002}).bytes;
    PtpReader r(data);
    r.fail();
    EXPECT_TRUE(readU16List(r).empty());
    EXPECT_EQ(r.pos(), 4u);
}
