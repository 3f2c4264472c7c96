#include <algorithm>
#include <cstring>

#include "com_object.h"
#include "objects.h"

namespace sim {
namespace {

class Manager final : public ComObject<IPortableDeviceManager> {
public:
    explicit Manager(std::shared_ptr<ServiceState> state) : ComObject(ObjectKind::Manager), state_(std::move(state)) {}

    HRESULT STDMETHODCALLTYPE GetDevices(LPWSTR* ids, DWORD* count) override
    {
        if (!count)
            return E_POINTER;
        Record r;
        r.call = Call::GetDevices;
        r.withBuffer = ids != nullptr;
        const Fault f = state_->effect(Call::GetDevices);
        const auto& devices = state_->devices();
        if (f.result && FAILED(*f.result)) {
            r.result = *f.result;
        } else if (!ids) {
            *count = f.count ? *f.count : static_cast<DWORD>(devices.size());
        } else {
            const DWORD room = *count;
            DWORD filled = std::min<DWORD>(room, static_cast<DWORD>(devices.size()));
            if (f.count)
                filled = std::min<DWORD>(filled, *f.count);
            for (DWORD i = 0; i < filled; ++i) {
                ids[i] = copyText(devices[i].id, "GetDevices");
                if (!ids[i]) {
                    while (i > 0)
                        CoTaskMemFree(ids[--i]), ids[i] = nullptr;
                    filled = 0;
                    r.result = E_OUTOFMEMORY;
                    break;
                }
            }
            *count = filled;
            // An array too small for the list: filled as far as it goes, and said so.
            if (SUCCEEDED(r.result) && room < devices.size())
                r.result = S_FALSE;
        }
        if (f.result && SUCCEEDED(*f.result))
            r.result = *f.result;
        r.count = *count;
        state_->record(r);
        return r.result;
    }

    HRESULT STDMETHODCALLTYPE RefreshDeviceList() override
    {
        Record r;
        r.call = Call::RefreshDeviceList;
        const Fault f = state_->effect(Call::RefreshDeviceList);
        r.result = f.result.value_or(S_OK);
        state_->record(r);
        return r.result;
    }

    HRESULT STDMETHODCALLTYPE GetDeviceFriendlyName(LPCWSTR id, WCHAR* buffer, DWORD* chars) override
    {
        return text(Call::GetDeviceFriendlyName, &DeviceSpec::friendlyName, id, buffer, chars);
    }
    HRESULT STDMETHODCALLTYPE GetDeviceDescription(LPCWSTR id, WCHAR* buffer, DWORD* chars) override
    {
        return text(Call::GetDeviceDescription, &DeviceSpec::description, id, buffer, chars);
    }
    HRESULT STDMETHODCALLTYPE GetDeviceManufacturer(LPCWSTR id, WCHAR* buffer, DWORD* chars) override
    {
        return text(Call::GetDeviceManufacturer, &DeviceSpec::manufacturer, id, buffer, chars);
    }

    // Not used by the program.
    HRESULT STDMETHODCALLTYPE GetDeviceProperty(LPCWSTR, LPCWSTR, BYTE*, DWORD*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPrivateDevices(LPWSTR*, DWORD*) override { return E_NOTIMPL; }

private:
    static LPWSTR copyText(const std::wstring& text, const char* what)
    {
        const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
        auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
        if (copy) {
            std::memcpy(copy, text.c_str(), bytes);
            accounting::label(copy, what);
        }
        return copy;
    }

    // The two-call protocol: a null buffer asks for the length in characters, terminator
    // included; a buffer of at least that length gets the text, zeros inside it included, and
    // the in/out count stays the buffer's size. An identifier the service does not list is
    // invalid data.
    HRESULT text(Call call, std::wstring DeviceSpec::*field, LPCWSTR id, WCHAR* buffer, DWORD* chars)
    {
        if (!id || !chars)
            return E_POINTER;
        Record r;
        r.call = call;
        r.device = id;
        r.withBuffer = buffer != nullptr;
        const Fault f = state_->effect(call, r.device);
        const DeviceSpec* device = state_->device(r.device);
        if (f.result && FAILED(*f.result)) {
            r.result = *f.result;
        } else if (!device) {
            r.result = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
        } else {
            const std::wstring& value = device->*field;
            const DWORD needed = static_cast<DWORD>(value.size() + 1);
            if (!buffer) {
                *chars = f.count ? *f.count : needed;
            } else if (*chars < needed) {
                *chars = needed;
                r.result = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
            } else {
                std::memcpy(buffer, value.c_str(), needed * sizeof(wchar_t));
            }
            if (SUCCEEDED(r.result) && f.result)
                r.result = *f.result;
        }
        r.count = *chars;
        state_->record(r);
        return r.result;
    }

    std::shared_ptr<ServiceState> state_;
};

}  // namespace

Microsoft::WRL::ComPtr<IPortableDeviceManager> makeManager(std::shared_ptr<ServiceState> state)
{
    return adopt<IPortableDeviceManager>(new Manager(std::move(state)));
}

}  // namespace sim
