// A bare client of the portable-device service for the server DLL's test: nothing of the
// simulation is linked in, so whatever answers comes through the registry and
// CoCreateInstance alone. Prints what it finds, one fact per line.
#include "device/wpd_api.h"

#include <wrl/client.h>

#include <cstdio>
#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

std::string narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out += (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : '?';
    return out;
}

std::wstring friendlyName(IPortableDeviceManager* manager, LPCWSTR id)
{
    DWORD chars = 0;
    if (FAILED(manager->GetDeviceFriendlyName(id, nullptr, &chars)) || chars == 0)
        return L"";
    std::wstring buffer(chars, L'\0');
    if (FAILED(manager->GetDeviceFriendlyName(id, buffer.data(), &chars)))
        return L"";
    return buffer.c_str();
}

// GetDeviceInfo through commands 13, 15 and 17; the number of bytes read.
std::size_t deviceInfoBytes(IPortableDevice* device)
{
    ComPtr<IPortableDeviceValues> params;
    ComPtr<IPortableDeviceValues> results;
    ComPtr<IPortableDevicePropVariantCollection> none;
    CoCreateInstance(CLSID_PortableDeviceValues, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&params));
    CoCreateInstance(CLSID_PortableDevicePropVariantCollection, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&none));
    if (!params || !none)
        return 0;
    params->SetGuidValue(WPD_PROPERTY_COMMON_COMMAND_CATEGORY, WPD_CATEGORY_MTP_EXT_VENDOR_OPERATIONS);
    params->SetUnsignedIntegerValue(WPD_PROPERTY_COMMON_COMMAND_ID, wpd::kExecuteWithDataToRead);
    params->SetUnsignedIntegerValue(WPD_PROPERTY_MTP_EXT_OPERATION_CODE, 0x1001);
    params->SetIPortableDevicePropVariantCollectionValue(WPD_PROPERTY_MTP_EXT_OPERATION_PARAMS, none.Get());
    if (FAILED(device->SendCommand(0, params.Get(), &results)))
        return 0;
    LPWSTR context = nullptr;
    ULONGLONG total = 0;
    if (FAILED(results->GetStringValue(WPD_PROPERTY_MTP_EXT_TRANSFER_CONTEXT, &context)))
        return 0;
    results->GetUnsignedLargeIntegerValue(WPD_PROPERTY_MTP_EXT_TRANSFER_TOTAL_DATA_SIZE, &total);
    std::size_t got = 0;
    std::vector<BYTE> request(static_cast<std::size_t>(total));
    params->Clear();
    params->SetGuidValue(WPD_PROPERTY_COMMON_COMMAND_CATEGORY, WPD_CATEGORY_MTP_EXT_VENDOR_OPERATIONS);
    params->SetUnsignedIntegerValue(WPD_PROPERTY_COMMON_COMMAND_ID, wpd::kReadData);
    params->SetStringValue(WPD_PROPERTY_MTP_EXT_TRANSFER_CONTEXT, context);
    params->SetUnsignedIntegerValue(WPD_PROPERTY_MTP_EXT_TRANSFER_NUM_BYTES_TO_READ, static_cast<ULONG>(total));
    params->SetBufferValue(WPD_PROPERTY_MTP_EXT_TRANSFER_DATA, request.data(), static_cast<DWORD>(request.size()));
    if (SUCCEEDED(device->SendCommand(0, params.Get(), results.ReleaseAndGetAddressOf()))) {
        BYTE* data = nullptr;
        DWORD size = 0;
        if (SUCCEEDED(results->GetBufferValue(WPD_PROPERTY_MTP_EXT_TRANSFER_DATA, &data, &size)))
            got = size;
        CoTaskMemFree(data);
    }
    params->SetUnsignedIntegerValue(WPD_PROPERTY_COMMON_COMMAND_ID, wpd::kEndDataTransfer);
    device->SendCommand(0, params.Get(), results.ReleaseAndGetAddressOf());
    CoTaskMemFree(context);
    return got;
}

}  // namespace

int main()
{
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return 2;
    {
        ComPtr<IPortableDeviceManager> manager;
        const HRESULT hr =
            CoCreateInstance(CLSID_PortableDeviceManager, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&manager));
        std::printf("manager 0x%08lX\n", static_cast<unsigned long>(hr));
        if (SUCCEEDED(hr)) {
            DWORD count = 0;
            manager->GetDevices(nullptr, &count);
            std::vector<LPWSTR> ids(count, nullptr);
            if (count)
                manager->GetDevices(ids.data(), &count);
            std::printf("devices %lu\n", static_cast<unsigned long>(count));
            for (DWORD i = 0; i < count; ++i) {
                std::printf("device %s: %s\n", narrow(ids[i]).c_str(), narrow(friendlyName(manager.Get(), ids[i])).c_str());
                ComPtr<IPortableDevice> device;
                ComPtr<IPortableDeviceValues> info;
                CoCreateInstance(CLSID_PortableDeviceFTM, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&device));
                CoCreateInstance(CLSID_PortableDeviceValues, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&info));
                if (device && info && SUCCEEDED(device->Open(ids[i], info.Get()))) {
                    std::printf("deviceinfo %zu bytes\n", deviceInfoBytes(device.Get()));
                    device->Close();
                }
            }
            for (LPWSTR id : ids)
                CoTaskMemFree(id);
        }
    }
    CoUninitialize();
    return 0;
}
