// The scenario file read by the server DLL.
#include <gtest/gtest.h>

#include "scenario_file.h"
#include "sim_client.h"

TEST(ScenarioFile, ReadsDevicesTextsOpenAnswersCamerasAndFaults)
{
    const char* text = R"(# a Canon that wants read-only access, a Nikon, a padded name
device \\?\usb#vid_04a9&pid_3218#1
  name Canon EOS 80D
  manufacturer Canon Inc.
  description Caf\u00e9 caméra
  open 0x80070005
  open-read-only 0
  camera canon d1ac=12345

device usb#2
  name D750\0garbage
  manufacturer Nikon Corporation

fault send-command command=15 op=0x9116 nth=2 driver=0x8007001F
fault create-values nth=3 result=0x8007000E
fault send-command command=13 total=40000000 omit=common-hresult,transfer-context device=usb#2
fault friendly-name count=0 response=0x2019 served=0 bytes-read=9
read-only-commands allowed
total-size unknown
)";
    std::vector<std::string> cameraLines;
    sim::CameraMaker maker = [&](std::string_view line, std::string*) {
        cameraLines.emplace_back(line);
        return std::make_shared<simtest::ScriptedCamera>();
    };
    std::string error;
    auto s = sim::parseScenario(text, maker, &error);
    ASSERT_TRUE(s) << error;
    ASSERT_EQ(s->devices.size(), 2u);
    const auto& canon = s->devices[0];
    EXPECT_EQ(canon.id, L"\\\\?\\usb#vid_04a9&pid_3218#1");
    EXPECT_EQ(canon.friendlyName, L"Canon EOS 80D");
    EXPECT_EQ(canon.manufacturer, L"Canon Inc.");
    EXPECT_EQ(canon.description, L"Caf\u00e9 cam\u00e9ra");
    EXPECT_EQ(canon.openReadWrite, static_cast<std::int32_t>(0x80070005));
    EXPECT_EQ(canon.openReadOnly, 0);
    EXPECT_EQ(canon.camera, "canon d1ac=12345");
    EXPECT_TRUE(canon.responder);
    EXPECT_EQ(cameraLines, std::vector<std::string>{"canon d1ac=12345"});
    EXPECT_EQ(s->devices[1].friendlyName, std::wstring(L"D750\0garbage", 12));
    EXPECT_FALSE(s->devices[1].responder);

    ASSERT_EQ(s->faults.size(), 4u);
    const auto& f0 = s->faults[0];
    EXPECT_EQ(f0.call, sim::Call::SendCommand);
    EXPECT_EQ(f0.command, 15u);
    EXPECT_EQ(f0.operation, 0x9116);
    EXPECT_EQ(f0.nth, 2u);
    EXPECT_EQ(f0.driverResult, static_cast<std::int32_t>(0x8007001F));
    EXPECT_EQ(s->faults[1].call, sim::Call::CreateValues);
    EXPECT_EQ(s->faults[1].result, static_cast<std::int32_t>(0x8007000E));
    EXPECT_EQ(s->faults[2].totalSize, 40000000u);
    EXPECT_EQ(s->faults[2].omit, sim::omitCommonHresult | sim::omitTransferContext);
    EXPECT_EQ(s->faults[2].device, L"usb#2");
    const auto& f3 = s->faults[3];
    EXPECT_EQ(f3.call, sim::Call::GetDeviceFriendlyName);
    EXPECT_EQ(f3.count, 0u);
    EXPECT_EQ(f3.responseCode, 0x2019);
    EXPECT_EQ(f3.served, 0u);
    EXPECT_EQ(f3.bytesRead, 9u);
    EXPECT_TRUE(s->rules.readOnlyCommands);
    EXPECT_FALSE(s->rules.responseParamsNever);
    EXPECT_TRUE(s->rules.unknownTotalSize);

    // The rules' defaults are the strict answers, and each can be written either way.
    auto strict = sim::parseScenario("read-only-commands refused\nresponse-params never\ntotal-size known\n", maker,
                                     &error);
    ASSERT_TRUE(strict) << error;
    EXPECT_FALSE(strict->rules.readOnlyCommands);
    EXPECT_TRUE(strict->rules.responseParamsNever);
    EXPECT_FALSE(strict->rules.unknownTotalSize);
    EXPECT_FALSE(sim::Scenario{}.rules.readOnlyCommands || sim::Scenario{}.rules.responseParamsNever ||
                 sim::Scenario{}.rules.unknownTotalSize);

    // Without a camera maker the line is kept and no camera is made.
    auto plain = sim::parseScenario(text, nullptr, &error);
    ASSERT_TRUE(plain) << error;
    EXPECT_EQ(plain->devices[0].camera, "canon d1ac=12345");
    EXPECT_FALSE(plain->devices[0].responder);
}

TEST(ScenarioFile, SaysWhichLineIsWrong)
{
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"name Canon", "line 1: \"name\" before the first device line"},
        {"device\n", "line 1: a device needs an id"},
        {"device a\n  open busy", "line 2: bad result code \"busy\""},
        {"device a\n\n  colour red", "line 3: unknown keyword \"colour\""},
        {"fault explode", "line 1: unknown call \"explode\""},
        {"fault open nth=x", "line 1: bad value for nth: \"x\""},
        {"fault open 5", "line 1: expected key=value, got \"5\""},
        {"fault open colour=1", "line 1: unknown fault key \"colour\""},
        {"fault send-command omit=everything", "line 1: bad value for omit: \"everything\""},
        {"fault send-command op=0x10000", "line 1: bad value for op: \"0x10000\""},
        {"device a\nname bad\\q", "line 2: bad text"},
        {"device a\nname \xff", "line 2: bad text"},
        {"device a\ncamera nikon", "line 2: camera: no such camera"},
        {"total-size huge", "line 1: total-size is known or unknown"},
    };
    sim::CameraMaker refuse = [](std::string_view, std::string* why) {
        *why = "no such camera";
        return std::shared_ptr<sim::PtpResponder>();
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(sim::parseScenario(c.text, refuse, &error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
    std::string error;
    auto empty = sim::parseScenario("# nothing\n\n", refuse, &error);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->devices.empty() && empty->faults.empty());
}

TEST(ScenarioFile, RecordsDescribeThemselvesOnOneLine)
{
    sim::Record r;
    r.call = sim::Call::SendCommand;
    r.device = L"usb#1";
    r.vendorCategory = true;
    r.command = 15;
    r.operation = 0x9116;
    r.params = std::vector<std::uint32_t>{};
    r.bytesToRead = 262144;
    r.requestBuffer = 262144;
    r.context = L"ctx-1";
    r.driverResult = static_cast<std::int32_t>(0x8007001F);
    r.bytesServed = 0;
    EXPECT_EQ(sim::describe(r), "send-command dev=usb#1 cmd=15 op=0x9116 params=[] to-read=262144 "
                                "request-buffer=262144 context=ctx-1 -> 0x00000000 driver=0x8007001F served=0");
    sim::Record open;
    open.call = sim::Call::Open;
    open.device = L"usb#1";
    open.client = sim::ClientInfo{};
    open.client->desiredAccess = 0x80000000u;
    open.result = static_cast<std::int32_t>(0x80070005);
    EXPECT_EQ(sim::describe(open), "open dev=usb#1 access=0x80000000 -> 0x80070005");
}
