#include "values.h"

#include <cstring>
#include <mutex>
#include <vector>

#include "com_object.h"

namespace sim {
namespace {

const HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);

// Copies a caller's PROPVARIANT into the caller's out-parameter and names the block it got.
HRESULT copyOut(PROPVARIANT* out, const PROPVARIANT& from, const char* what)
{
    PropVariantInit(out);
    const HRESULT hr = PropVariantCopy(out, &from);
    if (FAILED(hr))
        return hr;
    switch (out->vt) {
    case VT_LPWSTR: accounting::label(out->pwszVal, what); break;
    case VT_CLSID: accounting::label(out->puuid, what); break;
    case VT_VECTOR | VT_UI1: accounting::label(out->caub.pElems, what); break;
    default: break;
    }
    return S_OK;
}

class Values final : public ComObject<IPortableDeviceValues> {
public:
    explicit Values(ObjectKind kind) : ComObject(kind) {}
    ~Values() override
    {
        for (auto& e : entries_)
            PropVariantClear(&e.value);
    }

    HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override
    {
        if (!count)
            return E_POINTER;
        std::lock_guard lock(mutex_);
        *count = static_cast<DWORD>(entries_.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAt(const DWORD index, PROPERTYKEY* key, PROPVARIANT* value) override
    {
        if (!key && !value)
            return E_POINTER;
        std::lock_guard lock(mutex_);
        if (index >= entries_.size())
            return E_INVALIDARG;
        if (key)
            *key = entries_[index].key;
        return value ? copyOut(value, entries_[index].value, "IPortableDeviceValues::GetAt") : S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY key, const PROPVARIANT* value) override
    {
        if (!value)
            return E_POINTER;
        PROPVARIANT copy;
        PropVariantInit(&copy);
        if (HRESULT hr = PropVariantCopy(&copy, value); FAILED(hr))
            return hr;
        return put(key, copy);
    }
    HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override
    {
        if (!value)
            return E_POINTER;
        return read(key, VT_EMPTY, [&](const PROPVARIANT& v) { return copyOut(value, v, "GetValue"); });
    }

    HRESULT STDMETHODCALLTYPE SetStringValue(REFPROPERTYKEY key, LPCWSTR value) override
    {
        if (!value)
            return E_POINTER;
        PROPVARIANT v;
        PropVariantInit(&v);
        const size_t bytes = (wcslen(value) + 1) * sizeof(wchar_t);
        v.pwszVal = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
        if (!v.pwszVal)
            return E_OUTOFMEMORY;
        std::memcpy(v.pwszVal, value, bytes);
        v.vt = VT_LPWSTR;
        return put(key, v);
    }
    HRESULT STDMETHODCALLTYPE GetStringValue(REFPROPERTYKEY key, LPWSTR* value) override
    {
        if (!value)
            return E_POINTER;
        *value = nullptr;
        return read(key, VT_LPWSTR, [&](const PROPVARIANT& v) {
            const size_t bytes = (wcslen(v.pwszVal) + 1) * sizeof(wchar_t);
            *value = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
            if (!*value)
                return E_OUTOFMEMORY;
            std::memcpy(*value, v.pwszVal, bytes);
            accounting::label(*value, "GetStringValue");
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE SetUnsignedIntegerValue(REFPROPERTYKEY key, const ULONG value) override
    {
        return putScalar(key, VT_UI4, [&](PROPVARIANT& v) { v.ulVal = value; });
    }
    HRESULT STDMETHODCALLTYPE GetUnsignedIntegerValue(REFPROPERTYKEY key, ULONG* value) override
    {
        return getScalar(key, VT_UI4, value, [](const PROPVARIANT& v) { return v.ulVal; });
    }
    HRESULT STDMETHODCALLTYPE SetSignedIntegerValue(REFPROPERTYKEY key, const LONG value) override
    {
        return putScalar(key, VT_I4, [&](PROPVARIANT& v) { v.lVal = value; });
    }
    HRESULT STDMETHODCALLTYPE GetSignedIntegerValue(REFPROPERTYKEY key, LONG* value) override
    {
        return getScalar(key, VT_I4, value, [](const PROPVARIANT& v) { return v.lVal; });
    }
    HRESULT STDMETHODCALLTYPE SetUnsignedLargeIntegerValue(REFPROPERTYKEY key, const ULONGLONG value) override
    {
        return putScalar(key, VT_UI8, [&](PROPVARIANT& v) { v.uhVal.QuadPart = value; });
    }
    HRESULT STDMETHODCALLTYPE GetUnsignedLargeIntegerValue(REFPROPERTYKEY key, ULONGLONG* value) override
    {
        return getScalar(key, VT_UI8, value, [](const PROPVARIANT& v) { return v.uhVal.QuadPart; });
    }
    HRESULT STDMETHODCALLTYPE SetSignedLargeIntegerValue(REFPROPERTYKEY key, const LONGLONG value) override
    {
        return putScalar(key, VT_I8, [&](PROPVARIANT& v) { v.hVal.QuadPart = value; });
    }
    HRESULT STDMETHODCALLTYPE GetSignedLargeIntegerValue(REFPROPERTYKEY key, LONGLONG* value) override
    {
        return getScalar(key, VT_I8, value, [](const PROPVARIANT& v) { return v.hVal.QuadPart; });
    }
    HRESULT STDMETHODCALLTYPE SetFloatValue(REFPROPERTYKEY key, const FLOAT value) override
    {
        return putScalar(key, VT_R4, [&](PROPVARIANT& v) { v.fltVal = value; });
    }
    HRESULT STDMETHODCALLTYPE GetFloatValue(REFPROPERTYKEY key, FLOAT* value) override
    {
        return getScalar(key, VT_R4, value, [](const PROPVARIANT& v) { return v.fltVal; });
    }
    HRESULT STDMETHODCALLTYPE SetErrorValue(REFPROPERTYKEY key, const HRESULT value) override
    {
        return putScalar(key, VT_ERROR, [&](PROPVARIANT& v) { v.scode = value; });
    }
    HRESULT STDMETHODCALLTYPE GetErrorValue(REFPROPERTYKEY key, HRESULT* value) override
    {
        return getScalar(key, VT_ERROR, value, [](const PROPVARIANT& v) { return v.scode; });
    }
    HRESULT STDMETHODCALLTYPE SetBoolValue(REFPROPERTYKEY key, const BOOL value) override
    {
        return putScalar(key, VT_BOOL, [&](PROPVARIANT& v) { v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE; });
    }
    HRESULT STDMETHODCALLTYPE GetBoolValue(REFPROPERTYKEY key, BOOL* value) override
    {
        return getScalar(key, VT_BOOL, value, [](const PROPVARIANT& v) { return BOOL(v.boolVal != VARIANT_FALSE); });
    }

    // Not used by the program.
    HRESULT STDMETHODCALLTYPE SetKeyValue(REFPROPERTYKEY, REFPROPERTYKEY) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetKeyValue(REFPROPERTYKEY, PROPERTYKEY*) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE SetIUnknownValue(REFPROPERTYKEY key, IUnknown* value) override
    {
        return putInterface(key, value);
    }
    HRESULT STDMETHODCALLTYPE GetIUnknownValue(REFPROPERTYKEY key, IUnknown** value) override
    {
        return getInterface(key, value);
    }

    HRESULT STDMETHODCALLTYPE SetGuidValue(REFPROPERTYKEY key, REFGUID value) override
    {
        PROPVARIANT v;
        PropVariantInit(&v);
        v.puuid = static_cast<CLSID*>(CoTaskMemAlloc(sizeof(CLSID)));
        if (!v.puuid)
            return E_OUTOFMEMORY;
        *v.puuid = value;
        v.vt = VT_CLSID;
        return put(key, v);
    }
    HRESULT STDMETHODCALLTYPE GetGuidValue(REFPROPERTYKEY key, GUID* value) override
    {
        return getScalar(key, VT_CLSID, value, [](const PROPVARIANT& v) { return *v.puuid; });
    }

    // Zero-length buffers are not supported, as documented for IPortableDeviceValues: both
    // SetBufferValue and GetBufferValue refuse them.
    HRESULT STDMETHODCALLTYPE SetBufferValue(REFPROPERTYKEY key, BYTE* value, DWORD size) override
    {
        if (size == 0)
            return E_INVALIDARG;
        if (!value)
            return E_POINTER;
        PROPVARIANT v;
        PropVariantInit(&v);
        v.caub.pElems = static_cast<UCHAR*>(CoTaskMemAlloc(size));
        if (!v.caub.pElems && size)
            return E_OUTOFMEMORY;
        if (size)
            std::memcpy(v.caub.pElems, value, size);
        v.caub.cElems = size;
        v.vt = VT_VECTOR | VT_UI1;
        return put(key, v);
    }
    HRESULT STDMETHODCALLTYPE GetBufferValue(REFPROPERTYKEY key, BYTE** value, DWORD* size) override
    {
        if (!value || !size)
            return E_POINTER;
        *value = nullptr;
        *size = 0;
        return read(key, VT_VECTOR | VT_UI1, [&](const PROPVARIANT& v) {
            if (v.caub.cElems == 0)
                return E_INVALIDARG;  // stored through SetValue; still not handed out
            // The caller owns and frees the copy.
            *value = static_cast<BYTE*>(CoTaskMemAlloc(v.caub.cElems));
            if (!*value)
                return E_OUTOFMEMORY;
            std::memcpy(*value, v.caub.pElems, v.caub.cElems);
            *size = v.caub.cElems;
            accounting::label(*value, "GetBufferValue");
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE SetIPortableDeviceValuesValue(REFPROPERTYKEY key, IPortableDeviceValues* value) override
    {
        return putInterface(key, value);
    }
    HRESULT STDMETHODCALLTYPE GetIPortableDeviceValuesValue(REFPROPERTYKEY key, IPortableDeviceValues** value) override
    {
        return getInterface(key, value);
    }
    HRESULT STDMETHODCALLTYPE SetIPortableDevicePropVariantCollectionValue(
        REFPROPERTYKEY key, IPortableDevicePropVariantCollection* value) override
    {
        return putInterface(key, value);
    }
    HRESULT STDMETHODCALLTYPE GetIPortableDevicePropVariantCollectionValue(
        REFPROPERTYKEY key, IPortableDevicePropVariantCollection** value) override
    {
        return getInterface(key, value);
    }
    HRESULT STDMETHODCALLTYPE SetIPortableDeviceKeyCollectionValue(REFPROPERTYKEY key,
                                                                   IPortableDeviceKeyCollection* value) override
    {
        return putInterface(key, value);
    }
    HRESULT STDMETHODCALLTYPE GetIPortableDeviceKeyCollectionValue(REFPROPERTYKEY key,
                                                                   IPortableDeviceKeyCollection** value) override
    {
        return getInterface(key, value);
    }
    HRESULT STDMETHODCALLTYPE SetIPortableDeviceValuesCollectionValue(REFPROPERTYKEY key,
                                                                      IPortableDeviceValuesCollection* value) override
    {
        return putInterface(key, value);
    }
    HRESULT STDMETHODCALLTYPE GetIPortableDeviceValuesCollectionValue(REFPROPERTYKEY key,
                                                                      IPortableDeviceValuesCollection** value) override
    {
        return getInterface(key, value);
    }

    HRESULT STDMETHODCALLTYPE RemoveValue(REFPROPERTYKEY key) override
    {
        PROPVARIANT old;
        PropVariantInit(&old);
        {
            std::lock_guard lock(mutex_);
            auto it = find(key);
            if (it == entries_.end())
                return kNotFound;
            old = it->value;
            entries_.erase(it);
        }
        PropVariantClear(&old);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CopyValuesFromPropertyStore(IPropertyStore*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CopyValuesToPropertyStore(IPropertyStore*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clear() override
    {
        std::vector<Entry> old;
        {
            std::lock_guard lock(mutex_);
            old.swap(entries_);
        }
        for (auto& e : old)
            PropVariantClear(&e.value);
        return S_OK;
    }

private:
    struct Entry {
        PROPERTYKEY key;
        PROPVARIANT value;
    };

    std::vector<Entry>::iterator find(REFPROPERTYKEY key)
    {
        for (auto it = entries_.begin(); it != entries_.end(); ++it)
            if (sameKey(it->key, key))
                return it;
        return entries_.end();
    }

    // Takes ownership of value. A replaced value is cleared outside the lock, since clearing
    // may release an object that is another values set.
    HRESULT put(REFPROPERTYKEY key, PROPVARIANT& value)
    {
        PROPVARIANT old;
        PropVariantInit(&old);
        {
            std::lock_guard lock(mutex_);
            auto it = find(key);
            if (it == entries_.end()) {
                entries_.push_back(Entry{key, value});
            } else {
                old = it->value;
                it->value = value;
            }
        }
        PropVariantClear(&old);
        return S_OK;
    }

    template <typename Fill>
    HRESULT putScalar(REFPROPERTYKEY key, VARTYPE vt, Fill fill)
    {
        PROPVARIANT v;
        PropVariantInit(&v);
        v.vt = vt;
        fill(v);
        return put(key, v);
    }

    // Runs use(value) under the lock when key holds a value of type vt (VT_EMPTY: any type).
    template <typename Use>
    HRESULT read(REFPROPERTYKEY key, VARTYPE vt, Use use)
    {
        std::lock_guard lock(mutex_);
        auto it = find(key);
        if (it == entries_.end())
            return kNotFound;
        if (vt != VT_EMPTY && it->value.vt != vt)
            return DISP_E_TYPEMISMATCH;
        return use(it->value);
    }

    template <typename T, typename Get>
    HRESULT getScalar(REFPROPERTYKEY key, VARTYPE vt, T* out, Get get)
    {
        if (!out)
            return E_POINTER;
        return read(key, vt, [&](const PROPVARIANT& v) {
            *out = get(v);
            return S_OK;
        });
    }

    HRESULT putInterface(REFPROPERTYKEY key, IUnknown* value)
    {
        if (!value)
            return E_POINTER;
        PROPVARIANT v;
        PropVariantInit(&v);
        v.vt = VT_UNKNOWN;
        v.punkVal = value;
        value->AddRef();
        return put(key, v);
    }

    template <typename I>
    HRESULT getInterface(REFPROPERTYKEY key, I** out)
    {
        if (!out)
            return E_POINTER;
        *out = nullptr;
        return read(key, VT_UNKNOWN, [&](const PROPVARIANT& v) {
            return v.punkVal ? v.punkVal->QueryInterface(__uuidof(I), reinterpret_cast<void**>(out)) : E_NOINTERFACE;
        });
    }

    std::mutex mutex_;
    std::vector<Entry> entries_;  // in the order the keys were first set
};

class Collection final : public ComObject<IPortableDevicePropVariantCollection> {
public:
    Collection() : ComObject(ObjectKind::Collection) {}
    ~Collection() override { clearAll(); }

    HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override
    {
        if (!count)
            return E_POINTER;
        std::lock_guard lock(mutex_);
        *count = static_cast<DWORD>(items_.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAt(const DWORD index, PROPVARIANT* value) override
    {
        if (!value)
            return E_POINTER;
        std::lock_guard lock(mutex_);
        if (index >= items_.size())
            return E_INVALIDARG;
        return copyOut(value, items_[index], "IPortableDevicePropVariantCollection::GetAt");
    }
    HRESULT STDMETHODCALLTYPE Add(const PROPVARIANT* value) override
    {
        if (!value)
            return E_POINTER;
        PROPVARIANT copy;
        PropVariantInit(&copy);
        if (HRESULT hr = PropVariantCopy(&copy, value); FAILED(hr))
            return hr;
        std::lock_guard lock(mutex_);
        items_.push_back(copy);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetType(VARTYPE* vt) override
    {
        if (!vt)
            return E_POINTER;
        std::lock_guard lock(mutex_);
        *vt = items_.empty() ? VARTYPE(VT_EMPTY) : items_.front().vt;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ChangeType(const VARTYPE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clear() override
    {
        clearAll();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE RemoveAt(const DWORD index) override
    {
        PROPVARIANT old;
        PropVariantInit(&old);
        {
            std::lock_guard lock(mutex_);
            if (index >= items_.size())
                return E_INVALIDARG;
            old = items_[index];
            items_.erase(items_.begin() + index);
        }
        PropVariantClear(&old);
        return S_OK;
    }

private:
    void clearAll()
    {
        std::vector<PROPVARIANT> old;
        {
            std::lock_guard lock(mutex_);
            old.swap(items_);
        }
        for (auto& v : old)
            PropVariantClear(&v);
    }

    std::mutex mutex_;
    std::vector<PROPVARIANT> items_;
};

}  // namespace

Microsoft::WRL::ComPtr<IPortableDeviceValues> makeValues(ObjectKind kind)
{
    return adopt<IPortableDeviceValues>(new Values(kind));
}

Microsoft::WRL::ComPtr<IPortableDevicePropVariantCollection> makeCollection()
{
    return adopt<IPortableDevicePropVariantCollection>(new Collection);
}

}  // namespace sim
