// The project's own WPD declarations must match the platform's ABI: GUIDs, key numbers and
// the vtable slot of every method, since the real service is called through them.
#include "device/wpd_api.h"

#include <wrl/client.h>

#include <gtest/gtest.h>

#include <string>

namespace {

GUID guidOf(const char* text)
{
    GUID g{};
    std::wstring wide(text, text + std::char_traits<char>::length(text));
    EXPECT_EQ(CLSIDFromString(wide.c_str(), &g), S_OK) << text;
    return g;
}

// Records which method a call through a raw vtable slot reached.
struct SlotManager : IPortableDeviceManager {
    int hit = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetDevices(LPWSTR*, DWORD*) override { return hit = 1, S_OK; }
    HRESULT STDMETHODCALLTYPE RefreshDeviceList() override { return hit = 2, S_OK; }
    HRESULT STDMETHODCALLTYPE GetDeviceFriendlyName(LPCWSTR, WCHAR*, DWORD*) override { return hit = 3, S_OK; }
    HRESULT STDMETHODCALLTYPE GetDeviceDescription(LPCWSTR, WCHAR*, DWORD*) override { return hit = 4, S_OK; }
    HRESULT STDMETHODCALLTYPE GetDeviceManufacturer(LPCWSTR, WCHAR*, DWORD*) override { return hit = 5, S_OK; }
    HRESULT STDMETHODCALLTYPE GetDeviceProperty(LPCWSTR, LPCWSTR, BYTE*, DWORD*, DWORD*) override
    {
        return hit = 6, S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPrivateDevices(LPWSTR*, DWORD*) override { return hit = 7, S_OK; }
};

struct SlotDevice : IPortableDevice {
    int hit = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE Open(LPCWSTR, IPortableDeviceValues*) override { return hit = 1, S_OK; }
    HRESULT STDMETHODCALLTYPE SendCommand(DWORD, IPortableDeviceValues*, IPortableDeviceValues**) override
    {
        return hit = 2, S_OK;
    }
    HRESULT STDMETHODCALLTYPE Content(IPortableDeviceContent**) override { return hit = 3, S_OK; }
    HRESULT STDMETHODCALLTYPE Capabilities(IPortableDeviceCapabilities**) override { return hit = 4, S_OK; }
    HRESULT STDMETHODCALLTYPE Cancel() override { return hit = 5, S_OK; }
    HRESULT STDMETHODCALLTYPE Close() override { return hit = 6, S_OK; }
    HRESULT STDMETHODCALLTYPE Advise(DWORD, IPortableDeviceEventCallback*, IPortableDeviceValues*, LPWSTR*) override
    {
        return hit = 7, S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(LPCWSTR) override { return hit = 8, S_OK; }
    HRESULT STDMETHODCALLTYPE GetPnPDeviceID(LPWSTR*) override { return hit = 9, S_OK; }
};

// Calls slot `slot` of the object's vtable with the signature the platform gives that slot.
template <typename Fn, typename Obj, typename... Args>
void callSlot(Obj* obj, int slot, Args... args)
{
    void** vtable = *reinterpret_cast<void***>(obj);
    reinterpret_cast<Fn>(vtable[slot])(obj, args...);
}

}  // namespace

TEST(WpdApi, GuidsAreThePlatformOnes)
{
    struct Case {
        const GUID& declared;
        const char* text;
    };
    const Case cases[] = {
        {CLSID_PortableDeviceManager, "{0AF10CEC-2ECD-4B92-9581-34F6AE0637F3}"},
        {IID_IPortableDeviceManager, "{A1567595-4C2F-4574-A6FA-ECEF917B9A40}"},
        {CLSID_PortableDeviceFTM, "{F7C0039A-4762-488A-B4B3-760EF9A1BA9B}"},
        {IID_IPortableDevice, "{625E2DF8-6392-4CF0-9AD1-3CFA5F17775C}"},
        {CLSID_PortableDeviceValues, "{0C15D503-D017-47CE-9016-7B3F978721CC}"},
        {IID_IPortableDeviceValues, "{6848F6F2-3155-4F86-B6F5-263EEEAB3143}"},
        {CLSID_PortableDevicePropVariantCollection, "{08A99E2F-6D6D-4B80-AF5A-BAF2BCBE4CB9}"},
        {IID_IPortableDevicePropVariantCollection, "{89B2E422-4F1B-4316-BCEF-A44AFEA83EB3}"},
        {WPD_CATEGORY_MTP_EXT_VENDOR_OPERATIONS, "{4D545058-1A2E-4106-A357-771E0819FC56}"},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(IsEqualGUID(c.declared, guidOf(c.text))) << c.text;

    // __uuidof, and so IID_PPV_ARGS and ComPtr::As, must agree with the IIDs.
    EXPECT_TRUE(IsEqualGUID(__uuidof(IPortableDeviceManager), IID_IPortableDeviceManager));
    EXPECT_TRUE(IsEqualGUID(__uuidof(IPortableDevice), IID_IPortableDevice));
    EXPECT_TRUE(IsEqualGUID(__uuidof(IPortableDeviceValues), IID_IPortableDeviceValues));
    EXPECT_TRUE(IsEqualGUID(__uuidof(IPortableDevicePropVariantCollection), IID_IPortableDevicePropVariantCollection));
}

TEST(WpdApi, PropertyKeysAreThePlatformOnes)
{
    const GUID client = guidOf("{204D9F0C-2292-4080-9F42-40664E70F859}");
    const GUID common = guidOf("{F0422A9C-5DC8-4440-B5BD-5DF28835658A}");
    const GUID mtp = guidOf("{4D545058-1A2E-4106-A357-771E0819FC56}");
    struct Case {
        const PROPERTYKEY& key;
        const GUID& fmtid;
        DWORD pid;
    };
    const Case cases[] = {
        {WPD_CLIENT_NAME, client, 2},
        {WPD_CLIENT_MAJOR_VERSION, client, 3},
        {WPD_CLIENT_MINOR_VERSION, client, 4},
        {WPD_CLIENT_REVISION, client, 5},
        {WPD_CLIENT_SECURITY_QUALITY_OF_SERVICE, client, 8},
        {WPD_CLIENT_DESIRED_ACCESS, client, 9},
        {WPD_PROPERTY_COMMON_COMMAND_CATEGORY, common, 1001},
        {WPD_PROPERTY_COMMON_COMMAND_ID, common, 1002},
        {WPD_PROPERTY_COMMON_HRESULT, common, 1003},
        {WPD_COMMAND_MTP_EXT_EXECUTE_COMMAND_WITHOUT_DATA_PHASE, mtp, wpd::kExecuteWithoutDataPhase},
        {WPD_COMMAND_MTP_EXT_EXECUTE_COMMAND_WITH_DATA_TO_READ, mtp, wpd::kExecuteWithDataToRead},
        {WPD_COMMAND_MTP_EXT_EXECUTE_COMMAND_WITH_DATA_TO_WRITE, mtp, wpd::kExecuteWithDataToWrite},
        {WPD_COMMAND_MTP_EXT_READ_DATA, mtp, wpd::kReadData},
        {WPD_COMMAND_MTP_EXT_WRITE_DATA, mtp, wpd::kWriteData},
        {WPD_COMMAND_MTP_EXT_END_DATA_TRANSFER, mtp, wpd::kEndDataTransfer},
        {WPD_PROPERTY_MTP_EXT_OPERATION_CODE, mtp, 1001},
        {WPD_PROPERTY_MTP_EXT_OPERATION_PARAMS, mtp, 1002},
        {WPD_PROPERTY_MTP_EXT_RESPONSE_CODE, mtp, 1003},
        {WPD_PROPERTY_MTP_EXT_RESPONSE_PARAMS, mtp, 1004},
        {WPD_PROPERTY_MTP_EXT_TRANSFER_CONTEXT, mtp, 1006},
        {WPD_PROPERTY_MTP_EXT_TRANSFER_TOTAL_DATA_SIZE, mtp, 1007},
        {WPD_PROPERTY_MTP_EXT_TRANSFER_NUM_BYTES_TO_READ, mtp, 1008},
        {WPD_PROPERTY_MTP_EXT_TRANSFER_NUM_BYTES_READ, mtp, 1009},
        {WPD_PROPERTY_MTP_EXT_TRANSFER_DATA, mtp, 1012},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(IsEqualGUID(c.key.fmtid, c.fmtid)) << c.pid;
        EXPECT_EQ(c.key.pid, c.pid);
    }
    EXPECT_EQ(wpd::kExecuteWithoutDataPhase, 12u);
    EXPECT_EQ(wpd::kExecuteWithDataToRead, 13u);
    EXPECT_EQ(wpd::kReadData, 15u);
    EXPECT_EQ(wpd::kEndDataTransfer, 17u);
}

TEST(WpdApi, ManagerMethodsSitInThePlatformSlots)
{
    using GetList = HRESULT(STDMETHODCALLTYPE*)(IPortableDeviceManager*, LPWSTR*, DWORD*);
    using NoArgs = HRESULT(STDMETHODCALLTYPE*)(IPortableDeviceManager*);
    using GetText = HRESULT(STDMETHODCALLTYPE*)(IPortableDeviceManager*, LPCWSTR, WCHAR*, DWORD*);
    using GetProp = HRESULT(STDMETHODCALLTYPE*)(IPortableDeviceManager*, LPCWSTR, LPCWSTR, BYTE*, DWORD*, DWORD*);
    SlotManager m;
    IPortableDeviceManager* p = &m;
    const int base = 3;  // after QueryInterface, AddRef, Release
    callSlot<GetList>(p, base + 0, nullptr, nullptr);
    EXPECT_EQ(m.hit, 1);
    callSlot<NoArgs>(p, base + 1);
    EXPECT_EQ(m.hit, 2);
    for (int i = 2; i <= 4; ++i) {
        callSlot<GetText>(p, base + i, nullptr, nullptr, nullptr);
        EXPECT_EQ(m.hit, i + 1);
    }
    callSlot<GetProp>(p, base + 5, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(m.hit, 6);
    callSlot<GetList>(p, base + 6, nullptr, nullptr);
    EXPECT_EQ(m.hit, 7);
}

TEST(WpdApi, DeviceMethodsSitInThePlatformSlots)
{
    using OpenFn = HRESULT(STDMETHODCALLTYPE*)(IPortableDevice*, LPCWSTR, IPortableDeviceValues*);
    using SendFn = HRESULT(STDMETHODCALLTYPE*)(IPortableDevice*, DWORD, IPortableDeviceValues*, IPortableDeviceValues**);
    using OutFn = HRESULT(STDMETHODCALLTYPE*)(IPortableDevice*, void**);
    using NoArgs = HRESULT(STDMETHODCALLTYPE*)(IPortableDevice*);
    using AdviseFn = HRESULT(STDMETHODCALLTYPE*)(IPortableDevice*, DWORD, void*, IPortableDeviceValues*, LPWSTR*);
    using TextFn = HRESULT(STDMETHODCALLTYPE*)(IPortableDevice*, LPCWSTR);
    using IdFn = HRESULT(STDMETHODCALLTYPE*)(IPortableDevice*, LPWSTR*);
    SlotDevice d;
    IPortableDevice* p = &d;
    const int base = 3;
    struct Step {
        int slot;
        void (*call)(IPortableDevice*, int);
    };
    const Step steps[] = {
        {0, [](IPortableDevice* q, int s) { callSlot<OpenFn>(q, s, LPCWSTR{}, (IPortableDeviceValues*)nullptr); }},
        {1, [](IPortableDevice* q, int s) {
             callSlot<SendFn>(q, s, DWORD{0}, (IPortableDeviceValues*)nullptr, (IPortableDeviceValues**)nullptr);
         }},
        {2, [](IPortableDevice* q, int s) { callSlot<OutFn>(q, s, (void**)nullptr); }},
        {3, [](IPortableDevice* q, int s) { callSlot<OutFn>(q, s, (void**)nullptr); }},
        {4, [](IPortableDevice* q, int s) { callSlot<NoArgs>(q, s); }},
        {5, [](IPortableDevice* q, int s) { callSlot<NoArgs>(q, s); }},
        {6, [](IPortableDevice* q, int s) {
             callSlot<AdviseFn>(q, s, DWORD{0}, (void*)nullptr, (IPortableDeviceValues*)nullptr, (LPWSTR*)nullptr);
         }},
        {7, [](IPortableDevice* q, int s) { callSlot<TextFn>(q, s, LPCWSTR{}); }},
        {8, [](IPortableDevice* q, int s) { callSlot<IdFn>(q, s, (LPWSTR*)nullptr); }},
    };
    for (const auto& s : steps) {
        d.hit = 0;
        s.call(p, base + s.slot);
        EXPECT_EQ(d.hit, s.slot + 1) << "slot " << s.slot;
    }
}

TEST(WpdApi, IidPpvArgsNamesTheInterfaceOfAComPtr)
{
    struct Capture {
        IID iid{};
        void** out = nullptr;
        void take(REFIID riid, void** ppv) { iid = riid, out = ppv; }
    };
    Microsoft::WRL::ComPtr<IPortableDeviceManager> manager;
    Microsoft::WRL::ComPtr<IPortableDevice> device;
    Capture c;
    c.take(IID_PPV_ARGS(&manager));
    EXPECT_TRUE(IsEqualGUID(c.iid, IID_IPortableDeviceManager));
    EXPECT_EQ(c.out, reinterpret_cast<void**>(manager.GetAddressOf()));
    c.take(IID_PPV_ARGS(device.ReleaseAndGetAddressOf()));
    EXPECT_TRUE(IsEqualGUID(c.iid, IID_IPortableDevice));
}
