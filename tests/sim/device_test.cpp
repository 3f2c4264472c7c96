// The simulated device object: Open with its scripted answers, and the MTP-extension
// vendor-operation commands with every scripted fault.
#include <gtest/gtest.h>

#include <thread>

#include "sim_client.h"

using namespace simtest;

namespace {

const std::wstring kCamera = L"\\\\?\\usb#vid_04a9&pid_3218#camera";
constexpr std::uint16_t kGetDeviceInfo = 0x1001;
constexpr std::uint16_t kGetEvent = 0x9116;
constexpr std::uint16_t kSetRemoteMode = 0x9114;
const HRESULT kNotFound = static_cast<HRESULT>(0x80070490);

std::vector<std::uint8_t> pattern(std::size_t n)
{
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i)
        v[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return v;
}

// One camera device whose GetDeviceInfo and GetEvent send data, plus the given faults.
struct CameraScenario {
    std::shared_ptr<ScriptedCamera> camera = std::make_shared<ScriptedCamera>();
    sim::Scenario scenario;
    explicit CameraScenario(std::vector<sim::Fault> faults = {})
    {
        camera->replies[kGetDeviceInfo] = {0x2001, pattern(391)};
        camera->replies[kGetEvent] = {0x2001, pattern(1000)};
        camera->replies[kSetRemoteMode] = {0x2001, {}};
        scenario.devices.push_back(device(kCamera, camera));
        scenario.faults = std::move(faults);
    }
};

class SimDevice : public ::testing::Test {
protected:
    Mta mta;
    void TearDown() override { EXPECT_EQ(sim::outstanding(), ""); }
};

}  // namespace

TEST_F(SimDevice, OpenAnswersAsScriptedForEachAccess)
{
    struct Case {
        const char* what;
        std::int32_t readWrite, readOnly;
        std::vector<sim::Fault> faults;
        std::wstring id;
        std::vector<HRESULT> expected;  // first Open default access, second GENERIC_READ
    };
    const HRESULT denied = E_ACCESSDENIED;
    const HRESULT busy = static_cast<HRESULT>(0x800700AA);
    const HRESULT gone = static_cast<HRESULT>(0x8007048F);
    const Case cases[] = {
        {"opens", 0, 0, {}, kCamera, {S_OK}},
        {"read-only retry", denied, 0, {}, kCamera, {denied, S_OK}},
        {"denied both ways", denied, denied, {}, kCamera, {denied, denied}},
        {"busy", busy, 0, {}, kCamera, {busy, S_OK}},
        {"vanished device", 0, 0, {}, L"\\\\?\\usb#gone", {gone, gone}},
        {"second Open fails by fault", denied, 0, {{.call = sim::Call::Open, .nth = 2, .result = gone}}, kCamera,
         {denied, gone}},
    };
    for (const auto& c : cases) {
        CameraScenario cs(c.faults);
        cs.scenario.devices[0].openReadWrite = c.readWrite;
        cs.scenario.devices[0].openReadOnly = c.readOnly;
        sim::Registration registration(cs.scenario);
        ComPtr<IPortableDeviceValues> info;
        ComPtr<IPortableDevice> device;
        ASSERT_EQ(create(CLSID_PortableDeviceValues, info), S_OK);
        ASSERT_EQ(create(CLSID_PortableDeviceFTM, device), S_OK);
        info->SetStringValue(WPD_CLIENT_NAME, L"Tallybrook");
        info->SetUnsignedIntegerValue(WPD_CLIENT_MAJOR_VERSION, 0);
        info->SetUnsignedIntegerValue(WPD_CLIENT_MINOR_VERSION, 1);
        info->SetUnsignedIntegerValue(WPD_CLIENT_REVISION, 0);
        info->SetUnsignedIntegerValue(WPD_CLIENT_SECURITY_QUALITY_OF_SERVICE, 0x20000);
        std::vector<HRESULT> got{device->Open(c.id.c_str(), info.Get())};
        if (got[0] != S_OK) {
            info->SetUnsignedIntegerValue(WPD_CLIENT_DESIRED_ACCESS, GENERIC_READ);
            got.push_back(device->Open(c.id.c_str(), info.Get()));
        }
        EXPECT_EQ(got, c.expected) << c.what;

        const auto opens = sim::records(sim::Call::Open);
        ASSERT_EQ(opens.size(), got.size()) << c.what;
        const sim::ClientInfo& first = *opens[0].client;
        EXPECT_EQ(first.name, L"Tallybrook");
        EXPECT_EQ(first.minorVersion, 1u);
        EXPECT_EQ(first.securityQualityOfService, 0x20000u);
        EXPECT_EQ(first.keyOrder, (std::vector<std::uint32_t>{2, 3, 4, 5, 8})) << c.what;
        EXPECT_FALSE(first.desiredAccess.has_value());
        if (opens.size() > 1) {
            EXPECT_EQ(opens[1].client->desiredAccess, GENERIC_READ) << c.what;
        }
        EXPECT_EQ(device->Close(), S_OK);
    }
}

TEST_F(SimDevice, CommandsNeedAnOpenDevice)
{
    CameraScenario cs;
    sim::Registration registration(cs.scenario);
    ComPtr<IPortableDevice> device;
    ASSERT_EQ(create(CLSID_PortableDeviceFTM, device), S_OK);
    auto sent = send(device.Get(), executeCommand(wpd::kExecuteWithoutDataPhase, kSetRemoteMode, {1}).Get());
    EXPECT_EQ(sent.hr, static_cast<HRESULT>(0x802A0002));
    EXPECT_EQ(sent.results, nullptr);

    device = openDevice(kCamera);
    ASSERT_TRUE(device);
    EXPECT_EQ(device->Close(), S_OK);
    sent = send(device.Get(), executeCommand(wpd::kExecuteWithoutDataPhase, kSetRemoteMode, {1}).Get());
    EXPECT_EQ(sent.hr, static_cast<HRESULT>(0x802A0002));
    EXPECT_TRUE(cs.camera->received.empty());
}

TEST_F(SimDevice, ExecuteWithoutDataPhaseRunsTheOperation)
{
    CameraScenario cs;
    sim::Registration registration(cs.scenario);
    auto device = openDevice(kCamera);
    ASSERT_TRUE(device);
    auto sent = send(device.Get(), executeCommand(wpd::kExecuteWithoutDataPhase, kSetRemoteMode, {1, 0xD1AC}).Get());
    ASSERT_EQ(sent.hr, S_OK);
    EXPECT_EQ(errorValue(sent.results.Get(), WPD_PROPERTY_COMMON_HRESULT), S_OK);
    EXPECT_EQ(unsignedValue(sent.results.Get(), WPD_PROPERTY_MTP_EXT_RESPONSE_CODE), 0x2001u);
    ComPtr<IPortableDevicePropVariantCollection> responseParams;
    EXPECT_EQ(sent.results->GetIPortableDevicePropVariantCollectionValue(WPD_PROPERTY_MTP_EXT_RESPONSE_PARAMS,
                                                                         &responseParams),
              S_OK);
    ASSERT_EQ(cs.camera->received.size(), 1u);
    EXPECT_EQ(cs.camera->received[0].code, kSetRemoteMode);
    EXPECT_EQ(cs.camera->received[0].params, (std::vector<std::uint32_t>{1, 0xD1AC}));
    EXPECT_FALSE(cs.camera->received[0].dataIn);

    // An operation the camera does not know; a device with no camera at all.
    sent = send(device.Get(), executeCommand(wpd::kExecuteWithoutDataPhase, 0x9999, {}).Get());
    EXPECT_EQ(unsignedValue(sent.results.Get(), WPD_PROPERTY_MTP_EXT_RESPONSE_CODE), 0x2005u);

    const auto cmd = sim::records(sim::Call::SendCommand).front();
    EXPECT_TRUE(cmd.vendorCategory);
    EXPECT_EQ(cmd.command, 12u);
    EXPECT_EQ(cmd.operation, kSetRemoteMode);
    EXPECT_EQ(cmd.params, (std::vector<std::uint32_t>{1, 0xD1AC}));
    EXPECT_EQ(cmd.responseCode, 0x2001);
    responseParams.Reset();
    sent.results.Reset();
    device.Reset();
}

TEST_F(SimDevice, ADeviceWithoutACameraAnswersNotSupported)
{
    sim::Scenario s;
    s.devices.push_back(device(L"printer"));
    sim::Registration registration(s);
    auto device = openDevice(L"printer");
    ASSERT_TRUE(device);
    auto sent = send(device.Get(), executeCommand(wpd::kExecuteWithoutDataPhase, kGetDeviceInfo, {}).Get());
    EXPECT_EQ(unsignedValue(sent.results.Get(), WPD_PROPERTY_MTP_EXT_RESPONSE_CODE), 0x2005u);
    auto t = readOperation(device.Get(), kGetDeviceInfo, {}, 4096);
    EXPECT_EQ(t.total, 0u);
    EXPECT_EQ(t.responseCode, 0x2005u);
}

TEST_F(SimDevice, DataPhaseIsHandedOutInChunksThroughTheTransferCommands)
{
    CameraScenario cs;
    sim::Registration registration(cs.scenario);
    auto device = openDevice(kCamera);
    ASSERT_TRUE(device);
    auto t = readOperation(device.Get(), kGetDeviceInfo, {}, 100);
    EXPECT_EQ(t.startDriver, S_OK);
    EXPECT_EQ(t.total, 391u);
    EXPECT_EQ(t.data, pattern(391));
    EXPECT_EQ(t.chunks, (std::vector<std::uint32_t>{100, 100, 100, 91}));
    EXPECT_EQ(t.endDriver, S_OK);
    EXPECT_EQ(t.responseCode, 0x2001u);
    ASSERT_EQ(cs.camera->received.size(), 1u);
    EXPECT_TRUE(cs.camera->received[0].dataIn);

    // The record: 13, four 15s asking 100 with a buffer of 100 (the last 91), 17; all under
    // the context 13 handed out, all naming the operation.
    const auto cmds = sim::records(sim::Call::SendCommand);
    ASSERT_EQ(cmds.size(), 6u);
    EXPECT_EQ(cmds[0].command, 13u);
    EXPECT_EQ(cmds[0].totalSize, 391u);
    EXPECT_EQ(cmds[0].params, std::vector<std::uint32_t>{});
    for (int i = 1; i <= 4; ++i) {
        EXPECT_EQ(cmds[i].command, 15u);
        EXPECT_EQ(cmds[i].context, cmds[0].context);
        EXPECT_EQ(cmds[i].operation, kGetDeviceInfo);
        EXPECT_EQ(cmds[i].bytesToRead, i < 4 ? 100u : 91u);
        EXPECT_EQ(cmds[i].requestBuffer, cmds[i].bytesToRead);
    }
    EXPECT_EQ(cmds[5].command, 17u);
    EXPECT_EQ(cmds[5].context, cmds[0].context);
    EXPECT_EQ(cmds[5].responseCode, 0x2001);

    // The context is gone after the end command.
    auto stale = send(device.Get(), readCommand(cmds[0].context, 10).Get());
    EXPECT_EQ(errorValue(stale.results.Get(), WPD_PROPERTY_COMMON_HRESULT), kNotFound);
    stale = send(device.Get(), endCommand(cmds[0].context).Get());
    EXPECT_EQ(errorValue(stale.results.Get(), WPD_PROPERTY_COMMON_HRESULT), kNotFound);
}

TEST_F(SimDevice, AnnouncedSizesFromNothingToBeyondTheCap)
{
    constexpr DWORD kChunk = 0x40000;
    constexpr std::uint64_t kCap = 0x2000000;
    struct Case {
        std::uint64_t announced;
        std::vector<std::uint32_t> chunks;
    };
    std::vector<std::uint32_t> capped(kCap / kChunk, kChunk);
    const Case cases[] = {
        {0, {}},
        {600000, {262144, 262144, 75712}},
        {40000000, capped},
    };
    for (const auto& c : cases) {
        CameraScenario cs({{.command = 13, .operation = kGetEvent, .totalSize = c.announced}});
        sim::Registration registration(cs.scenario);
        auto device = openDevice(kCamera);
        ASSERT_TRUE(device);
        auto t = readOperation(device.Get(), kGetEvent, {}, kChunk, kCap);
        EXPECT_EQ(t.total, c.announced);
        EXPECT_EQ(t.chunks, c.chunks) << c.announced;
        EXPECT_EQ(t.responseCode, 0x2001u) << c.announced;
        // The camera's own 1000 bytes, then generated ones.
        const std::size_t expected = static_cast<std::size_t>(std::min(c.announced, kCap));
        ASSERT_EQ(t.data.size(), expected);
        const auto own = pattern(1000);
        bool same = true;
        for (std::size_t i = 0; i < t.data.size() && same; ++i)
            same = t.data[i] == (i < own.size() ? own[i] : sim::generatedByte(i));
        EXPECT_TRUE(same) << c.announced;
        device.Reset();
        EXPECT_EQ(sim::outstanding(), "") << c.announced;
    }
}

TEST_F(SimDevice, ShortEmptyAndMisreportedReads)
{
    struct Case {
        const char* what;
        sim::Fault fault;
        std::optional<ULONG> bytesRead;  // NUM_BYTES_READ of the first read
        std::size_t delivered;           // bytes in its TRANSFER_DATA (0: none, as no empty buffer exists)
    };
    const Case cases[] = {
        {"short", {.command = 15, .nth = 1, .served = 150}, 150, 150},
        {"empty", {.command = 15, .nth = 1, .served = 0}, 0, 0},
        {"bytes-read 0", {.command = 15, .nth = 1, .bytesRead = 0}, 0, 391},
        {"bytes-read too big", {.command = 15, .nth = 1, .bytesRead = 5000}, 5000, 391},
    };
    for (const auto& c : cases) {
        CameraScenario cs({c.fault});
        sim::Registration registration(cs.scenario);
        auto device = openDevice(kCamera);
        ASSERT_TRUE(device);
        auto start = send(device.Get(), executeCommand(13, kGetDeviceInfo, {}).Get());
        const auto context = stringValue(start.results.Get(), WPD_PROPERTY_MTP_EXT_TRANSFER_CONTEXT);
        ASSERT_TRUE(context);
        auto read = send(device.Get(), readCommand(*context, 391).Get());
        EXPECT_EQ(unsignedValue(read.results.Get(), WPD_PROPERTY_MTP_EXT_TRANSFER_NUM_BYTES_READ), c.bytesRead)
            << c.what;
        const auto data = bufferValue(read.results.Get(), WPD_PROPERTY_MTP_EXT_TRANSFER_DATA);
        EXPECT_EQ(data.has_value(), c.delivered != 0) << c.what;
        EXPECT_EQ(data.value_or(std::vector<std::uint8_t>{}).size(), c.delivered) << c.what;
        // The rest follows with the next read.
        auto rest = send(device.Get(), readCommand(*context, 391).Get());
        const auto restData = bufferValue(rest.results.Get(), WPD_PROPERTY_MTP_EXT_TRANSFER_DATA);
        EXPECT_EQ(restData.value_or(std::vector<std::uint8_t>{}).size(), 391 - c.delivered) << c.what;
        send(device.Get(), endCommand(*context).Get());
    }
}

TEST_F(SimDevice, ResultKeysCanBeLeftOut)
{
    struct Case {
        unsigned omit;
        DWORD command;
        const PROPERTYKEY& key;
    };
    const Case cases[] = {
        {sim::omitCommonHresult, 12, WPD_PROPERTY_COMMON_HRESULT},
        {sim::omitResponseCode, 12, WPD_PROPERTY_MTP_EXT_RESPONSE_CODE},
        {sim::omitResponseParams, 12, WPD_PROPERTY_MTP_EXT_RESPONSE_PARAMS},
        {sim::omitTransferContext, 13, WPD_PROPERTY_MTP_EXT_TRANSFER_CONTEXT},
        {sim::omitTotalDataSize, 13, WPD_PROPERTY_MTP_EXT_TRANSFER_TOTAL_DATA_SIZE},
        {sim::omitNumBytesRead, 15, WPD_PROPERTY_MTP_EXT_TRANSFER_NUM_BYTES_READ},
        {sim::omitTransferData, 15, WPD_PROPERTY_MTP_EXT_TRANSFER_DATA},
        {sim::omitCommonHresult, 17, WPD_PROPERTY_COMMON_HRESULT},
        {sim::omitResponseCode, 17, WPD_PROPERTY_MTP_EXT_RESPONSE_CODE},
    };
    for (const auto& c : cases) {
        CameraScenario cs({{.command = c.command, .omit = c.omit}});
        sim::Registration registration(cs.scenario);
        auto device = openDevice(kCamera);
        ASSERT_TRUE(device);
        ComPtr<IPortableDeviceValues> results;
        if (c.command == 12) {
            results = send(device.Get(), executeCommand(12, kSetRemoteMode, {1}).Get()).results;
        } else {
            auto start = send(device.Get(), executeCommand(13, kGetDeviceInfo, {}).Get());
            const auto contexts = sim::records(sim::Call::SendCommand);
            const std::wstring context = contexts.back().context;  // as handed out, even when left out
            if (c.command == 13)
                results = start.results;
            else if (c.command == 15)
                results = send(device.Get(), readCommand(context, 100).Get()).results;
            else
                results = send(device.Get(), endCommand(context).Get()).results;
        }
        ASSERT_TRUE(results);
        PROPVARIANT v;
        PropVariantInit(&v);
        EXPECT_EQ(results->GetValue(c.key, &v), kNotFound) << c.command << " omit " << c.omit;
        PropVariantClear(&v);
        // Everything else is still there.
        EXPECT_EQ(has(results.Get(), WPD_PROPERTY_COMMON_HRESULT), c.omit != sim::omitCommonHresult);
    }
}

TEST_F(SimDevice, FaultsChosenByCommandOperationAndOccurrence)
{
    // The 2nd read-data command of GetEvent fails in the driver; GetDeviceInfo reads are not
    // counted; the end command still answers with the camera's response.
    const HRESULT broken = static_cast<HRESULT>(0x8007001F);
    CameraScenario cs({{.command = 15, .operation = kGetEvent, .nth = 2, .driverResult = broken}});
    sim::Registration registration(cs.scenario);
    auto device = openDevice(kCamera);
    ASSERT_TRUE(device);
    auto info = readOperation(device.Get(), kGetDeviceInfo, {}, 100);
    EXPECT_EQ(info.data.size(), 391u);
    auto events = readOperation(device.Get(), kGetEvent, {}, 400);
    EXPECT_EQ(events.chunks, std::vector<std::uint32_t>{400});
    EXPECT_EQ(events.responseCode, 0x2001u);
    const auto reads = sim::records(sim::Call::SendCommand);
    const auto& failed = reads[reads.size() - 2];
    EXPECT_EQ(failed.command, 15u);
    EXPECT_EQ(failed.driverResult, broken);
    EXPECT_EQ(failed.bytesServed, 0u);

    // The failed read returned no data, only the driver's code.
    auto again = readOperation(device.Get(), kGetEvent, {}, 400);
    EXPECT_EQ(again.chunks, (std::vector<std::uint32_t>{400, 400, 200}));  // the fault was for the 2nd only
}

TEST_F(SimDevice, SendCommandAndDriverFailuresAndResponseOverrides)
{
    const HRESULT broken = static_cast<HRESULT>(0x8007001F);
    {
        // SendCommand itself fails: no results, and the camera never sees the operation.
        CameraScenario cs({{.command = 12, .result = E_FAIL}});
        sim::Registration registration(cs.scenario);
        auto device = openDevice(kCamera);
        auto sent = send(device.Get(), executeCommand(12, kSetRemoteMode, {1}).Get());
        EXPECT_EQ(sent.hr, E_FAIL);
        EXPECT_EQ(sent.results, nullptr);
        EXPECT_TRUE(cs.camera->received.empty());
    }
    {
        // The driver fails the execute step: only COMMON_HRESULT comes back.
        CameraScenario cs({{.command = 13, .driverResult = broken}});
        sim::Registration registration(cs.scenario);
        auto device = openDevice(kCamera);
        auto sent = send(device.Get(), executeCommand(13, kGetDeviceInfo, {}).Get());
        EXPECT_EQ(sent.hr, S_OK);
        EXPECT_EQ(errorValue(sent.results.Get(), WPD_PROPERTY_COMMON_HRESULT), broken);
        EXPECT_FALSE(has(sent.results.Get(), WPD_PROPERTY_MTP_EXT_TRANSFER_CONTEXT));
        EXPECT_TRUE(cs.camera->received.empty());
    }
    {
        // A busy camera: everything works, the response code says 0x2019.
        CameraScenario cs({{.command = 17, .responseCode = 0x2019}, {.command = 12, .responseCode = 0x2019}});
        sim::Registration registration(cs.scenario);
        auto device = openDevice(kCamera);
        auto sent = send(device.Get(), executeCommand(12, kSetRemoteMode, {1}).Get());
        EXPECT_EQ(errorValue(sent.results.Get(), WPD_PROPERTY_COMMON_HRESULT), S_OK);
        EXPECT_EQ(unsignedValue(sent.results.Get(), WPD_PROPERTY_MTP_EXT_RESPONSE_CODE), 0x2019u);
        auto t = readOperation(device.Get(), kGetDeviceInfo, {}, 1000);
        EXPECT_EQ(t.data.size(), 391u);
        EXPECT_EQ(t.responseCode, 0x2019u);
    }
    {
        // A success code from SendCommand comes with the results.
        CameraScenario cs({{.command = 12, .result = S_FALSE}});
        sim::Registration registration(cs.scenario);
        auto device = openDevice(kCamera);
        auto sent = send(device.Get(), executeCommand(12, kSetRemoteMode, {1}).Get());
        EXPECT_EQ(sent.hr, S_FALSE);
        EXPECT_EQ(unsignedValue(sent.results.Get(), WPD_PROPERTY_MTP_EXT_RESPONSE_CODE), 0x2001u);
    }
}

TEST_F(SimDevice, MalformedCommandsAreRefusedByTheDriver)
{
    CameraScenario cs;
    sim::Registration registration(cs.scenario);
    auto device = openDevice(kCamera);
    ASSERT_TRUE(device);
    auto driverOf = [&](IPortableDeviceValues* params) {
        auto sent = send(device.Get(), params);
        return sent.results ? errorValue(sent.results.Get(), WPD_PROPERTY_COMMON_HRESULT) : std::nullopt;
    };
    // Another category, an unknown id, no operation code, a read without its buffer. (Wrong
    // VARTYPEs and the other rules of Windows: windows_rules_test.cpp.)
    auto other = executeCommand(12, kSetRemoteMode, {1});
    other->SetGuidValue(WPD_PROPERTY_COMMON_COMMAND_CATEGORY, WPD_PROPERTY_COMMON_COMMAND_CATEGORY.fmtid);
    EXPECT_EQ(driverOf(other.Get()), E_NOTIMPL);
    EXPECT_EQ(driverOf(command(14).Get()), E_NOTIMPL);
    EXPECT_EQ(driverOf(command(12).Get()), E_INVALIDARG);
    auto start = send(device.Get(), executeCommand(13, kGetDeviceInfo, {}).Get());
    const auto context = stringValue(start.results.Get(), WPD_PROPERTY_MTP_EXT_TRANSFER_CONTEXT);
    ASSERT_TRUE(context);
    auto noBuffer = readCommand(*context, 100);
    noBuffer->RemoveValue(WPD_PROPERTY_MTP_EXT_TRANSFER_DATA);
    EXPECT_EQ(driverOf(noBuffer.Get()), E_INVALIDARG);
    send(device.Get(), endCommand(*context).Get());
    // A command without OPERATION_PARAMS is refused, and the record says none came.
    auto bare = command(12);
    bare->SetUnsignedIntegerValue(WPD_PROPERTY_MTP_EXT_OPERATION_CODE, kSetRemoteMode);
    EXPECT_EQ(driverOf(bare.Get()), E_INVALIDARG);
    EXPECT_FALSE(sim::records(sim::Call::SendCommand).back().params.has_value());
    // The camera saw only the transfer's GetDeviceInfo.
    ASSERT_EQ(cs.camera->received.size(), 1u);
    EXPECT_EQ(cs.camera->received[0].code, kGetDeviceInfo);
}

TEST_F(SimDevice, TwoDevicesServeTwoThreadsAtOnce)
{
    auto first = std::make_shared<ScriptedCamera>();
    auto second = std::make_shared<ScriptedCamera>();
    first->replies[kGetEvent] = {0x2001, pattern(5000)};
    second->replies[kGetEvent] = {0x2001, std::vector<std::uint8_t>(7000, 0xEE)};
    sim::Scenario s;
    s.devices = {device(L"one", first), device(L"two", second)};
    sim::Registration registration(s);
    std::vector<Transfer> results(2);
    auto work = [&](int i) {
        Mta threadMta;
        auto device = openDevice(i == 0 ? L"one" : L"two");
        for (int n = 0; n < 20 && device; ++n)
            results[i] = readOperation(device.Get(), kGetEvent, {}, 333);
    };
    std::thread a(work, 0), b(work, 1);
    a.join();
    b.join();
    EXPECT_EQ(results[0].data, pattern(5000));
    EXPECT_EQ(results[1].data, std::vector<std::uint8_t>(7000, 0xEE));
    EXPECT_EQ(first->received.size(), 20u);
    EXPECT_EQ(second->received.size(), 20u);
}
