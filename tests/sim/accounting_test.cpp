// The accounting must be able to fail: a kept interface and a kept task-allocator block are
// both reported, and reported no more once returned.
#include <gtest/gtest.h>

#include "sim_client.h"

using namespace simtest;

TEST(SimAccounting, TheTaskAllocatorIsWatched)
{
    Mta mta;
    sim::Registration registration;
    ASSERT_TRUE(sim::watchTaskAllocator());
    const auto mark = sim::allocationMark();
    void* block = CoTaskMemAlloc(77);
    auto live = sim::liveBlocksSince(mark);
    ASSERT_EQ(live.size(), 1u);
    EXPECT_EQ(live[0].size, 77u);
    block = CoTaskMemRealloc(block, 200);
    live = sim::liveBlocksSince(mark);
    ASSERT_EQ(live.size(), 1u);
    EXPECT_EQ(live[0].size, 200u);
    CoTaskMemFree(block);
    EXPECT_TRUE(sim::liveBlocksSince(mark).empty());
}

TEST(SimAccounting, AKeptInterfaceIsCaught)
{
    Mta mta;
    sim::Registration registration;
    ComPtr<IPortableDeviceValues> kept;
    ASSERT_EQ(create(CLSID_PortableDeviceValues, kept), S_OK);
    kept->SetStringValue(WPD_CLIENT_NAME, L"kept");
    const std::string report = sim::outstanding();
    EXPECT_NE(report.find("1 live values object"), std::string::npos) << report;
    EXPECT_NE(report.find("task-allocator block"), std::string::npos) << report;  // its stored string
    kept.Reset();
    EXPECT_EQ(sim::outstanding(), "");
}

TEST(SimAccounting, AKeptResultsSetAndCollectionAreCaught)
{
    Mta mta;
    auto camera = std::make_shared<ScriptedCamera>();
    camera->replies[0x9114] = {0x2001, {}};  // response parameters come with a success only
    sim::Scenario s;
    s.devices.push_back(device(L"cam", camera));
    sim::Registration registration(s);
    auto device = openDevice(L"cam");
    ASSERT_TRUE(device);
    auto sent = send(device.Get(), executeCommand(12, 0x9114, {1}).Get());
    ComPtr<IPortableDevicePropVariantCollection> responseParams;
    sent.results->GetIPortableDevicePropVariantCollectionValue(WPD_PROPERTY_MTP_EXT_RESPONSE_PARAMS, &responseParams);
    sent.results.Reset();
    device.Reset();
    const std::string report = sim::outstanding();
    EXPECT_NE(report.find("1 live collection object"), std::string::npos) << report;
    responseParams.Reset();
    EXPECT_EQ(sim::outstanding(), "");

    device = openDevice(L"cam");
    IPortableDeviceValues* leaked = nullptr;
    ASSERT_EQ(device->SendCommand(0, executeCommand(12, 0x9114, {1}).Get(), &leaked), S_OK);
    device.Reset();
    EXPECT_NE(sim::outstanding().find("1 live results object"), std::string::npos);
    leaked->Release();
    EXPECT_EQ(sim::outstanding(), "");
}

TEST(SimAccounting, AKeptBufferIsCaughtByWhatHandedItOut)
{
    Mta mta;
    sim::Registration registration;
    ComPtr<IPortableDeviceValues> v;
    ASSERT_EQ(create(CLSID_PortableDeviceValues, v), S_OK);
    BYTE bytes[16] = {};
    v->SetBufferValue(WPD_PROPERTY_MTP_EXT_TRANSFER_DATA, bytes, sizeof bytes);
    BYTE* kept = nullptr;
    DWORD size = 0;
    ASSERT_EQ(v->GetBufferValue(WPD_PROPERTY_MTP_EXT_TRANSFER_DATA, &kept, &size), S_OK);
    LPWSTR keptText = nullptr;
    v->SetStringValue(WPD_PROPERTY_MTP_EXT_TRANSFER_CONTEXT, L"ctx");
    ASSERT_EQ(v->GetStringValue(WPD_PROPERTY_MTP_EXT_TRANSFER_CONTEXT, &keptText), S_OK);
    v.Reset();
    const std::string report = sim::outstanding();
    EXPECT_NE(report.find("of 16 bytes from GetBufferValue not freed"), std::string::npos) << report;
    EXPECT_NE(report.find("of 8 bytes from GetStringValue not freed"), std::string::npos) << report;
    EXPECT_EQ(report.find("live"), std::string::npos) << report;  // the set itself came back
    CoTaskMemFree(kept);
    CoTaskMemFree(keptText);
    EXPECT_EQ(sim::outstanding(), "");
}
