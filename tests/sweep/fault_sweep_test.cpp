// Every call the program checks, failed in turn: each CoCreateInstance, the device list and
// text queries, Open, and each SendCommand of a whole Canon and Fujifilm read, failed by
// SendCommand itself, by the driver's result, and by each result key left out. For each one
// the reading must be what the scenario gives, one of the known outcomes, and everything the
// service handed out must come back.

#include "reading/read_camera.h"
#include "sim/cameras/capture_file.h"
#include "sim/cameras/device_info_builder.h"
#include "sim/service/service.h"
#include "sweep_case.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <cstdio>
#include <map>
#include <tuple>

namespace {

constexpr std::int32_t kStopped = static_cast<std::int32_t>(0x8007001F);

std::vector<std::uint8_t> capture(const char* name)
{
    auto bytes = sim::loadCapture(sim::defaultCapturesDir() / name);
    EXPECT_TRUE(bytes.has_value()) << name;
    return bytes.value_or(std::vector<std::uint8_t>{});
}

sim::DeviceSpec device(std::wstring id, std::wstring name, std::wstring maker)
{
    sim::DeviceSpec d;
    d.id = std::move(id);
    d.friendlyName = std::move(name);
    d.manufacturer = std::move(maker);
    d.description = L"Camera";
    return d;
}

// A Nikon listed first, then the camera: a real EOS 60D dataset with the 5D Mark III's first
// event batch (its counter, 52754) and an empty batch after it, or an X-T3-like Fujifilm
// body answering 13531.
sweep::Case camera(bool canon)
{
    sweep::Case c;
    c.scenario.devices.push_back(device(L"usb#nikon", L"D850", L"Nikon Corporation"));
    c.cameras.push_back(std::nullopt);
    sweep::CameraScript s;
    if (canon) {
        c.scenario.devices.push_back(device(L"usb#canon", L"EOS 60D", L"Canon Inc."));
        s.deviceInfo.data = capture("di_canon_eos60d.hex");
        s.events = {{0x2001, capture("ev_canon_eos5dmk3_initial.hex")}, {0x2001, capture("ev_canon_eos60d_empty.hex")}};
        s.plainCounters = {{0xD1AC, 52754}};
    } else {
        c.scenario.devices.push_back(device(L"usb#fuji", L"X-T3", L"FUJIFILM"));
        sim::DeviceInfoFields f;
        f.operationsSupported = {0x1001, 0x1015};
        f.devicePropertiesSupported = {0x5001, 0xD310};
        f.manufacturer = u"FUJIFILM";
        f.model = u"X-T3";
        f.deviceVersion = u"4.10";
        f.serialNumber = u"59353431";
        s.deviceInfo.data = sim::buildDeviceInfo(f);
        s.shotCount = {0x2001, {0x00, 0x00, 0xDB, 0x34}};
    }
    c.cameras.push_back(s);
    return c;
}

Reading quietRead()
{
    return readCamera([](const std::wstring&) {}, [](unsigned) {});
}

// One call of a fault-free read, as the service counted it.
struct Call {
    sim::Call call;
    std::optional<std::uint32_t> command;
    std::optional<std::uint16_t> operation;
    std::wstring device;
    unsigned nth;
};

std::vector<Call> callsOf(const sweep::Case& c)
{
    sim::setScenario(sweep::liveScenario(c));
    quietRead();
    std::vector<Call> calls;
    std::map<std::tuple<sim::Call, std::optional<std::uint32_t>, std::optional<std::uint16_t>, std::wstring>, unsigned>
        seen;
    for (const auto& r : sim::records()) {
        // Faults on device calls and text queries name their device; the others count them all.
        const bool perDevice = r.call != sim::Call::SendCommand && !r.device.empty();
        const std::wstring device = perDevice ? r.device : std::wstring();
        const auto key = std::tuple(r.call, r.command, r.operation, device);
        calls.push_back({r.call, r.command, r.operation, device, ++seen[key]});
    }
    return calls;
}

std::vector<std::pair<std::string, sim::Fault>> faultsFor(const Call& call)
{
    sim::Fault base;
    base.call = call.call;
    base.command = call.command;
    base.operation = call.operation;
    base.device = call.device;
    base.nth = call.nth;
    std::vector<std::pair<std::string, sim::Fault>> out;
    sim::Fault f = base;
    f.result = kStopped;
    out.emplace_back("fails", f);
    if (call.call != sim::Call::SendCommand) return out;
    f = base;
    f.driverResult = kStopped;
    out.emplace_back("driver fails", f);
    const std::uint32_t command = call.command.value_or(0);
    std::vector<std::pair<std::string, unsigned>> keys = {{"no COMMON_HRESULT", sim::omitCommonHresult}};
    if (command == 12 || command == 17) keys.emplace_back("no RESPONSE_CODE", sim::omitResponseCode);
    if (command == 13) {
        keys.emplace_back("no TRANSFER_CONTEXT", sim::omitTransferContext);
        keys.emplace_back("no TOTAL_DATA_SIZE", sim::omitTotalDataSize);
    }
    if (command == 15) {
        keys.emplace_back("no NUM_BYTES_READ", sim::omitNumBytesRead);
        keys.emplace_back("no TRANSFER_DATA", sim::omitTransferData);
    }
    for (const auto& [name, flag] : keys) {
        f = base;
        f.omit = flag;
        out.emplace_back(name, f);
    }
    return out;
}

std::string name(const Call& call)
{
    std::string text(sim::callName(call.call));
    if (call.command) text += " command " + std::to_string(*call.command);
    if (call.operation) {
        char op[8];
        std::snprintf(op, sizeof op, "%04X", *call.operation);
        text += std::string(" op ") + op;
    }
    return text + " #" + std::to_string(call.nth);
}

class FaultSweep : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        registration_.emplace();
        ASSERT_EQ(registration_->result(), S_OK);
    }
    void TearDown() override
    {
        registration_.reset();
        CoUninitialize();
    }

    // Fails each call of the fault-free read in turn and returns how each read ended, by
    // the failed call's name.
    std::map<std::string, Reading> sweepAll(bool canon, sim::ServiceRules rules = {})
    {
        sweep::Case clean = camera(canon);
        clean.scenario.rules = rules;
        EXPECT_EQ(sweep::runAndCheck(clean), "");
        const std::vector<Call> calls = callsOf(clean);
        EXPECT_GT(calls.size(), canon ? 40u : 15u);
        std::map<std::string, Reading> outcomes;
        std::size_t injected = 0;
        for (const Call& call : calls) {
            for (const auto& [what, fault] : faultsFor(call)) {
                sweep::Case c = clean;
                c.scenario.faults = {fault};
                const std::string label = name(call) + " " + what;
                EXPECT_EQ(sweep::runAndCheck(c), "") << label;
                sim::setScenario(sweep::liveScenario(c));
                outcomes[label] = quietRead();
                // A failure must really have met its call (a key left out leaves no trace).
                bool met = fault.omit != 0;
                for (const auto& r : sim::records())
                    met |= r.call == call.call && (r.result == kStopped || r.driverResult == kStopped);
                EXPECT_TRUE(met) << label;
                ++injected;
            }
        }
        std::printf("%zu faults over the %zu checked calls of a %s read\n", injected, calls.size(),
                    canon ? "Canon" : "Fujifilm");
        return outcomes;
    }

private:
    std::optional<sim::Registration> registration_;
};

// One fault's expected outcome: the reading's count when it still succeeds, else its message.
struct OutcomeRow {
    const char* label;
    bool ok;
    std::wstring message;
};

template <std::size_t N>
void expectOutcomes(const std::map<std::string, Reading>& outcomes, const OutcomeRow (&rows)[N], unsigned count)
{
    for (const OutcomeRow& row : rows) {
        SCOPED_TRACE(row.label);
        const auto it = outcomes.find(row.label);
        ASSERT_NE(it, outcomes.end());
        EXPECT_EQ(it->second.ok, row.ok);
        EXPECT_EQ(it->second.message, row.message);
        if (row.ok) {
            EXPECT_EQ(it->second.count, count);
        }
    }
}

}  // namespace

TEST_F(FaultSweep, EveryCheckedCallOfACanonRead)
{
    const auto outcomes = sweepAll(true);
    // A few rows, spelled out: set-up and closing failures cost nothing; the counter is in
    // the first batch, so only a first GetEvent that fails loses it.
    const std::wstring noCounter =
        L"The camera connected but didn't send its shutter counter. Click Copy details and email it to "
        L"support@tallybrook.app.";
    const OutcomeRow rows[] = {
        {"create-manager #1 fails", false,
         L"Windows' portable device service isn't available (device stopped responding). This app needs Windows 10 "
         L"or 11."},
        {"open #1 fails", false,
         L"Couldn't open the camera (device stopped responding). Unplug it, plug it back in and try again."},
        {"send-command command 13 op 1001 #1 fails", false,
         L"The camera didn't answer (device stopped responding). Unplug it, plug it back in and try again."},
        {"send-command command 12 op 9114 #1 fails", true, L""},
        {"send-command command 12 op 9115 #2 driver fails", true, L""},
        {"send-command command 13 op 9116 #1 fails", false, noCounter},
        {"send-command command 13 op 9116 #2 fails", true, L""},
        {"send-command command 15 op 9116 #1 no TRANSFER_DATA", false, noCounter},
    };
    expectOutcomes(outcomes, rows, 52754u);
}

TEST_F(FaultSweep, EveryCheckedCallOfAFujifilmRead)
{
    const auto outcomes = sweepAll(false);
    const std::wstring noCount = L"The camera connected but didn't send a shot count.";
    const OutcomeRow rows[] = {
        {"create-device #1 fails", false,
         L"Couldn't open the camera (device stopped responding). Unplug it, plug it back in and try again."},
        {"get-devices #2 fails", false,
         L"No Canon or Fujifilm camera found. Check that it's switched on, the cable carries data, and EOS Utility is "
         L"closed. Then click Read camera again."},
        {"send-command command 13 op 1015 #1 fails", false, noCount},
        {"send-command command 17 op 1015 #1 no RESPONSE_CODE", false, noCount},
        {"send-command command 15 op 1015 #1 no NUM_BYTES_READ", true, L""},
        {"send-command command 17 op 1001 #1 driver fails", false,
         L"The camera didn't answer (device stopped responding). Unplug it, plug it back in and try again."},
    };
    expectOutcomes(outcomes, rows, 13531u);
}

TEST_F(FaultSweep, EveryCheckedCallWhenDataPhasesAreOfUnknownSize)
{
    // The service announces 0xFFFFFFFF for every data phase and never sends response
    // parameters: the same calls, failed in turn, end as the scenario says.
    sim::ServiceRules rules;
    rules.unknownTotalSize = true;
    rules.responseParamsNever = true;
    for (const bool canon : {true, false}) {
        const auto outcomes = sweepAll(canon, rules);
        const auto clean = outcomes.find(canon ? "send-command command 12 op 9114 #1 fails"
                                               : "send-command command 15 op 1015 #1 no NUM_BYTES_READ");
        ASSERT_NE(clean, outcomes.end());
        EXPECT_TRUE(clean->second.ok);
        EXPECT_EQ(clean->second.count, canon ? 52754u : 13531u);
    }
}

TEST_F(FaultSweep, CountsAndSizesBeyondReason)
{
    // A driver that announces four billion devices, a name of four billion characters, a data
    // phase of 2^64 bytes or a read of four billion bytes: the reading must still end as the
    // scenario says, with nothing left behind, and no allocation the size of the claim.
    const auto huge = [](sim::Call call, unsigned nth = 0) {
        sim::Fault f;
        f.call = call;
        f.nth = nth;
        f.count = 0xFFFFFFFFu;
        return f;
    };
    sim::Fault total;
    total.command = 13;
    total.operation = 0x1001;
    total.totalSize = ~0ull;
    sim::Fault bytesRead;
    bytesRead.command = 15;
    bytesRead.bytesRead = 0xFFFFFFFFu;
    const struct {
        const char* name;
        sim::Fault fault;
    } cases[] = {
        {"device count", huge(sim::Call::GetDevices, 1)},
        {"friendly name length", huge(sim::Call::GetDeviceFriendlyName)},
        {"manufacturer length", huge(sim::Call::GetDeviceManufacturer)},
        {"description length", huge(sim::Call::GetDeviceDescription)},
        {"data phase size", total},
        {"bytes read", bytesRead},
    };
    for (const bool canon : {true, false}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (canon ? ", Canon" : ", Fujifilm"));
            sweep::Case s = camera(canon);
            s.scenario.faults = {c.fault};
            EXPECT_EQ(sweep::runAndCheck(s), "");
        }
    }
}

TEST_F(FaultSweep, RealDatasetsCutAtEveryLength)
{
    // The EOS 60D's and the X-H1's own datasets, cut after every byte: only the whole dataset
    // decodes, and every shorter one ends as a camera that didn't answer.
    for (const bool canon : {true, false}) {
        sweep::Case c = camera(canon);
        if (!canon) c.cameras[1]->deviceInfo.data = capture("di_fuji_xh1.hex");
        const std::vector<std::uint8_t> whole = c.cameras[1]->deviceInfo.data;
        ASSERT_FALSE(whole.empty());
        for (std::size_t length = 0; length <= whole.size(); ++length) {
            SCOPED_TRACE((canon ? "EOS 60D cut at " : "X-H1 cut at ") + std::to_string(length));
            c.cameras[1]->deviceInfo.data.assign(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
            ASSERT_EQ(sweep::runAndCheck(c), "");
            const Reading r = (sim::setScenario(sweep::liveScenario(c)), quietRead());
            if (length < whole.size())
                ASSERT_EQ(r.message,
                          L"The camera didn't answer (0x00000000). Unplug it, plug it back in and try again.");
            else if (canon)
                EXPECT_TRUE(r.ok && r.count == 52754 && r.model == "Canon EOS 60D");
            else  // the X-H1 does not list 0xD310
                EXPECT_EQ(r.message, L"This Fujifilm body doesn't report a shot count over USB. Try a photo on "
                                     L"tallybrook.app instead.");
        }
    }
}

TEST_F(FaultSweep, AFailedReadIsNotHiddenByAFailedEnd)
{
    // A read-data command fails, then ending the transfer fails too: the first failure is the
    // one the reading reports.
    constexpr std::int32_t kBusy = static_cast<std::int32_t>(0x800700AA);
    for (const bool canon : {true, false}) {
        for (const std::uint16_t op : {std::uint16_t{0x1001}, static_cast<std::uint16_t>(canon ? 0x9116 : 0x1015)}) {
            SCOPED_TRACE((canon ? "Canon op " : "Fujifilm op ") + std::to_string(op));
            sweep::Case c = camera(canon);
            sim::Fault read;
            read.command = 15;
            read.operation = op;
            read.nth = 1;
            read.result = kStopped;
            sim::Fault end = read;
            end.command = 17;
            end.result = kBusy;
            c.scenario.faults = {read, end};
            EXPECT_EQ(sweep::runAndCheck(c), "");
            sim::setScenario(sweep::liveScenario(c));
            const Reading r = quietRead();
            EXPECT_FALSE(r.ok);
            if (op == 0x1001) {
                EXPECT_EQ(r.message,
                          L"The camera didn't answer (device stopped responding). Unplug it, plug it back in and try again.");
            }
        }
    }
}
