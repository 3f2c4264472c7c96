#include "reading/read_camera.h"

#include "sim/cameras/canon_eos_camera.h"
#include "sim/cameras/fujifilm_camera.h"
#include "sim/service/accounting.h"
#include "sim_fixture.h"

#include <memory>

namespace {

constexpr std::int32_t kAccessDenied = static_cast<std::int32_t>(0x80070005);
constexpr wchar_t kNoCamera[] = L"No Canon or Fujifilm camera found. Check that it's switched on, the cable carries "
                                L"data, and EOS Utility is closed. Then click Read camera again.";
constexpr wchar_t kCanonLine[] = L"  1. EOS 80D  [Canon Inc.]  Camera";
constexpr wchar_t kCanonModel[] = L"Model: Canon EOS 80D  firmware 3-1.0.3  ops 39  props 5";

sim::Fault fault(sim::Call call, std::int32_t result, unsigned nth = 0)
{
    sim::Fault f;
    f.call = call;
    f.result = result;
    f.nth = nth;
    return f;
}

sim::Fault getDeviceInfoFault(std::int32_t result)
{
    sim::Fault f = fault(sim::Call::SendCommand, result);
    f.command = 13;
    f.operation = 0x1001;
    return f;
}

class ReadCameraTest : public SimTest {
protected:
    unsigned pauses = 0;
    Reading read()
    {
        return readCamera(log, [this](unsigned) { ++pauses; });
    }

    static std::shared_ptr<sim::CanonEosCamera> canonWithCount(std::uint32_t count)
    {
        auto camera = std::make_shared<sim::CanonEosCamera>();
        camera->addProperty(1, 0xD1AC, count);
        return camera;
    }
    static std::shared_ptr<sim::FujifilmCamera> fujifilmWithCount(std::uint16_t count)
    {
        auto camera = std::make_shared<sim::FujifilmCamera>();
        camera->setShotCount(count);
        return camera;
    }

    static std::vector<std::wstring> opened()
    {
        std::vector<std::wstring> ids;
        for (const auto& r : sim::records(sim::Call::Open))
            ids.push_back(r.device);
        return ids;
    }
};

std::vector<std::wstring> join(std::initializer_list<std::vector<std::wstring>> parts)
{
    std::vector<std::wstring> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

}  // namespace

TEST_F(ReadCameraTest, OutcomesThatEndWithoutACount)
{
    struct Case {
        const char* name;
        std::vector<sim::Fault> faults;
        std::int32_t openReadWrite = 0;
        std::int32_t openReadOnly = 0;
        std::uint16_t getDeviceInfoResponse = 0;  // nonzero: the camera refuses GetDeviceInfo so
        std::wstring message;
        std::vector<std::wstring> lines;  // after the count line and the device line
        bool listed = true;               // the count and device lines are there
    };
    const std::wstring anotherProgram =
        L"Another program is using the camera. Close EOS Utility, Photos or any import window, then try again.";
    const std::wstring driver = L"Windows' camera driver on this PC won't pass camera commands through. Click Copy "
                                L"details and email it to support@tallybrook.app.";
    const std::wstring opened = L"Opened through Windows' camera driver";
    const Case cases[] = {
        {"manager cannot be created", {fault(sim::Call::CreateManager, kAccessDenied)}, 0, 0, 0,
         L"Windows' portable device service isn't available (access denied). This app needs Windows 10 or 11.",
         {L"PortableDeviceManager unavailable: access denied"}, false},
        {"open refused even read-only", {}, kAccessDenied, kAccessDenied, 0, anotherProgram,
         {L"Open with read/write access was denied, retrying read-only", L"Open failed: access denied"}},
        {"open busy", {}, static_cast<std::int32_t>(0x800700AA), 0, 0, anotherProgram,
         {L"Open failed: device busy"}},
        {"open fails otherwise", {}, static_cast<std::int32_t>(0x8007048F), 0, 0,
         L"Couldn't open the camera (device disconnected). Unplug it, plug it back in and try again.",
         {L"Open failed: device disconnected"}},
        {"GetDeviceInfo not implemented by the driver", {getDeviceInfoFault(E_NOTIMPL)}, 0, 0, 0, driver,
         {opened, L"GetDeviceInfo -> error 0x80004001"}},
        {"GetDeviceInfo not supported by the driver",
         {getDeviceInfoFault(static_cast<std::int32_t>(0x80070032))}, 0, 0, 0, driver,
         {opened, L"GetDeviceInfo -> error not supported by the driver"}},
        {"GetDeviceInfo fails otherwise", {getDeviceInfoFault(static_cast<std::int32_t>(0x8007001F))}, 0, 0, 0,
         L"The camera didn't answer (device stopped responding). Unplug it, plug it back in and try again.",
         {opened, L"GetDeviceInfo -> error device stopped responding"}},
        {"read-only connection that refuses the camera's commands", {}, kAccessDenied, 0, 0,
         L"The camera didn't answer (access denied). Unplug it, plug it back in and try again.",
         {L"Open with read/write access was denied, retrying read-only", opened,
          L"GetDeviceInfo -> error access denied"}},
        {"GetDeviceInfo data does not decode", {}, 0, 0, 0x2002,
         L"The camera didn't answer (0x00000000). Unplug it, plug it back in and try again.",
         {opened, L"GetDeviceInfo -> 0x2002, 0 bytes"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto camera = canonWithCount(1234);
        if (c.getDeviceInfoResponse)
            camera->rejectOperation(0x1001, c.getDeviceInfoResponse);
        auto device = simDevice(L"cam", L"EOS 80D", L"Canon Inc.", camera);
        device.openReadWrite = c.openReadWrite;
        device.openReadOnly = c.openReadOnly;
        serve({{device}, c.faults});
        const Reading r = read();
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.message, c.message);
        EXPECT_TRUE(r.make.empty() && r.model.empty() && r.firmware.empty() && r.serial.empty() &&
                    r.source.empty());
        EXPECT_EQ(r.count, 0u);
        EXPECT_EQ(lines, c.listed ? join({{L"Portable devices found: 1", kCanonLine}, c.lines}) : c.lines);
        // A session that was made is closed, opened or not.
        EXPECT_EQ(sim::records(sim::Call::Close).size(), sim::records(sim::Call::CreateDevice).size());
    }
}

TEST_F(ReadCameraTest, CanonRoad)
{
    serve({{simDevice(L"cam", L"EOS 80D", L"Canon Inc.", canonWithCount(23456))}, {}});
    // The identifiers are freed right after the open, before the camera is asked anything.
    const std::uint64_t mark = sim::allocationMark();
    std::size_t identifiersDuringRead = 0;
    const Reading r = readCamera(log, [&](unsigned) {
        ++pauses;
        for (const auto& block : sim::liveBlocksSince(mark))
            identifiersDuringRead += block.what == "GetDevices";
    });
    EXPECT_EQ(identifiersDuringRead, 0u);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.count, 23456u);
    EXPECT_EQ(r.source, "Canon USB 0xD1AC");
    EXPECT_TRUE(r.message.empty());
    EXPECT_EQ(r.make, "Canon Inc.");
    EXPECT_EQ(r.model, "Canon EOS 80D");
    EXPECT_EQ(r.firmware, "3-1.0.3");
    EXPECT_EQ(r.serial, "0123456789abcdef0123456789abcdef");
    ASSERT_EQ(lines.size(), 5u + 7u);
    const auto getDeviceInfo = commands(13).front();
    EXPECT_EQ(getDeviceInfo.operation, 0x1001);
    EXPECT_EQ(getDeviceInfo.params, std::vector<std::uint32_t>{});
    const std::wstring infoLine = L"GetDeviceInfo -> 0x2001, " + std::to_wstring(*getDeviceInfo.totalSize) + L" bytes";
    const std::vector<std::wstring> head{L"Portable devices found: 1", kCanonLine,
                                         L"Opened through Windows' camera driver", infoLine, kCanonModel,
                                         L"SetRemoteMode(1) -> 0x2001"};
    EXPECT_EQ(std::vector<std::wstring>(lines.begin(), lines.begin() + 6), head);
    EXPECT_EQ(lines.back(), L"D167 ShutterReleaseCounter: not sent");
    EXPECT_EQ(pauses, 1u);
    EXPECT_EQ(sim::records(sim::Call::Close).size(), 1u);
}

TEST_F(ReadCameraTest, ReaderFailureKeepsTheDatasetTexts)
{
    // An X-H1 (real dataset) does not list 0xD310.
    auto camera = std::make_shared<sim::FujifilmCamera>();
    sim::DeviceInfoFields fields = sim::FujifilmCamera::defaultDeviceInfo();
    fields.devicePropertiesSupported = {0x5001, 0x5003};
    fields.model = u"X-H1\u00e9";
    camera->setDeviceInfo(fields);
    serve({{simDevice(L"fuji", L"X-H1", L"FUJIFILM", camera)}, {}});
    const Reading r = read();
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message,
              L"This Fujifilm body doesn't report a shot count over USB. Try a photo on tallybrook.app instead.");
    EXPECT_EQ(r.make, "FUJIFILM");
    EXPECT_EQ(r.model, "X-H1?");
    EXPECT_FALSE(r.firmware.empty());
    EXPECT_FALSE(r.serial.empty());
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[4].rfind(L"Model: X-H1?  firmware ", 0), 0u) << lines[4];
    EXPECT_EQ(lines[4].substr(lines[4].size() - 9), L"  props 2");
    EXPECT_EQ(lines[5], L"Fujifilm TotalShotCount (D310) not listed");
}

TEST_F(ReadCameraTest, Discovery)
{
    struct Case {
        const char* name;
        std::vector<sim::DeviceSpec> devices;
        std::wstring openedId;  // empty: nothing opened
        std::string source;     // of the reading
        std::wstring message;
        std::vector<std::wstring> deviceLines;
    };
    const Case cases[] = {
        {"no device", {}, L"", "", kNoCamera, {}},
        {"Fujifilm listed before Canon",
         {simDevice(L"fuji", L"X-T3", L"FUJIFILM", fujifilmWithCount(300)),
          simDevice(L"canon", L"EOS 80D", L"Canon Inc.", canonWithCount(5))},
         L"fuji",
         "Fujifilm USB 0xD310",
         L"",
         {L"  1. X-T3  [FUJIFILM]  Camera", L"  2. EOS 80D  [Canon Inc.]  Camera"}},
        {"Fujifilm in the friendly name, no manufacturer",
         {simDevice(L"fuji", L"Fujifilm X-T3", L"", fujifilmWithCount(300))},
         L"fuji",
         "Fujifilm USB 0xD310",
         L"",
         {L"  1. Fujifilm X-T3  []  Camera"}},
        {"Fuji alone in the friendly name", {simDevice(L"fuji", L"Fuji X-T3", L"Generic")}, L"", "", kNoCamera,
         {L"  1. Fuji X-T3  [Generic]  Camera"}},
        {"fuji manufacturer and canon friendly name go to Canon",
         {simDevice(L"odd", L"Canon EOS", L"Fuji Photo", canonWithCount(5))},
         L"odd",
         "Canon USB 0xD1AC",
         L"",
         {L"  1. Canon EOS  [Fuji Photo]  Camera"}},
        {"first other brand, whole manufacturer text",
         {simDevice(L"phone", L"Pixel", L"Google"), simDevice(L"nikon", L"D850", L"Nikon Corporation"),
          simDevice(L"sony", L"A7", L"Sony")},
         L"",
         "",
         L"Found a Nikon Corporation camera. That brand records the count in its photos, so drop a photo on "
         L"tallybrook.app instead.",
         {L"  1. Pixel  [Google]  Camera", L"  2. D850  [Nikon Corporation]  Camera", L"  3. A7  [Sony]  Camera"}},
        {"text ends at an early zero",
         {simDevice(L"cam", std::wstring(L"EOS\0junk", 8), std::wstring(L"Canon\0Inc", 9), canonWithCount(5))},
         L"cam",
         "Canon USB 0xD1AC",
         L"",
         {L"  1. EOS  [Canon]  Camera"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        serve({c.devices, {}});
        const Reading r = read();
        EXPECT_EQ(r.source, c.source);
        EXPECT_EQ(r.ok, !c.source.empty());
        EXPECT_EQ(r.message, c.message);
        ASSERT_GE(lines.size(), 1 + c.deviceLines.size());
        EXPECT_EQ(lines[0], L"Portable devices found: " + std::to_wstring(c.devices.size()));
        EXPECT_EQ(std::vector<std::wstring>(lines.begin() + 1, lines.begin() + 1 + c.deviceLines.size()),
                  c.deviceLines);
        EXPECT_EQ(opened(), c.openedId.empty() ? std::vector<std::wstring>{}
                                               : std::vector<std::wstring>{c.openedId});
        // Every device's three texts were read, and only the chosen one was sent anything.
        EXPECT_EQ(sim::records(sim::Call::GetDeviceManufacturer).size(), 2 * c.devices.size());
        for (const auto& sent : sim::records(sim::Call::SendCommand))
            EXPECT_EQ(sent.device, c.openedId);
    }
}

TEST_F(ReadCameraTest, ServiceFailuresWhileListing)
{
    struct Case {
        const char* name;
        sim::Fault fault;
        std::vector<std::wstring> lines;
        std::wstring message;
    };
    sim::Fault firstCount = fault(sim::Call::GetDevices, E_FAIL, 1);
    sim::Fault secondList = fault(sim::Call::GetDevices, E_FAIL, 2);
    sim::Fault refresh = fault(sim::Call::RefreshDeviceList, E_FAIL);
    sim::Fault friendlyName = fault(sim::Call::GetDeviceFriendlyName, E_FAIL, 2);  // the buffered call
    sim::Fault manufacturerLength = fault(sim::Call::GetDeviceManufacturer, S_OK, 1);
    manufacturerLength.count = 0;
    const Case cases[] = {
        {"first GetDevices fails", firstCount, {L"Portable devices found: 0"}, kNoCamera},
        {"second GetDevices fails", secondList, {L"Portable devices found: 0"}, kNoCamera},
        {"refresh fails, ignored", refresh, {L"Portable devices found: 1", L"  1. D850  [Nikon]  Camera"},
         L"Found a Nikon camera. That brand records the count in its photos, so drop a photo on tallybrook.app "
         L"instead."},
        {"friendly name unreadable", friendlyName, {L"Portable devices found: 1", L"  1.   [Nikon]  Camera"},
         L"Found a Nikon camera. That brand records the count in its photos, so drop a photo on tallybrook.app "
         L"instead."},
        {"manufacturer length 0", manufacturerLength, {L"Portable devices found: 1", L"  1. D850  []  Camera"},
         kNoCamera},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        serve({{simDevice(L"nikon", L"D850", L"Nikon")}, {c.fault}});
        const Reading r = read();
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.message, c.message);
        EXPECT_EQ(lines, c.lines);
    }
}
