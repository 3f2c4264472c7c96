#pragma once
// IUnknown for the simulated service's classes: an atomic reference count, QueryInterface for
// IUnknown and the one interface, and the per-class accounting of live objects.

#include <windows.h>
#include <unknwn.h>

#include <wrl/client.h>

#include <atomic>

#include "accounting.h"

namespace sim {

template <typename Interface>
class ComObject : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (IsEqualIID(riid, __uuidof(IUnknown)) || IsEqualIID(riid, __uuidof(Interface))) {
            *ppv = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG left = --refs_;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    explicit ComObject(ObjectKind kind) : kind_(kind) { accounting::objectCreated(kind_); }
    virtual ~ComObject() { accounting::objectDestroyed(kind_); }
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

private:
    const ObjectKind kind_;
    std::atomic<ULONG> refs_{1};
};

// Takes over the reference a new object starts with. (mingw-w64's ComPtr::Attach adds a
// reference of its own, unlike the SDK's, so it would leak every object.)
template <typename I>
Microsoft::WRL::ComPtr<I> adopt(I* fresh)
{
    Microsoft::WRL::ComPtr<I> p;
    *p.GetAddressOf() = fresh;
    return p;
}

}  // namespace sim
