#include "reading/read_camera.h"

#include "device/wpd_api.h"
#include "sim/service/accounting.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <string>
#include <vector>

namespace {
constexpr wchar_t kNoCamera[] = L"No Canon or Fujifilm camera found. Check that it's switched on, the cable carries "
                                L"data, and EOS Utility is closed. Then click Read camera again.";
}  // namespace

// The device list from a manager of this test's own, for what the simulated one never does:
// report more identifiers than the array holds, or fill the array and then fail.
namespace {

class ListingManager final : public IPortableDeviceManager, public IClassFactory {
public:
    enum class Mode { ReportsMoreThanTheArray, FillsThenFails };
    explicit ListingManager(Mode mode) : mode_(mode) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IClassFactory))
            *ppv = static_cast<IClassFactory*>(this);
        else if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPortableDeviceManager))
            *ppv = static_cast<IPortableDeviceManager*>(this);
        else
            return *ppv = nullptr, E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID riid, void** ppv) override
    {
        return QueryInterface(riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

    HRESULT STDMETHODCALLTYPE GetDevices(LPWSTR* ids, DWORD* count) override
    {
        if (!ids) {
            *count = kDevices;
            return S_OK;
        }
        for (DWORD i = 0; i < *count; ++i) {
            ids[i] = static_cast<LPWSTR>(CoTaskMemAlloc(8 * sizeof(wchar_t)));
            lstrcpyW(ids[i], i == 0 ? L"dev0" : L"devN");
        }
        if (mode_ == Mode::FillsThenFails)
            return E_FAIL;
        *count = kDevices + 5;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RefreshDeviceList() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetDeviceFriendlyName(LPCWSTR id, WCHAR* buffer, DWORD* chars) override
    {
        return text(id, buffer, chars);
    }
    HRESULT STDMETHODCALLTYPE GetDeviceDescription(LPCWSTR id, WCHAR* buffer, DWORD* chars) override
    {
        return text(id, buffer, chars);
    }
    HRESULT STDMETHODCALLTYPE GetDeviceManufacturer(LPCWSTR id, WCHAR* buffer, DWORD* chars) override
    {
        return text(id, buffer, chars);
    }
    HRESULT STDMETHODCALLTYPE GetDeviceProperty(LPCWSTR, LPCWSTR, BYTE*, DWORD*, DWORD*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetPrivateDevices(LPWSTR*, DWORD*) override { return E_NOTIMPL; }

    static constexpr DWORD kDevices = 2;
    long refs = 1;

private:
    // Every text is the identifier itself.
    static HRESULT text(LPCWSTR id, WCHAR* buffer, DWORD* chars)
    {
        const DWORD needed = lstrlenW(id) + 1;
        if (buffer && *chars >= needed)
            lstrcpyW(buffer, id);
        *chars = needed;
        return S_OK;
    }

    Mode mode_;
};

}  // namespace

TEST(ReadCameraListing, NeverReadsPastTheArrayAndFreesEveryIdentifier)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ASSERT_TRUE(sim::watchTaskAllocator());
    struct Case {
        ListingManager::Mode mode;
        std::vector<std::wstring> lines;
    };
    const Case cases[] = {
        {ListingManager::Mode::ReportsMoreThanTheArray,
         {L"Portable devices found: 2", L"  1. dev0  [dev0]  dev0", L"  2. devN  [devN]  devN"}},
        {ListingManager::Mode::FillsThenFails, {L"Portable devices found: 0"}},
    };
    for (const auto& c : cases) {
        ListingManager manager(c.mode);
        DWORD cookie = 0;
        ASSERT_EQ(CoRegisterClassObject(CLSID_PortableDeviceManager, static_cast<IClassFactory*>(&manager),
                                        CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie),
                  S_OK);
        const std::uint64_t mark = sim::allocationMark();
        std::vector<std::wstring> lines;
        const Reading r = readCamera([&](const std::wstring& line) { lines.push_back(line); }, [](unsigned) {});
        CoRevokeClassObject(cookie);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.message, kNoCamera);
        EXPECT_EQ(lines, c.lines);
        EXPECT_TRUE(sim::liveBlocksSince(mark).empty()) << sim::outstanding(mark);
        EXPECT_EQ(manager.refs, 1);
    }
    CoUninitialize();
}
