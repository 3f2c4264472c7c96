// The simulated values set and prop-variant collection keep the platform's semantics.
#include <gtest/gtest.h>

#include <thread>

#include "sim_client.h"
#include "values.h"

using namespace simtest;

namespace {

const HRESULT kNotFound = static_cast<HRESULT>(0x80070490);
const PROPERTYKEY kKeyA = {WPD_CATEGORY_MTP_EXT_VENDOR_OPERATIONS, 5001};
const PROPERTYKEY kKeyB = {WPD_CATEGORY_MTP_EXT_VENDOR_OPERATIONS, 5002};

class ValuesTest : public ::testing::Test {
protected:
    Mta mta;
    sim::Registration registration;
    void SetUp() override { ASSERT_EQ(registration.result(), S_OK); }
    void TearDown() override { EXPECT_EQ(sim::outstanding(), ""); }
};

}  // namespace

TEST_F(ValuesTest, TypedValuesComeBackAsSet)
{
    ComPtr<IPortableDeviceValues> v;
    ASSERT_EQ(create(CLSID_PortableDeviceValues, v), S_OK);
    const GUID guid = WPD_CATEGORY_MTP_EXT_VENDOR_OPERATIONS;
    BYTE bytes[] = {1, 2, 0, 255};
    v->SetUnsignedIntegerValue(WPD_PROPERTY_COMMON_COMMAND_ID, 0xFFFFFFFFu);
    v->SetSignedIntegerValue(kKeyA, -7);
    v->SetUnsignedLargeIntegerValue(WPD_PROPERTY_MTP_EXT_TRANSFER_TOTAL_DATA_SIZE, 40000000000ull);
    v->SetErrorValue(WPD_PROPERTY_COMMON_HRESULT, static_cast<HRESULT>(0x8007001F));
    v->SetGuidValue(WPD_PROPERTY_COMMON_COMMAND_CATEGORY, guid);
    v->SetBoolValue(kKeyB, TRUE);
    v->SetStringValue(WPD_CLIENT_NAME, L"Tallybrook");
    v->SetBufferValue(WPD_PROPERTY_MTP_EXT_TRANSFER_DATA, bytes, sizeof bytes);

    ULONG u = 0;
    LONG i = 0;
    ULONGLONG ull = 0;
    HRESULT e = 0;
    GUID g{};
    BOOL b = FALSE;
    EXPECT_EQ(v->GetUnsignedIntegerValue(WPD_PROPERTY_COMMON_COMMAND_ID, &u), S_OK);
    EXPECT_EQ(u, 0xFFFFFFFFu);
    EXPECT_EQ(v->GetSignedIntegerValue(kKeyA, &i), S_OK);
    EXPECT_EQ(i, -7);
    EXPECT_EQ(v->GetUnsignedLargeIntegerValue(WPD_PROPERTY_MTP_EXT_TRANSFER_TOTAL_DATA_SIZE, &ull), S_OK);
    EXPECT_EQ(ull, 40000000000ull);
    EXPECT_EQ(v->GetErrorValue(WPD_PROPERTY_COMMON_HRESULT, &e), S_OK);
    EXPECT_EQ(e, static_cast<HRESULT>(0x8007001F));
    EXPECT_EQ(v->GetGuidValue(WPD_PROPERTY_COMMON_COMMAND_CATEGORY, &g), S_OK);
    EXPECT_TRUE(IsEqualGUID(g, guid));
    EXPECT_EQ(v->GetBoolValue(kKeyB, &b), S_OK);
    EXPECT_TRUE(b);
    EXPECT_EQ(stringValue(v.Get(), WPD_CLIENT_NAME), L"Tallybrook");
    EXPECT_EQ(bufferValue(v.Get(), WPD_PROPERTY_MTP_EXT_TRANSFER_DATA), std::vector<std::uint8_t>({1, 2, 0, 255}));

    DWORD count = 0;
    EXPECT_EQ(v->GetCount(&count), S_OK);
    EXPECT_EQ(count, 8u);
}

TEST_F(ValuesTest, AMissingKeyIsNotFoundAndAWrongTypeAMismatch)
{
    ComPtr<IPortableDeviceValues> v;
    ASSERT_EQ(create(CLSID_PortableDeviceValues, v), S_OK);
    ULONG u = 1;
    HRESULT e = 1;
    ULONGLONG ull = 1;
    LPWSTR s = reinterpret_cast<LPWSTR>(1);
    BYTE* buffer = reinterpret_cast<BYTE*>(1);
    DWORD size = 1;
    ComPtr<IPortableDevicePropVariantCollection> c;
    EXPECT_EQ(v->GetUnsignedIntegerValue(kKeyA, &u), kNotFound);
    EXPECT_EQ(v->GetErrorValue(kKeyA, &e), kNotFound);
    EXPECT_EQ(v->GetUnsignedLargeIntegerValue(kKeyA, &ull), kNotFound);
    EXPECT_EQ(v->GetStringValue(kKeyA, &s), kNotFound);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(v->GetBufferValue(kKeyA, &buffer, &size), kNotFound);
    EXPECT_EQ(buffer, nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(v->GetIPortableDevicePropVariantCollectionValue(kKeyA, &c), kNotFound);

    v->SetUnsignedIntegerValue(kKeyA, 3);
    EXPECT_EQ(v->GetErrorValue(kKeyA, &e), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(v->GetUnsignedLargeIntegerValue(kKeyA, &ull), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(v->GetStringValue(kKeyA, &s), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(v->RemoveValue(kKeyA), S_OK);
    EXPECT_EQ(v->GetUnsignedIntegerValue(kKeyA, &u), kNotFound);
    EXPECT_EQ(v->RemoveValue(kKeyA), kNotFound);
}

TEST_F(ValuesTest, StringsAndBuffersAreCopiesBothWays)
{
    ComPtr<IPortableDeviceValues> v;
    ASSERT_EQ(create(CLSID_PortableDeviceValues, v), S_OK);
    BYTE source[3] = {7, 8, 9};
    v->SetBufferValue(kKeyA, source, 3);
    source[0] = 0;  // the set kept its own copy
    BYTE* first = nullptr;
    DWORD size = 0;
    ASSERT_EQ(v->GetBufferValue(kKeyA, &first, &size), S_OK);
    ASSERT_EQ(size, 3u);
    EXPECT_EQ(first[0], 7);
    first[1] = 0;  // and hands out copies the caller owns
    EXPECT_EQ(bufferValue(v.Get(), kKeyA), std::vector<std::uint8_t>({7, 8, 9}));
    // Until the caller frees its copy, the accounting sees it as out.
    EXPECT_NE(sim::outstanding().find("GetBufferValue"), std::string::npos);
    CoTaskMemFree(first);

    // Zero-length buffers are not supported, neither in nor out (an empty vector stored
    // through SetValue is still not handed out).
    EXPECT_EQ(v->SetBufferValue(kKeyB, source, 0), E_INVALIDARG);
    EXPECT_FALSE(has(v.Get(), kKeyB));
    PROPVARIANT empty;
    PropVariantInit(&empty);
    empty.vt = VT_VECTOR | VT_UI1;
    ASSERT_EQ(v->SetValue(kKeyB, &empty), S_OK);
    BYTE* none = nullptr;
    EXPECT_EQ(v->GetBufferValue(kKeyB, &none, &size), E_INVALIDARG);
    EXPECT_EQ(none, nullptr);

    wchar_t name[] = L"abc";
    v->SetStringValue(kKeyA, name);  // replaces the buffer under the same key
    name[0] = L'x';
    LPWSTR s1 = nullptr;
    LPWSTR s2 = nullptr;
    ASSERT_EQ(v->GetStringValue(kKeyA, &s1), S_OK);
    ASSERT_EQ(v->GetStringValue(kKeyA, &s2), S_OK);
    EXPECT_NE(s1, s2);
    EXPECT_STREQ(s1, L"abc");
    CoTaskMemFree(s1);
    CoTaskMemFree(s2);
    DWORD count = 0;
    v->GetCount(&count);
    EXPECT_EQ(count, 2u);
    PROPERTYKEY key{};
    EXPECT_EQ(v->GetAt(0, &key, nullptr), S_OK);
    EXPECT_TRUE(sim::sameKey(key, kKeyA));  // a replaced key keeps its place
    EXPECT_EQ(v->GetAt(2, &key, nullptr), E_INVALIDARG);
}

TEST_F(ValuesTest, AStoredCollectionIsHeldByReference)
{
    ComPtr<IPortableDeviceValues> v;
    ComPtr<IPortableDevicePropVariantCollection> c;
    ASSERT_EQ(create(CLSID_PortableDeviceValues, v), S_OK);
    ASSERT_EQ(create(CLSID_PortableDevicePropVariantCollection, c), S_OK);
    IPortableDevicePropVariantCollection* raw = c.Get();
    EXPECT_EQ(v->SetIPortableDevicePropVariantCollectionValue(WPD_PROPERTY_MTP_EXT_OPERATION_PARAMS, raw), S_OK);
    c.Reset();
    EXPECT_EQ(sim::liveObjects(sim::ObjectKind::Collection), 1);  // the set holds it

    ComPtr<IPortableDevicePropVariantCollection> back;
    ASSERT_EQ(v->GetIPortableDevicePropVariantCollectionValue(WPD_PROPERTY_MTP_EXT_OPERATION_PARAMS, &back), S_OK);
    EXPECT_EQ(back.Get(), raw);
    v.Reset();
    EXPECT_EQ(sim::liveObjects(sim::ObjectKind::Collection), 1);  // the caller's reference
    back.Reset();
    EXPECT_EQ(sim::liveObjects(sim::ObjectKind::Collection), 0);
}

TEST_F(ValuesTest, MethodsTheProgramNeverCallsAreNotImplemented)
{
    ComPtr<IPortableDeviceValues> v;
    ComPtr<IPortableDevicePropVariantCollection> c;
    ASSERT_EQ(create(CLSID_PortableDeviceValues, v), S_OK);
    ASSERT_EQ(create(CLSID_PortableDevicePropVariantCollection, c), S_OK);
    PROPERTYKEY k{};
    EXPECT_EQ(v->SetKeyValue(kKeyA, kKeyB), E_NOTIMPL);
    EXPECT_EQ(v->GetKeyValue(kKeyA, &k), E_NOTIMPL);
    EXPECT_EQ(v->CopyValuesFromPropertyStore(nullptr), E_NOTIMPL);
    EXPECT_EQ(v->CopyValuesToPropertyStore(nullptr), E_NOTIMPL);
    EXPECT_EQ(c->ChangeType(VT_UI4), E_NOTIMPL);
}

TEST_F(ValuesTest, CollectionKeepsTheOrderOfAdditionAndHandsOutCopies)
{
    ComPtr<IPortableDevicePropVariantCollection> c;
    ASSERT_EQ(create(CLSID_PortableDevicePropVariantCollection, c), S_OK);
    const std::uint32_t values[] = {0xD1AC, 1, 0, 0xFFFFFFFF};
    for (auto value : values) {
        PROPVARIANT pv;
        PropVariantInit(&pv);
        pv.vt = VT_UI4;
        pv.ulVal = value;
        ASSERT_EQ(c->Add(&pv), S_OK);
    }
    PROPVARIANT text;
    PropVariantInit(&text);
    text.vt = VT_LPWSTR;
    text.pwszVal = const_cast<LPWSTR>(L"five");
    ASSERT_EQ(c->Add(&text), S_OK);

    DWORD count = 0;
    ASSERT_EQ(c->GetCount(&count), S_OK);
    ASSERT_EQ(count, 5u);
    for (DWORD i = 0; i < 4; ++i) {
        PROPVARIANT pv;
        PropVariantInit(&pv);
        ASSERT_EQ(c->GetAt(i, &pv), S_OK);
        EXPECT_EQ(pv.vt, VT_UI4);
        EXPECT_EQ(pv.ulVal, values[i]);
    }
    PROPVARIANT copy;
    PropVariantInit(&copy);
    ASSERT_EQ(c->GetAt(4, &copy), S_OK);
    ASSERT_EQ(copy.vt, VT_LPWSTR);
    EXPECT_NE(copy.pwszVal, text.pwszVal);
    EXPECT_STREQ(copy.pwszVal, L"five");
    PropVariantClear(&copy);
    EXPECT_EQ(c->GetAt(5, &copy), E_INVALIDARG);
    VARTYPE vt = VT_EMPTY;
    EXPECT_EQ(c->GetType(&vt), S_OK);
    EXPECT_EQ(vt, VT_UI4);
    EXPECT_EQ(c->RemoveAt(0), S_OK);
    PropVariantInit(&copy);
    c->GetAt(0, &copy);
    EXPECT_EQ(copy.ulVal, 1u);
    EXPECT_EQ(c->Clear(), S_OK);
    c->GetCount(&count);
    EXPECT_EQ(count, 0u);
}

TEST_F(ValuesTest, OneSetIsSafeToUseFromManyThreads)
{
    ComPtr<IPortableDeviceValues> v;
    ASSERT_EQ(create(CLSID_PortableDeviceValues, v), S_OK);
    std::vector<std::thread> threads;
    for (DWORD t = 0; t < 4; ++t) {
        threads.emplace_back([&v, t] {
            Mta threadMta;
            const PROPERTYKEY key = {WPD_CATEGORY_MTP_EXT_VENDOR_OPERATIONS, 6000 + t};
            for (ULONG i = 0; i < 2000; ++i) {
                v->SetUnsignedIntegerValue(key, i);
                ULONG back = 0;
                v->GetUnsignedIntegerValue(key, &back);
                ASSERT_EQ(back, i);
                v->SetStringValue(kKeyA, L"shared");
                LPWSTR s = nullptr;
                if (SUCCEEDED(v->GetStringValue(kKeyA, &s)))
                    CoTaskMemFree(s);
            }
        });
    }
    for (auto& t : threads)
        t.join();
    DWORD count = 0;
    v->GetCount(&count);
    EXPECT_EQ(count, 5u);
}
