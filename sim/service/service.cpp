#include "service.h"

#include "device/wpd_api.h"

#include <atomic>

#include "objects.h"
#include "service_state.h"
#include "values.h"

namespace sim {
namespace {

std::atomic<long> gLocks{0};

std::shared_ptr<ServiceState> stateOrEmpty()
{
    if (auto s = currentState())
        return s;
    setScenario({});
    return currentState();
}

class ClassFactory final : public IClassFactory {
public:
    ClassFactory(const CLSID& clsid, Call call) : clsid_(clsid), call_(call) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (IsEqualIID(riid, __uuidof(IUnknown)) || IsEqualIID(riid, IID_IClassFactory)) {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // The four factories live as long as the process.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        auto state = stateOrEmpty();
        Record r;
        r.call = call_;
        const Fault f = state->effect(call_);
        if (f.result && FAILED(*f.result)) {
            r.result = *f.result;
            state->record(r);
            return r.result;
        }
        Microsoft::WRL::ComPtr<IUnknown> object;
        switch (call_) {
        case Call::CreateManager: object = makeManager(state); break;
        case Call::CreateDevice: object = makeDevice(state); break;
        case Call::CreateValues: object = makeValues(ObjectKind::Values); break;
        default: object = makeCollection(); break;
        }
        r.result = object->QueryInterface(riid, ppv);
        state->record(r);
        return r.result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        lock ? ++gLocks : --gLocks;
        return S_OK;
    }

    const CLSID& clsid() const { return clsid_; }

private:
    const CLSID clsid_;
    const Call call_;
};

ClassFactory gFactories[] = {
    {CLSID_PortableDeviceManager, Call::CreateManager},
    {CLSID_PortableDeviceFTM, Call::CreateDevice},
    {CLSID_PortableDeviceValues, Call::CreateValues},
    {CLSID_PortableDevicePropVariantCollection, Call::CreateCollection},
};

}  // namespace

IClassFactory* classFactory(REFCLSID clsid)
{
    for (auto& f : gFactories)
        if (IsEqualCLSID(f.clsid(), clsid))
            return &f;
    return nullptr;
}

long serverLocks() { return gLocks.load(); }

void setScenario(Scenario scenario) { setCurrentState(std::make_shared<ServiceState>(std::move(scenario))); }

std::vector<Record> records()
{
    auto s = currentState();
    return s ? s->records() : std::vector<Record>{};
}

std::vector<Record> records(Call call)
{
    std::vector<Record> out;
    for (auto& r : records())
        if (r.call == call)
            out.push_back(std::move(r));
    return out;
}

void clearRecords()
{
    if (auto s = currentState())
        s->clearRecords();
}

Registration::Registration(Scenario scenario)
{
    watchTaskAllocator();
    setScenario(std::move(scenario));
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    keeper_ = std::thread([this, ready, stop = stop_] { keep(ready, stop); });
    WaitForSingleObject(ready, INFINITE);
    CloseHandle(ready);
    accounting::setCurrentMark(allocationMark());
}

// Class objects registered from an STA are not seen by MTA callers under Wine, and a
// registration lasts only while its apartment does: this thread holds the MTA open.
void Registration::keep(HANDLE ready, HANDLE stop)
{
    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const bool initialized = SUCCEEDED(hr);
    DWORD cookies[4] = {};
    int registered = 0;
    if (initialized) {
        for (auto& f : gFactories) {
            hr = CoRegisterClassObject(f.clsid(), &f, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookies[registered]);
            if (FAILED(hr))
                break;
            ++registered;
        }
    }
    result_ = hr;
    SetEvent(ready);
    WaitForSingleObject(stop, INFINITE);
    for (int i = 0; i < registered; ++i)
        CoRevokeClassObject(cookies[i]);
    if (initialized)
        CoUninitialize();
}

Registration::~Registration()
{
    SetEvent(stop_);
    keeper_.join();
    CloseHandle(stop_);
}

}  // namespace sim
