// Real camera data phases go through the transfer commands byte for byte, whatever the
// chunk size.
#include <gtest/gtest.h>

#include "scenario_file.h"
#include "sim/cameras/camera_factory.h"
#include "sim_client.h"

using namespace simtest;

TEST(SimCaptures, RealDataPhasesArriveByteForByte)
{
    struct Case {
        const char* file;
        std::uint16_t op;
        std::size_t size;
    };
    const Case cases[] = {
        {"di_canon_eos60d.hex", 0x1001, 391},
        {"di_fuji_xh1.hex", 0x1001, 593},
        {"ev_canon_eos5dmk3_initial.hex", 0x9116, 11116},
        {"ev_canon_eosm50_initial.hex", 0x9116, 9330},
        {"ev_canon_eos1300d_vcam_with_trailing.hex", 0x9116, 5941},
        {"ev_canon_eos60d_empty.hex", 0x9116, 8},
    };
    Mta mta;
    for (const auto& c : cases) {
        const auto bytes = loadHex(c.file);
        ASSERT_EQ(bytes.size(), c.size) << c.file;
        for (DWORD chunk : {DWORD{1000}, DWORD{7}, DWORD{0x40000}}) {
            auto camera = std::make_shared<ScriptedCamera>();
            camera->replies[c.op] = {0x2001, bytes};
            sim::Scenario s;
            s.devices.push_back(device(L"canon", camera));
            sim::Registration registration(s);
            auto device = openDevice(L"canon");
            ASSERT_TRUE(device);
            auto t = readOperation(device.Get(), c.op, {}, chunk);
            EXPECT_EQ(t.total, c.size) << c.file;
            EXPECT_TRUE(t.data == bytes) << c.file << " in chunks of " << chunk;
            EXPECT_EQ(t.chunks.size(), (c.size + chunk - 1) / chunk) << c.file;
            EXPECT_EQ(t.responseCode, 0x2001u);
            device.Reset();
            EXPECT_EQ(sim::outstanding(), "") << c.file;
        }
    }
}

TEST(SimCaptures, ASimulatedCanonFromAScenarioFileHandsOutTheCaptures)
{
    // The path the server DLL takes: a scenario file whose camera line names the captures.
    const std::string text = "device usb#canon\n"
                             "  manufacturer Canon Inc.\n"
                             "  camera canon deviceinfo=di_canon_eos60d.hex capture=ev_canon_eos5dmk3_initial.hex\n";
    std::string error;
    auto scenario = sim::parseScenario(
        text, [](std::string_view line, std::string* why) { return sim::makeCamera(line, why); }, &error);
    ASSERT_TRUE(scenario) << error;
    Mta mta;
    sim::Registration registration(*scenario);
    auto device = openDevice(L"usb#canon");
    ASSERT_TRUE(device);

    auto info = readOperation(device.Get(), 0x1001, {}, 100);
    EXPECT_TRUE(info.data == loadHex("di_canon_eos60d.hex"));
    EXPECT_EQ(info.responseCode, 0x2001u);
    for (std::uint16_t op : {std::uint16_t{0x9114}, std::uint16_t{0x9115}}) {
        auto on = send(device.Get(), executeCommand(wpd::kExecuteWithoutDataPhase, op, {1}).Get());
        EXPECT_EQ(unsignedValue(on.results.Get(), WPD_PROPERTY_MTP_EXT_RESPONSE_CODE), 0x2001u);
    }
    auto first = readOperation(device.Get(), 0x9116, {}, 0x40000);
    EXPECT_TRUE(first.data == loadHex("ev_canon_eos5dmk3_initial.hex"));
    EXPECT_EQ(first.chunks, std::vector<std::uint32_t>{11116});
    auto later = readOperation(device.Get(), 0x9116, {}, 0x40000);
    EXPECT_EQ(later.data, loadHex("ev_canon_eos60d_empty.hex"));  // nothing new: the end record alone
    device.Reset();
    EXPECT_EQ(sim::outstanding(), "");
}
