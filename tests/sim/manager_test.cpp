// The simulated manager and class factories: creation, the device list and the three texts,
// each with its scripted faults.
#include <gtest/gtest.h>

#include "sim_client.h"

using namespace simtest;

namespace {

sim::Scenario threeDevices()
{
    sim::Scenario s;
    s.devices = {device(L"\\\\?\\usb#vid_04a9&pid_3218#1"), device(L"\\\\?\\usb#vid_04cb&pid_02d7#2"),
                 device(L"\\\\?\\usb#vid_04b0&pid_0429#3")};
    s.devices[0].friendlyName = L"Canon EOS 80D";
    s.devices[0].manufacturer = L"Canon Inc.";
    s.devices[0].description = L"Canon EOS 80D";
    s.devices[1].friendlyName = L"X-T3";
    s.devices[1].manufacturer = L"FUJIFILM";
    // A driver that pads the text: the reported length covers what follows the early zero.
    s.devices[2].friendlyName = std::wstring(L"D750\0garbage", 12);
    s.devices[2].manufacturer = L"Nikon Corporation";
    return s;
}

std::vector<std::wstring> listDevices(IPortableDeviceManager* m)
{
    DWORD count = 0;
    if (FAILED(m->GetDevices(nullptr, &count)) || count == 0)
        return {};
    std::vector<LPWSTR> ids(count, nullptr);
    if (FAILED(m->GetDevices(ids.data(), &count)))
        return {};
    std::vector<std::wstring> out;
    for (DWORD i = 0; i < count; ++i)
        out.push_back(ids[i]);
    for (LPWSTR id : ids)
        CoTaskMemFree(id);
    return out;
}

using TextMethod = HRESULT (STDMETHODCALLTYPE IPortableDeviceManager::*)(LPCWSTR, WCHAR*, DWORD*);

// The two-call protocol; the whole buffer as filled, zeros included.
std::wstring rawText(IPortableDeviceManager* m, TextMethod method, const std::wstring& id, HRESULT* hr = nullptr)
{
    DWORD chars = 0;
    HRESULT result = (m->*method)(id.c_str(), nullptr, &chars);
    std::wstring buffer(chars, L'\x1');
    if (SUCCEEDED(result) && chars)
        result = (m->*method)(id.c_str(), buffer.data(), &chars);
    if (hr)
        *hr = result;
    return SUCCEEDED(result) ? buffer : std::wstring();
}

}  // namespace

TEST(SimManager, EachClassIsCreatedThroughCoCreateInstanceFromAnMtaThread)
{
    Mta mta;
    sim::Registration registration;
    ASSERT_EQ(registration.result(), S_OK);
    ComPtr<IPortableDeviceManager> manager;
    ComPtr<IPortableDevice> device;
    ComPtr<IPortableDeviceValues> values;
    ComPtr<IPortableDevicePropVariantCollection> collection;
    EXPECT_EQ(create(CLSID_PortableDeviceManager, manager), S_OK);
    EXPECT_EQ(create(CLSID_PortableDeviceFTM, device), S_OK);
    EXPECT_EQ(create(CLSID_PortableDeviceValues, values), S_OK);
    EXPECT_EQ(create(CLSID_PortableDevicePropVariantCollection, collection), S_OK);
    for (auto kind : {sim::ObjectKind::Manager, sim::ObjectKind::Device, sim::ObjectKind::Values,
                      sim::ObjectKind::Collection})
        EXPECT_EQ(sim::liveObjects(kind), 1) << sim::objectKindName(kind);

    // Asking a class for an interface it lacks fails cleanly.
    ComPtr<IPortableDevice> wrong;
    EXPECT_EQ(CoCreateInstance(CLSID_PortableDeviceManager, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&wrong)),
              E_NOINTERFACE);
    manager.Reset(), device.Reset(), values.Reset(), collection.Reset();
    EXPECT_EQ(sim::outstanding(), "");
}

TEST(SimManager, OnlyTheNthCreationOfAClassFails)
{
    Mta mta;
    struct Case {
        sim::Call call;
        const CLSID& clsid;
    };
    const Case cases[] = {
        {sim::Call::CreateManager, CLSID_PortableDeviceManager},
        {sim::Call::CreateDevice, CLSID_PortableDeviceFTM},
        {sim::Call::CreateValues, CLSID_PortableDeviceValues},
        {sim::Call::CreateCollection, CLSID_PortableDevicePropVariantCollection},
    };
    for (const auto& c : cases) {
        sim::Scenario s;
        sim::Fault f;
        f.call = c.call;
        f.nth = 2;
        f.result = E_OUTOFMEMORY;
        s.faults.push_back(f);
        sim::Registration registration(s);
        std::vector<HRESULT> got;
        for (int i = 0; i < 3; ++i) {
            ComPtr<IUnknown> object;
            got.push_back(CoCreateInstance(c.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object)));
            EXPECT_EQ(object != nullptr, SUCCEEDED(got.back()));
        }
        EXPECT_EQ(got, (std::vector<HRESULT>{S_OK, E_OUTOFMEMORY, S_OK})) << sim::callName(c.call);
        const auto created = sim::records(c.call);
        ASSERT_EQ(created.size(), 3u);
        EXPECT_EQ(created[1].result, E_OUTOFMEMORY);
        EXPECT_EQ(sim::outstanding(), "");
    }
}

TEST(SimManager, ListsTheDevicesInTwoCalls)
{
    Mta mta;
    sim::Registration registration(threeDevices());
    ComPtr<IPortableDeviceManager> m;
    ASSERT_EQ(create(CLSID_PortableDeviceManager, m), S_OK);
    EXPECT_EQ(m->RefreshDeviceList(), S_OK);
    DWORD count = 0;
    ASSERT_EQ(m->GetDevices(nullptr, &count), S_OK);
    ASSERT_EQ(count, 3u);
    LPWSTR ids[3] = {};
    ASSERT_EQ(m->GetDevices(ids, &count), S_OK);
    EXPECT_EQ(count, 3u);
    EXPECT_STREQ(ids[0], L"\\\\?\\usb#vid_04a9&pid_3218#1");
    EXPECT_STREQ(ids[2], L"\\\\?\\usb#vid_04b0&pid_0429#3");
    // Every id is the caller's to free.
    EXPECT_NE(sim::outstanding().find("GetDevices"), std::string::npos);
    for (LPWSTR id : ids)
        CoTaskMemFree(id);

    // A smaller array gets only as many ids, and the count and S_FALSE say so.
    LPWSTR one[1] = {};
    count = 1;
    ASSERT_EQ(m->GetDevices(one, &count), S_FALSE);
    EXPECT_EQ(count, 1u);
    CoTaskMemFree(one[0]);

    const auto calls = sim::records();
    ASSERT_EQ(calls.size(), 5u);  // create, refresh, three GetDevices
    EXPECT_EQ(calls[1].call, sim::Call::RefreshDeviceList);
    EXPECT_FALSE(calls[2].withBuffer);
    EXPECT_TRUE(calls[3].withBuffer);
    m.Reset();
    EXPECT_EQ(sim::outstanding(), "");
}

TEST(SimManager, GetDevicesFaults)
{
    Mta mta;
    {
        // The first call fails: the count is left alone.
        sim::Scenario s = threeDevices();
        s.faults.push_back({.call = sim::Call::GetDevices, .nth = 1, .result = E_FAIL});
        sim::Registration registration(s);
        ComPtr<IPortableDeviceManager> m;
        ASSERT_EQ(create(CLSID_PortableDeviceManager, m), S_OK);
        DWORD count = 0;
        EXPECT_EQ(m->GetDevices(nullptr, &count), E_FAIL);
        EXPECT_EQ(count, 0u);
        // The second fails: nothing is filled.
        EXPECT_EQ(listDevices(m.Get()).size(), 3u);
    }
    {
        sim::Scenario s = threeDevices();
        s.faults.push_back({.call = sim::Call::GetDevices, .nth = 2, .result = E_FAIL});
        sim::Registration registration(s);
        ComPtr<IPortableDeviceManager> m;
        ASSERT_EQ(create(CLSID_PortableDeviceManager, m), S_OK);
        DWORD count = 0;
        ASSERT_EQ(m->GetDevices(nullptr, &count), S_OK);
        std::vector<LPWSTR> ids(count, nullptr);
        EXPECT_EQ(m->GetDevices(ids.data(), &count), E_FAIL);
        EXPECT_EQ(ids, std::vector<LPWSTR>(3, nullptr));
        m.Reset();
        EXPECT_EQ(sim::outstanding(), "");
    }
    {
        // A device that goes away between the two calls: three announced, two filled.
        sim::Scenario s = threeDevices();
        s.faults.push_back({.call = sim::Call::GetDevices, .nth = 2, .count = 2});
        sim::Registration registration(s);
        ComPtr<IPortableDeviceManager> m;
        ASSERT_EQ(create(CLSID_PortableDeviceManager, m), S_OK);
        DWORD count = 0;
        ASSERT_EQ(m->GetDevices(nullptr, &count), S_OK);
        ASSERT_EQ(count, 3u);
        std::vector<LPWSTR> ids(count, nullptr);
        EXPECT_EQ(m->GetDevices(ids.data(), &count), S_OK);
        EXPECT_EQ(count, 2u);
        EXPECT_EQ(ids[2], nullptr);
        for (LPWSTR id : ids)
            CoTaskMemFree(id);
        m.Reset();
        EXPECT_EQ(sim::outstanding(), "");
    }
}

TEST(SimManager, TheThreeTextsInTwoCalls)
{
    Mta mta;
    sim::Registration registration(threeDevices());
    ComPtr<IPortableDeviceManager> m;
    ASSERT_EQ(create(CLSID_PortableDeviceManager, m), S_OK);
    const auto ids = listDevices(m.Get());
    ASSERT_EQ(ids.size(), 3u);
    using M = IPortableDeviceManager;
    EXPECT_EQ(rawText(m.Get(), &M::GetDeviceFriendlyName, ids[0]), std::wstring(L"Canon EOS 80D", 14));
    EXPECT_EQ(rawText(m.Get(), &M::GetDeviceManufacturer, ids[0]), std::wstring(L"Canon Inc.", 11));
    EXPECT_EQ(rawText(m.Get(), &M::GetDeviceDescription, ids[0]), std::wstring(L"Canon EOS 80D", 14));
    EXPECT_EQ(rawText(m.Get(), &M::GetDeviceDescription, ids[1]), std::wstring(1, L'\0'));  // empty text
    // The length covers the characters after the early zero.
    EXPECT_EQ(rawText(m.Get(), &M::GetDeviceFriendlyName, ids[2]), std::wstring(L"D750\0garbage", 13));

    DWORD chars = 0;
    ASSERT_EQ(m->GetDeviceManufacturer(ids[2].c_str(), nullptr, &chars), S_OK);
    EXPECT_EQ(chars, 18u);
    std::wstring small(4, L'\0');
    chars = 4;
    EXPECT_EQ(m->GetDeviceManufacturer(ids[2].c_str(), small.data(), &chars),
              HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(chars, 18u);
    chars = 0;
    EXPECT_EQ(m->GetDeviceFriendlyName(L"no such device", nullptr, &chars), HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
    // With a buffer, the count stays the buffer's size.
    std::wstring roomy(40, L'\0');
    chars = 40;
    EXPECT_EQ(m->GetDeviceManufacturer(ids[2].c_str(), roomy.data(), &chars), S_OK);
    EXPECT_EQ(chars, 40u);

    const auto queries = sim::records(sim::Call::GetDeviceFriendlyName);
    ASSERT_GE(queries.size(), 2u);
    EXPECT_FALSE(queries[0].withBuffer);
    EXPECT_TRUE(queries[1].withBuffer);
    EXPECT_EQ(queries[1].device, ids[0]);
}

TEST(SimManager, TextFaults)
{
    Mta mta;
    sim::Scenario s = threeDevices();
    const std::wstring canon = s.devices[0].id;
    s.faults = {
        // The friendly name's length query fails; the manufacturer's fill fails; the
        // description's length comes back as 0.
        {.call = sim::Call::GetDeviceFriendlyName, .nth = 1, .result = E_FAIL},
        {.call = sim::Call::GetDeviceManufacturer, .nth = 2, .result = static_cast<std::int32_t>(0x8007048F)},
        {.call = sim::Call::GetDeviceDescription, .device = canon, .count = 0},
    };
    sim::Registration registration(s);
    ComPtr<IPortableDeviceManager> m;
    ASSERT_EQ(create(CLSID_PortableDeviceManager, m), S_OK);
    using M = IPortableDeviceManager;
    HRESULT hr = S_OK;
    EXPECT_EQ(rawText(m.Get(), &M::GetDeviceFriendlyName, canon, &hr), L"");
    EXPECT_EQ(hr, E_FAIL);
    EXPECT_EQ(rawText(m.Get(), &M::GetDeviceFriendlyName, canon, &hr), std::wstring(L"Canon EOS 80D", 14));
    EXPECT_EQ(rawText(m.Get(), &M::GetDeviceManufacturer, canon, &hr), L"");
    EXPECT_EQ(hr, static_cast<HRESULT>(0x8007048F));
    DWORD chars = 99;
    EXPECT_EQ(m->GetDeviceDescription(canon.c_str(), nullptr, &chars), S_OK);
    EXPECT_EQ(chars, 0u);
    chars = 99;
    EXPECT_EQ(m->GetDeviceDescription(s.devices[1].id.c_str(), nullptr, &chars), S_OK);
    EXPECT_EQ(chars, 1u);  // the fault names the Canon only
}
