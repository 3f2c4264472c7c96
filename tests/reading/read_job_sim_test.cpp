#include "reading/read_job.h"

#include "message_receiver.h"
#include "sim/cameras/canon_eos_camera.h"
#include "sim_fixture.h"

#include <memory>

using ReadJobTest = SimTest;

TEST_F(ReadJobTest, NoCameraStillEndsWithExactlyOneReading)
{
    serve({});
    Receiver receiver;
    startRead(receiver.window());
    receiver.pumpUntilDone();
    const std::vector<std::wstring> expected{L"Portable devices found: 0", L"<done>"};
    EXPECT_EQ(receiver.events, expected);
    ASSERT_EQ(receiver.readings.size(), 1u);
    EXPECT_FALSE(receiver.readings[0].ok);
    EXPECT_EQ(receiver.readings[0].message,
              L"No Canon or Fujifilm camera found. Check that it's switched on, the cable carries data, and EOS "
              L"Utility is closed. Then click Read camera again.");
}

TEST_F(ReadJobTest, ACanonReadingArrivesAfterAllItsLines)
{
    auto camera = std::make_shared<sim::CanonEosCamera>();
    camera->addProperty(1, 0xD1AC, 31337);
    serve({{simDevice(L"cam", L"EOS 80D", L"Canon Inc.", camera)}, {}});
    Receiver receiver;
    startRead(receiver.window());
    receiver.pumpUntilDone();
    // Count line, device line, open, GetDeviceInfo, model, then the reader's seven.
    ASSERT_EQ(receiver.events.size(), 12u + 1u);
    EXPECT_EQ(receiver.events.front(), L"Portable devices found: 1");
    EXPECT_EQ(receiver.events[receiver.events.size() - 2], L"D167 ShutterReleaseCounter: not sent");
    EXPECT_EQ(receiver.events.back(), L"<done>");
    ASSERT_EQ(receiver.readings.size(), 1u);
    const Reading& r = receiver.readings[0];
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.count, 31337u);
    EXPECT_EQ(r.source, "Canon USB 0xD1AC");
    EXPECT_EQ(r.make, "Canon Inc.");
    EXPECT_EQ(r.model, "Canon EOS 80D");
    EXPECT_EQ(r.firmware, "3-1.0.3");
    EXPECT_EQ(r.serial, "0123456789abcdef0123456789abcdef");
}
