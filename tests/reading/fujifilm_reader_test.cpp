#include "vendors/fujifilm_reader.h"

#include "sim/cameras/fujifilm_camera.h"
#include "sim_fixture.h"

#include <memory>

namespace {

constexpr wchar_t kNoShotCount[] = L"The camera connected but didn't send a shot count.";

class FujifilmTest : public SimTest {
protected:
    std::shared_ptr<sim::FujifilmCamera> camera = std::make_shared<sim::FujifilmCamera>();

    Reading read(std::vector<sim::Fault> faults = {}, std::vector<std::uint16_t> properties = {0x5001, 0xD310})
    {
        serve({{simDevice(L"cam", L"X-T3", L"FUJIFILM", camera)}, std::move(faults)});
        CameraSession session(log);
        EXPECT_EQ(session.open(L"cam"), S_OK);
        DeviceInfo info;
        info.ok = true;
        info.devicePropertiesSupported = std::move(properties);
        return readFujifilmCount(session, info, log);
    }
};

}  // namespace

TEST_F(FujifilmTest, NotListedSendsNothing)
{
    const Reading r = read({}, {0x5001, 0xD303});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message,
              L"This Fujifilm body doesn't report a shot count over USB. Try a photo on tallybrook.app instead.");
    EXPECT_EQ(lines, std::vector<std::wstring>{L"Fujifilm TotalShotCount (D310) not listed"});
    EXPECT_TRUE(sim::records(sim::Call::SendCommand).empty());
}

TEST_F(FujifilmTest, Answers)
{
    struct Case {
        const char* name;
        std::uint16_t response;
        std::vector<std::uint8_t> data;
        bool ok;
        std::uint32_t count;
        std::wstring line;
    };
    const Case cases[] = {
        {"upper half", 0x2001, {0x00, 0x00, 0x2C, 0x01}, true, 300, L"GetDevicePropValue(D310) -> 0x2001, 4 bytes"},
        {"lower half ignored", 0x2001, {0x01, 0x00, 0x2C, 0x01}, true, 300,
         L"GetDevicePropValue(D310) -> 0x2001, 4 bytes"},
        {"upper half 0", 0x2001, {0x2C, 0x01, 0x00, 0x00}, false, 0, L"GetDevicePropValue(D310) -> 0x2001, 4 bytes"},
        {"2 bytes", 0x2001, {0x00, 0x00}, false, 0, L"GetDevicePropValue(D310) -> 0x2001, 2 bytes"},
        {"3 bytes", 0x2001, {0x00, 0x00, 0x2C}, false, 0, L"GetDevicePropValue(D310) -> 0x2001, 3 bytes"},
        {"8 bytes, only 4 used", 0x2001, {0x00, 0x00, 0x2C, 0x01, 0xFF, 0xFF, 0xFF, 0xFF}, true, 300,
         L"GetDevicePropValue(D310) -> 0x2001, 8 bytes"},
        {"not OK", 0x200A, {0x00, 0x00, 0x2C, 0x01}, false, 0, L"GetDevicePropValue(D310) -> 0x200A, 4 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        camera = std::make_shared<sim::FujifilmCamera>();
        camera->setShotCountReply(c.response, c.data);
        const Reading r = read();
        EXPECT_EQ(r.ok, c.ok);
        EXPECT_EQ(r.count, c.count);
        EXPECT_EQ(r.source, c.ok ? "Fujifilm USB 0xD310" : "");
        EXPECT_EQ(r.message, c.ok ? L"" : kNoShotCount);
        EXPECT_EQ(lines, std::vector<std::wstring>{c.line});
        const std::vector<sim::ReceivedOperation> sent{{0x1015, {0xD310}, true}};
        EXPECT_EQ(camera->received(), sent);
    }
}

TEST_F(FujifilmTest, FailedExchangeLogsNoErrorText)
{
    camera->setShotCount(300);
    sim::Fault fault;
    fault.call = sim::Call::SendCommand;
    fault.command = 15;
    fault.result = static_cast<std::int32_t>(0x8007048F);
    const Reading r = read({fault});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, kNoShotCount);
    // The end-transfer command still brought the camera's response code.
    EXPECT_EQ(lines, std::vector<std::wstring>{L"GetDevicePropValue(D310) -> 0x2001, 0 bytes"});
}
