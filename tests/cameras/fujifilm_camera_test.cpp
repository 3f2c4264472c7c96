#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "decoders.h"
#include "fujifilm_camera.h"

using namespace cameras_test;
using sim::FujifilmCamera;
using sim::PtpReply;
using Bytes = std::vector<std::uint8_t>;

namespace {

PtpReply getShotCount(FujifilmCamera& camera)
{
    return camera.execute(0x1015, {0xD310}, true);
}

}  // namespace

TEST(FujifilmCamera, DeviceInfoListsTheShotCountProperty)
{
    FujifilmCamera camera;
    const PtpReply reply = camera.execute(0x1001, {}, true);
    EXPECT_EQ(reply.responseCode, 0x2001);
    const auto info = decodeDeviceInfo(reply.data);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->manufacturer, u"FUJIFILM");
    EXPECT_EQ(info->model, u"X-T3");
    EXPECT_EQ(info->vendorExtensionDesc, u"fujifilm.co.jp: 1.0; ");
    EXPECT_NE(std::find(info->properties.begin(), info->properties.end(), 0xD310), info->properties.end());
}

TEST(FujifilmCamera, ShotCountSitsInTheUpperHalf)
{
    struct Case {
        std::uint16_t count;
        Bytes expected;
    };
    const Case cases[] = {
        {13531, {0x00, 0x00, 0xDB, 0x34}},  // what an X-T3 sent
        {300, {0x00, 0x00, 0x2C, 0x01}},
        {0, {0x00, 0x00, 0x00, 0x00}},
        {65535, {0x00, 0x00, 0xFF, 0xFF}},
    };
    for (const auto& c : cases) {
        FujifilmCamera camera;
        camera.setShotCount(c.count);
        EXPECT_EQ(getShotCount(camera), (PtpReply{0x2001, c.expected})) << c.count;
    }
}

TEST(FujifilmCamera, ShotCountReplyIsWhateverWasSet)
{
    FujifilmCamera camera;
    // Until told otherwise it answers as a body outside tether mode.
    EXPECT_EQ(getShotCount(camera), (PtpReply{0x200A, {}}));

    const Bytes cases[] = {{}, {0x2C}, {0x01, 0x00, 0x2C}, {0x01, 0x00, 0x2C, 0x01, 0xFF, 0xFF, 0xFF, 0xFF}};
    for (const auto& data : cases) {
        camera.setShotCountReply(0x2001, data);
        EXPECT_EQ(getShotCount(camera), (PtpReply{0x2001, data}));
    }
    camera.setShotCountReply(0x2019, {0x00, 0x00, 0x2C, 0x01});
    EXPECT_EQ(getShotCount(camera), (PtpReply{0x2019, {0x00, 0x00, 0x2C, 0x01}}));
}

TEST(FujifilmCamera, OtherPropertiesAndOperations)
{
    FujifilmCamera camera;
    camera.setShotCount(300);
    EXPECT_EQ(camera.execute(0x1015, {0x5001}, true), (PtpReply{0x200A, {}}));
    EXPECT_EQ(camera.execute(0x1015, {0xD1AC}, true), (PtpReply{0x200A, {}}));
    EXPECT_EQ(camera.execute(0x1015, {}, true), (PtpReply{0x201D, {}}));
    for (std::uint16_t op : {0x9114, 0x9115, 0x9116, 0x9127, 0x1016})
        EXPECT_EQ(camera.execute(op, {1}, false), (PtpReply{0x2005, {}})) << op;

    const std::vector<sim::ReceivedOperation> firstThree = {
        {0x1015, {0x5001}, true}, {0x1015, {0xD1AC}, true}, {0x1015, {}, true}};
    const auto received = camera.received();
    ASSERT_EQ(received.size(), 8u);
    EXPECT_TRUE(std::equal(firstThree.begin(), firstThree.end(), received.begin()));
}

TEST(FujifilmCamera, RealXH1DatasetIsSentAsItIs)
{
    const Bytes xh1 = capture("di_fuji_xh1.hex");
    FujifilmCamera camera;
    camera.setDeviceInfoBytes(xh1);
    EXPECT_EQ(camera.execute(0x1001, {}, true), (PtpReply{0x2001, xh1}));
}

TEST(FujifilmCamera, RejectionWinsOverTheShotCount)
{
    FujifilmCamera camera;
    camera.setShotCount(300);
    camera.rejectOperation(0x1015, 0x2019, 1);
    EXPECT_EQ(getShotCount(camera), (PtpReply{0x2019, {}}));
    EXPECT_EQ(getShotCount(camera), (PtpReply{0x2001, {0x00, 0x00, 0x2C, 0x01}}));
}

TEST(ListedOnlyDevice, RefusesEverythingAndRecordsIt)
{
    sim::ListedOnlyDevice device;
    for (std::uint16_t op : {0x1001, 0x1002, 0x9116, 0x1015})
        EXPECT_EQ(device.execute(op, {7}, true), (PtpReply{0x2005, {}})) << op;
    ASSERT_EQ(device.received().size(), 4u);
    EXPECT_EQ(device.received()[2], (sim::ReceivedOperation{0x9116, {7}, true}));
}
