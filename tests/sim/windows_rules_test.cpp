// The simulated service refuses what Windows refuses: each row is a client that breaks one
// of the platform's rules, and the code it meets. A client that passes here by luck would
// fail on a real PC.
#include <gtest/gtest.h>

#include <functional>

#include "sim_client.h"

using namespace simtest;

namespace {

const std::wstring kCamera = L"\\\\?\\usb#vid_04a9&pid_3218#camera";
constexpr std::uint16_t kGetDeviceInfo = 0x1001;
constexpr std::uint16_t kSetRemoteMode = 0x9114;
const HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
const HRESULT kInvalidData = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);

HRESULT driverOf(IPortableDevice* device, IPortableDeviceValues* params)
{
    const Sent sent = send(device, params);
    if (FAILED(sent.hr) || !sent.results)
        return sent.hr;
    return errorValue(sent.results.Get(), WPD_PROPERTY_COMMON_HRESULT).value_or(E_UNEXPECTED);
}

// Starts GetDeviceInfo's data phase and hands back its context.
std::wstring startTransfer(IPortableDevice* device)
{
    const Sent start = send(device, executeCommand(wpd::kExecuteWithDataToRead, kGetDeviceInfo, {}).Get());
    return start.results ? stringValue(start.results.Get(), WPD_PROPERTY_MTP_EXT_TRANSFER_CONTEXT).value_or(L"") : L"";
}

ComPtr<IPortableDevice> openWith(std::optional<DWORD> desiredAccess, HRESULT* hr)
{
    ComPtr<IPortableDeviceValues> info;
    ComPtr<IPortableDevice> device;
    create(CLSID_PortableDeviceValues, info);
    create(CLSID_PortableDeviceFTM, device);
    info->SetStringValue(WPD_CLIENT_NAME, L"wrong client");
    if (desiredAccess)
        info->SetUnsignedIntegerValue(WPD_CLIENT_DESIRED_ACCESS, *desiredAccess);
    *hr = device->Open(kCamera.c_str(), info.Get());
    return device;
}

// A command whose one parameter is replaced by a value of another VARTYPE.
HRESULT withWrongType(IPortableDevice* device, ComPtr<IPortableDeviceValues> params, REFPROPERTYKEY key)
{
    params->RemoveValue(key);
    params->SetBoolValue(key, TRUE);  // a number, a text or a buffer: a boolean is none of them
    return driverOf(device, params.Get());
}

// GetDeviceInfo's first read, with one of its parameters of the wrong VARTYPE.
HRESULT readWithWrongType(IPortableDevice* device, REFPROPERTYKEY key)
{
    const auto context = startTransfer(device);
    return withWrongType(device, readCommand(context, 100), key);
}

// A command sent on a second connection that asked for read access only.
HRESULT commandOnReadOnly()
{
    HRESULT opened = E_FAIL;
    auto readOnly = openWith(GENERIC_READ, &opened);
    return FAILED(opened) ? opened : send(readOnly.Get(), executeCommand(12, kSetRemoteMode, {1}).Get()).hr;
}

struct Case {
    const char* rule;
    std::function<void(sim::ServiceRules&)> rules;  // null: the defaults
    // The wrong client, on a device already opened read/write; returns the code it meets.
    std::function<HRESULT(IPortableDevice*)> client;
    HRESULT expected;
};

}  // namespace

TEST(WindowsRules, EachWrongClientMeetsTheCodeWindowsGives)
{
    Mta mta;
    const Case cases[] = {
        // 1. The service's own states, not camera response codes.
        {"commands before Open", nullptr,
         [](IPortableDevice*) {
             ComPtr<IPortableDevice> fresh;
             create(CLSID_PortableDeviceFTM, fresh);
             return send(fresh.Get(), executeCommand(12, kSetRemoteMode, {1}).Get()).hr;
         },
         static_cast<HRESULT>(0x802A0002)},
        {"opened twice", nullptr,
         [](IPortableDevice* device) {
             ComPtr<IPortableDeviceValues> info;
             create(CLSID_PortableDeviceValues, info);
             return device->Open(kCamera.c_str(), info.Get());
         },
         static_cast<HRESULT>(0x802A0001)},
        // 2. VARTYPEs, and OPERATION_PARAMS required even when there are none.
        {"operation code as text", nullptr,
         [](IPortableDevice* d) {
             return withWrongType(d, executeCommand(12, kSetRemoteMode, {1}), WPD_PROPERTY_MTP_EXT_OPERATION_CODE);
         },
         kInvalidData},
        {"a parameter as VT_UI2", nullptr,
         [](IPortableDevice* d) {
             auto params = executeCommand(12, kSetRemoteMode, {});
             ComPtr<IPortableDevicePropVariantCollection> list;
             params->GetIPortableDevicePropVariantCollectionValue(WPD_PROPERTY_MTP_EXT_OPERATION_PARAMS, &list);
             PROPVARIANT v;
             PropVariantInit(&v);
             v.vt = VT_UI2;
             v.uiVal = 1;
             list->Add(&v);
             return driverOf(d, params.Get());
         },
         kInvalidData},
        {"context as a number", nullptr,
         [](IPortableDevice* d) { return readWithWrongType(d, WPD_PROPERTY_MTP_EXT_TRANSFER_CONTEXT); },
         kInvalidData},
        {"byte count as text", nullptr,
         [](IPortableDevice* d) { return readWithWrongType(d, WPD_PROPERTY_MTP_EXT_TRANSFER_NUM_BYTES_TO_READ); },
         kInvalidData},
        {"buffer as text", nullptr,
         [](IPortableDevice* d) { return readWithWrongType(d, WPD_PROPERTY_MTP_EXT_TRANSFER_DATA); },
         kInvalidData},
        {"no OPERATION_PARAMS", nullptr,
         [](IPortableDevice* d) {
             auto bare = command(wpd::kExecuteWithoutDataPhase);
             bare->SetUnsignedIntegerValue(WPD_PROPERTY_MTP_EXT_OPERATION_CODE, kSetRemoteMode);
             return driverOf(d, bare.Get());
         },
         E_INVALIDARG},
        // 3. RESPONSE_PARAMS is optional.
        {"response parameters after a refusal", nullptr,
         [](IPortableDevice* d) {
             const Sent sent = send(d, executeCommand(12, 0x9999, {}).Get());  // 0x2005
             ComPtr<IPortableDevicePropVariantCollection> list;
             return sent.results->GetIPortableDevicePropVariantCollectionValue(WPD_PROPERTY_MTP_EXT_RESPONSE_PARAMS,
                                                                               &list);
         },
         kNotFound},
        {"response parameters from a driver that never sends them",
         [](sim::ServiceRules& r) { r.responseParamsNever = true; },
         [](IPortableDevice* d) {
             const Sent sent = send(d, executeCommand(12, kSetRemoteMode, {1}).Get());  // 0x2001
             ComPtr<IPortableDevicePropVariantCollection> list;
             return sent.results->GetIPortableDevicePropVariantCollectionValue(WPD_PROPERTY_MTP_EXT_RESPONSE_PARAMS,
                                                                               &list);
         },
         kNotFound},
        // 4. One transaction at a time: a data phase left open blocks the next operation.
        {"transfer never ended", nullptr,
         [](IPortableDevice* d) {
             startTransfer(d);
             return driverOf(d, executeCommand(12, kSetRemoteMode, {1}).Get());
         },
         HRESULT_FROM_WIN32(ERROR_BUSY)},
        {"second data phase over the first", nullptr,
         [](IPortableDevice* d) {
             startTransfer(d);
             return driverOf(d, executeCommand(13, kGetDeviceInfo, {}).Get());
         },
         HRESULT_FROM_WIN32(ERROR_BUSY)},
        // 5. No zero-length buffers, either way.
        {"empty request buffer", nullptr,
         [](IPortableDevice*) {
             ComPtr<IPortableDeviceValues> v;
             create(CLSID_PortableDeviceValues, v);
             BYTE none = 0;
             return v->SetBufferValue(WPD_PROPERTY_MTP_EXT_TRANSFER_DATA, &none, 0);
         },
         E_INVALIDARG},
        {"a buffer expected from a read that delivers nothing", nullptr,
         [](IPortableDevice* d) {
             const auto context = startTransfer(d);
             send(d, readCommand(context, 391).Get());  // the whole dataset
             const Sent empty = send(d, readCommand(context, 100).Get());
             BYTE* data = nullptr;
             DWORD size = 0;
             const HRESULT hr = empty.results->GetBufferValue(WPD_PROPERTY_MTP_EXT_TRANSFER_DATA, &data, &size);
             CoTaskMemFree(data);
             return hr;
         },
         kNotFound},
        // 6. Device texts and the device list.
        {"unknown device id", nullptr,
         [](IPortableDevice*) {
             ComPtr<IPortableDeviceManager> m;
             create(CLSID_PortableDeviceManager, m);
             DWORD chars = 0;
             return m->GetDeviceFriendlyName(L"no such device", nullptr, &chars);
         },
         kInvalidData},
        {"the second call's count taken as the text's length", nullptr,
         [](IPortableDevice*) {
             ComPtr<IPortableDeviceManager> m;
             create(CLSID_PortableDeviceManager, m);
             WCHAR buffer[100] = {};
             DWORD chars = 100;
             m->GetDeviceFriendlyName(kCamera.c_str(), buffer, &chars);
             // The count is still the buffer's size, not the text's "EOS" plus terminator.
             return static_cast<HRESULT>(chars);
         },
         100},
        {"a device array too small", nullptr,
         [](IPortableDevice*) {
             ComPtr<IPortableDeviceManager> m;
             create(CLSID_PortableDeviceManager, m);
             LPWSTR ids[1] = {};
             DWORD count = 1;
             const HRESULT hr = m->GetDevices(ids, &count);
             CoTaskMemFree(ids[0]);
             return hr;
         },
         S_FALSE},
        // 7. Commands on a read-only connection: refused by default, allowed by the switch.
        {"commands on a read-only connection", nullptr,
         [](IPortableDevice*) { return commandOnReadOnly(); },
         E_ACCESSDENIED},
        {"commands on a read-only connection that lets them through",
         [](sim::ServiceRules& r) { r.readOnlyCommands = true; },
         [](IPortableDevice*) { return commandOnReadOnly(); },
         S_OK},
        // 8. Of unknown size, the data ends with the first short chunk; reading on fails.
        {"unknown size taken as a length", [](sim::ServiceRules& r) { r.unknownTotalSize = true; },
         [](IPortableDevice* d) {
             const Sent start = send(d, executeCommand(13, kGetDeviceInfo, {}).Get());
             ULONGLONG total = 0;
             start.results->GetUnsignedLargeIntegerValue(WPD_PROPERTY_MTP_EXT_TRANSFER_TOTAL_DATA_SIZE, &total);
             if (total != 0xFFFFFFFF)
                 return E_UNEXPECTED;
             const auto context = stringValue(start.results.Get(), WPD_PROPERTY_MTP_EXT_TRANSFER_CONTEXT).value();
             send(d, readCommand(context, 1000).Get());  // 391 bytes: the end
             return driverOf(d, readCommand(context, 609).Get());
         },
         static_cast<HRESULT>(0x80070026)},
    };
    for (const auto& c : cases) {
        auto camera = std::make_shared<ScriptedCamera>();
        camera->replies[kGetDeviceInfo] = {0x2001, std::vector<std::uint8_t>(391, 0x11)};
        camera->replies[kSetRemoteMode] = {0x2001, {}};
        sim::Scenario s;
        s.devices = {device(kCamera, camera), device(L"second")};
        s.devices[0].friendlyName = L"EOS";
        if (c.rules)
            c.rules(s.rules);
        sim::Registration registration(s);
        {
            auto opened = openDevice(kCamera);
            ASSERT_TRUE(opened) << c.rule;
            EXPECT_EQ(c.client(opened.Get()), c.expected) << c.rule;
        }
        EXPECT_EQ(sim::outstanding(), "") << c.rule;
    }
}

TEST(WindowsRules, CloseEndsAnOpenTransferAndTheNextSessionStartsClean)
{
    Mta mta;
    auto camera = std::make_shared<ScriptedCamera>();
    camera->replies[kGetDeviceInfo] = {0x2001, std::vector<std::uint8_t>(391, 0x11)};
    camera->replies[kSetRemoteMode] = {0x2001, {}};
    sim::Scenario s;
    s.devices = {device(kCamera, camera)};
    sim::Registration registration(s);
    {
        auto first = openDevice(kCamera);
        ASSERT_TRUE(first);
        const auto context = startTransfer(first.Get());
        EXPECT_EQ(first->Close(), S_OK);
        auto second = openDevice(kCamera);
        ASSERT_TRUE(second);
        EXPECT_EQ(driverOf(second.Get(), executeCommand(12, kSetRemoteMode, {1}).Get()), S_OK);
        // The first transfer's context is gone with its session.
        EXPECT_EQ(driverOf(second.Get(), endCommand(context).Get()), kNotFound);
    }
    EXPECT_EQ(sim::outstanding(), "");
}
