#include "vendors/canon_reader.h"

#include "sim/cameras/canon_eos_camera.h"
#include "sim/cameras/capture_file.h"
#include "sim/cameras/eos_events.h"
#include "sim_fixture.h"

#include <algorithm>
#include <memory>

namespace {

constexpr wchar_t kNoCounter[] = L"The camera connected but didn't send its shutter counter. Click Copy details and "
                                 L"email it to support@tallybrook.app.";

std::vector<std::uint8_t> capture(const char* name)
{
    auto bytes = sim::loadCapture(sim::defaultCapturesDir() / name);
    EXPECT_TRUE(bytes.has_value()) << name;
    return bytes.value_or(std::vector<std::uint8_t>{});
}

class CanonTest : public SimTest {
protected:
    // A Canon body whose batches the test fills in before read().
    std::shared_ptr<sim::CanonEosCamera> camera = std::make_shared<sim::CanonEosCamera>();
    unsigned pauses = 0;

    Reading read(std::vector<sim::Fault> faults = {}, std::vector<std::uint16_t> operations = {0x1001, 0x9116})
    {
        serve({{simDevice(L"cam", L"EOS 80D", L"Canon Inc.", camera)}, std::move(faults)});
        CameraSession session(log);
        EXPECT_EQ(session.open(L"cam"), S_OK);
        DeviceInfo info;
        info.ok = true;
        info.operationsSupported = std::move(operations);
        return readCanonCount(session, info, log, [this](unsigned ms) {
            EXPECT_EQ(ms, 250u);
            ++pauses;
        });
    }

    long getEvents() const
    {
        const auto codes = camera->receivedCodes();
        return std::count(codes.begin(), codes.end(), std::uint16_t{0x9116});
    }
};

}  // namespace

TEST_F(CanonTest, WithoutTheEventChannelNothingIsSent)
{
    const Reading r = read({}, {0x1001, 0x9114, 0x9115, 0x9127});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message,
              L"This Canon doesn't offer the EOS event channel, so it can't report a shutter count over USB.");
    EXPECT_EQ(lines, std::vector<std::wstring>{L"EOS event channel (0x9116): not listed"});
    EXPECT_TRUE(sim::records(sim::Call::SendCommand).empty());
}

TEST_F(CanonTest, CleanReadLeavesSevenLinesAndTheCameraAsItWas)
{
    camera->setBatch(1, sim::EosEventBuilder().property(0xD1AC, 12345).property(0xD101, 5).end().bytes());
    camera->setBatch(2, sim::eosEmptyBatch());
    const Reading r = read();
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.count, 12345u);
    EXPECT_EQ(r.source, "Canon USB 0xD1AC");
    EXPECT_TRUE(r.message.empty());
    EXPECT_TRUE(r.make.empty() && r.model.empty() && r.firmware.empty() && r.serial.empty());
    const std::vector<std::wstring> expected{
        L"SetRemoteMode(1) -> 0x2001",
        L"SetEventMode(1) -> 0x2001",
        L"RequestDevicePropValue(D1AC) -> 0x2001",
        L"GetEvent #1: 40 bytes, 2 property values",
        L"GetEvent #2: 8 bytes, 0 property values",
        L"D1AC ShutterCounter: 12345",
        L"D167 ShutterReleaseCounter: not sent",
    };
    EXPECT_EQ(lines, expected);
    const std::vector<sim::ReceivedOperation> sent{
        {0x9114, {1}, false}, {0x9115, {1}, false}, {0x9127, {0xD1AC}, false}, {0x9116, {}, true},
        {0x9116, {}, true},   {0x9115, {0}, false}, {0x9114, {0}, false},
    };
    EXPECT_EQ(camera->received(), sent);
    EXPECT_FALSE(camera->remoteMode());
    EXPECT_FALSE(camera->eventMode());
    EXPECT_EQ(pauses, 1u);
}

TEST_F(CanonTest, PollingStopsOneBatchAfterTheCounter)
{
    struct Case {
        const char* name;
        unsigned counterBatch;  // 0: never
        long polls;
        unsigned pauses;
        bool ok;
    };
    const Case cases[] = {
        {"counter after poll 1", 1, 2, 1, true},
        {"counter after poll 3", 3, 3, 2, true},
        {"counter never sent", 0, 6, 6, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        camera = std::make_shared<sim::CanonEosCamera>();
        pauses = 0;
        if (c.counterBatch)
            camera->addProperty(c.counterBatch, 0xD1AC, 777);
        const Reading r = read();
        EXPECT_EQ(getEvents(), c.polls);
        EXPECT_EQ(pauses, c.pauses);
        EXPECT_EQ(r.ok, c.ok);
        EXPECT_EQ(r.count, c.ok ? 777u : 0u);
        EXPECT_EQ(r.message, c.ok ? L"" : kNoCounter);
    }
}

TEST_F(CanonTest, Decision)
{
    struct Case {
        const char* name;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> properties;  // batch 1
        bool ok;
        std::uint32_t count;
        std::string source;
        std::wstring d1acLine;
        std::wstring d167Line;
    };
    const Case cases[] = {
        {"D1AC 0 falls back to D167", {{0xD1AC, 0}, {0xD167, 512}}, true, 512, "Canon USB 0xD167",
         L"D1AC ShutterCounter: 0", L"D167 ShutterReleaseCounter: 512"},
        {"D1AC wins over D167", {{0xD167, 512}, {0xD1AC, 900}}, true, 900, "Canon USB 0xD1AC",
         L"D1AC ShutterCounter: 900", L"D167 ShutterReleaseCounter: 512"},
        {"values of 2^31 and more stay unsigned", {{0xD1AC, 0x80000000u}, {0xD167, 0xFFFFFFFFu}}, true,
         0x80000000u, "Canon USB 0xD1AC", L"D1AC ShutterCounter: 2147483648",
         L"D167 ShutterReleaseCounter: 4294967295"},
        {"both 0", {{0xD1AC, 0}, {0xD167, 0}}, false, 0, "", L"D1AC ShutterCounter: 0",
         L"D167 ShutterReleaseCounter: 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        camera = std::make_shared<sim::CanonEosCamera>();
        for (const auto& [code, value] : c.properties)
            camera->addProperty(1, code, value);
        const Reading r = read();
        EXPECT_EQ(r.ok, c.ok);
        EXPECT_EQ(r.count, c.count);
        EXPECT_EQ(r.source, c.source);
        EXPECT_EQ(r.message, c.ok ? L"" : kNoCounter);
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[lines.size() - 2], c.d1acLine);
        EXPECT_EQ(lines.back(), c.d167Line);
    }
}

TEST_F(CanonTest, RealCaptures)
{
    struct Case {
        const char* file;
        bool ok;
        std::uint32_t count;
        std::wstring firstPoll;
        std::wstring d1acLine;
        std::wstring d167Line;
        long polls;
    };
    const Case cases[] = {
        {"ev_canon_eos5dmk3_initial.hex", true, 52754, L"GetEvent #1: 11116 bytes, 104 property values",
         L"D1AC ShutterCounter: 52754", L"D167 ShutterReleaseCounter: not sent", 2},
        {"ev_canon_eos1300d_vcam_with_trailing.hex", true, 39337, L"GetEvent #1: 5941 bytes, 84 property values",
         L"D1AC ShutterCounter: 39337", L"D167 ShutterReleaseCounter: not sent", 2},
        // The M50's 0xD167 is a 16-byte structure whose first word (16) is no shutter count.
        {"ev_canon_eosm50_initial.hex", false, 0, L"GetEvent #1: 9330 bytes, 125 property values",
         L"D1AC ShutterCounter: not sent", L"D167 ShutterReleaseCounter: not a count (16-byte value)", 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        camera = std::make_shared<sim::CanonEosCamera>();
        camera->setBatch(1, capture(c.file));
        const Reading r = read();
        EXPECT_EQ(r.ok, c.ok);
        EXPECT_EQ(r.count, c.count);
        EXPECT_EQ(r.message, c.ok ? L"" : kNoCounter);
        ASSERT_GE(lines.size(), 6u);
        EXPECT_EQ(lines[3], c.firstPoll);
        EXPECT_EQ(lines[lines.size() - 2], c.d1acLine);
        EXPECT_EQ(lines.back(), c.d167Line);
        EXPECT_EQ(getEvents(), c.polls);
    }
}

TEST_F(CanonTest, CounterCodeWithAStructureIsNoCounter)
{
    const std::uint8_t structure[] = {0x10, 0, 0, 0, 1, 0, 0, 0, 0xe8, 3, 0, 0, 0xe8, 3, 0, 0};
    camera->addRecord(1, sim::EosEventBuilder().propertyBytes(0xD1AC, structure).bytes());
    camera->addProperty(1, 0xD167, 4321);
    const Reading r = read();
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.count, 4321u);
    EXPECT_EQ(r.source, "Canon USB 0xD167");
    EXPECT_EQ(lines[lines.size() - 2], L"D1AC ShutterCounter: not a count (16-byte value)");
    // It does not end the wait as a real counter would.
    EXPECT_EQ(getEvents(), 6);
}

TEST_F(CanonTest, FailedGetEventEndsPollingButNotTheCleanUp)
{
    sim::Fault fault;
    fault.call = sim::Call::SendCommand;
    fault.command = 13;
    fault.operation = 0x9116;
    fault.nth = 1;
    fault.result = static_cast<std::int32_t>(0x8007048F);
    camera->addProperty(1, 0xD1AC, 5);
    const Reading r = read({fault});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, kNoCounter);
    const std::vector<std::wstring> expected{
        L"SetRemoteMode(1) -> 0x2001",
        L"SetEventMode(1) -> 0x2001",
        L"RequestDevicePropValue(D1AC) -> 0x2001",
        L"GetEvent failed: device disconnected",
        L"D1AC ShutterCounter: not sent",
        L"D167 ShutterReleaseCounter: not sent",
    };
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(pauses, 0u);
    EXPECT_FALSE(camera->remoteMode());
    EXPECT_FALSE(camera->eventMode());
}

TEST_F(CanonTest, FailedSetUpIsLoggedAndTheReadGoesOn)
{
    sim::Fault fault;
    fault.call = sim::Call::SendCommand;
    fault.command = 12;
    fault.operation = 0x9114;
    fault.nth = 1;
    fault.result = static_cast<std::int32_t>(0x8007001F);
    camera->rejectOperation(0x9127, 0x2019, 1);
    camera->addProperty(1, 0xD1AC, 5);
    const Reading r = read({fault});
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.count, 5u);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], L"SetRemoteMode(1) -> 0x0000 error device stopped responding");
    EXPECT_EQ(lines[1], L"SetEventMode(1) -> 0x2001");
    EXPECT_EQ(lines[2], L"RequestDevicePropValue(D1AC) -> 0x2019");
}
