#include "sim_client.h"

#include <fstream>
#include <iterator>

namespace simtest {

sim::DeviceSpec device(std::wstring id, std::shared_ptr<sim::PtpResponder> camera)
{
    sim::DeviceSpec d;
    d.id = std::move(id);
    d.responder = std::move(camera);
    return d;
}

std::optional<std::wstring> stringValue(IPortableDeviceValues* v, REFPROPERTYKEY key)
{
    LPWSTR text = nullptr;
    if (FAILED(v->GetStringValue(key, &text)))
        return std::nullopt;
    std::wstring out = text;
    CoTaskMemFree(text);
    return out;
}

std::optional<ULONG> unsignedValue(IPortableDeviceValues* v, REFPROPERTYKEY key)
{
    ULONG value = 0;
    return SUCCEEDED(v->GetUnsignedIntegerValue(key, &value)) ? std::optional<ULONG>(value) : std::nullopt;
}

std::optional<HRESULT> errorValue(IPortableDeviceValues* v, REFPROPERTYKEY key)
{
    HRESULT value = 0;
    return SUCCEEDED(v->GetErrorValue(key, &value)) ? std::optional<HRESULT>(value) : std::nullopt;
}

std::optional<std::vector<std::uint8_t>> bufferValue(IPortableDeviceValues* v, REFPROPERTYKEY key)
{
    BYTE* bytes = nullptr;
    DWORD size = 0;
    if (FAILED(v->GetBufferValue(key, &bytes, &size)))
        return std::nullopt;
    std::vector<std::uint8_t> out(bytes, bytes + size);
    CoTaskMemFree(bytes);
    return out;
}

bool has(IPortableDeviceValues* v, REFPROPERTYKEY key)
{
    PROPVARIANT value;
    PropVariantInit(&value);
    const HRESULT hr = v->GetValue(key, &value);
    PropVariantClear(&value);
    return SUCCEEDED(hr);
}

ComPtr<IPortableDevice> openDevice(const std::wstring& id, HRESULT* hr)
{
    ComPtr<IPortableDevice> device;
    ComPtr<IPortableDeviceValues> info;
    HRESULT result = create(CLSID_PortableDeviceValues, info);
    if (SUCCEEDED(result))
        result = create(CLSID_PortableDeviceFTM, device);
    if (SUCCEEDED(result)) {
        info->SetStringValue(WPD_CLIENT_NAME, L"sim tests");
        result = device->Open(id.c_str(), info.Get());
    }
    if (hr)
        *hr = result;
    return SUCCEEDED(result) ? device : nullptr;
}

ComPtr<IPortableDeviceValues> command(DWORD id)
{
    ComPtr<IPortableDeviceValues> v;
    if (FAILED(create(CLSID_PortableDeviceValues, v)))
        return nullptr;
    v->SetGuidValue(WPD_PROPERTY_COMMON_COMMAND_CATEGORY, WPD_CATEGORY_MTP_EXT_VENDOR_OPERATIONS);
    v->SetUnsignedIntegerValue(WPD_PROPERTY_COMMON_COMMAND_ID, id);
    return v;
}

ComPtr<IPortableDeviceValues> executeCommand(DWORD id, std::uint16_t op, const std::vector<std::uint32_t>& params)
{
    auto v = command(id);
    ComPtr<IPortableDevicePropVariantCollection> collection;
    if (!v || FAILED(create(CLSID_PortableDevicePropVariantCollection, collection)))
        return nullptr;
    v->SetUnsignedIntegerValue(WPD_PROPERTY_MTP_EXT_OPERATION_CODE, op);
    for (std::uint32_t p : params) {
        PROPVARIANT pv;
        PropVariantInit(&pv);
        pv.vt = VT_UI4;
        pv.ulVal = p;
        collection->Add(&pv);
    }
    v->SetIPortableDevicePropVariantCollectionValue(WPD_PROPERTY_MTP_EXT_OPERATION_PARAMS, collection.Get());
    return v;
}

ComPtr<IPortableDeviceValues> readCommand(const std::wstring& context, DWORD bytes)
{
    auto v = command(wpd::kReadData);
    std::vector<BYTE> buffer(bytes);
    v->SetStringValue(WPD_PROPERTY_MTP_EXT_TRANSFER_CONTEXT, context.c_str());
    v->SetUnsignedIntegerValue(WPD_PROPERTY_MTP_EXT_TRANSFER_NUM_BYTES_TO_READ, bytes);
    v->SetBufferValue(WPD_PROPERTY_MTP_EXT_TRANSFER_DATA, buffer.data(), bytes);
    return v;
}

ComPtr<IPortableDeviceValues> endCommand(const std::wstring& context)
{
    auto v = command(wpd::kEndDataTransfer);
    v->SetStringValue(WPD_PROPERTY_MTP_EXT_TRANSFER_CONTEXT, context.c_str());
    return v;
}

Sent send(IPortableDevice* device, IPortableDeviceValues* params)
{
    Sent s;
    s.hr = device->SendCommand(0, params, s.results.GetAddressOf());
    return s;
}

Transfer readOperation(IPortableDevice* device, std::uint16_t op, const std::vector<std::uint32_t>& params,
                       DWORD chunk, std::uint64_t cap)
{
    Transfer t;
    auto start = send(device, executeCommand(wpd::kExecuteWithDataToRead, op, params).Get());
    if (FAILED(start.hr) || !start.results)
        return t;
    t.startDriver = errorValue(start.results.Get(), WPD_PROPERTY_COMMON_HRESULT).value_or(E_FAIL);
    auto context = stringValue(start.results.Get(), WPD_PROPERTY_MTP_EXT_TRANSFER_CONTEXT);
    if (!context)
        return t;
    ULONGLONG total = 0;
    if (SUCCEEDED(start.results->GetUnsignedLargeIntegerValue(WPD_PROPERTY_MTP_EXT_TRANSFER_TOTAL_DATA_SIZE, &total)))
        t.total = total;
    const std::uint64_t want = std::min<std::uint64_t>(total, cap);
    while (t.data.size() < want) {
        const DWORD ask = static_cast<DWORD>(std::min<std::uint64_t>(chunk, want - t.data.size()));
        auto read = send(device, readCommand(*context, ask).Get());
        if (FAILED(read.hr) || errorValue(read.results.Get(), WPD_PROPERTY_COMMON_HRESULT).value_or(S_OK) < 0)
            break;
        auto bytes = bufferValue(read.results.Get(), WPD_PROPERTY_MTP_EXT_TRANSFER_DATA);
        if (!bytes || bytes->empty())
            break;
        t.chunks.push_back(static_cast<std::uint32_t>(bytes->size()));
        t.data.insert(t.data.end(), bytes->begin(), bytes->end());
    }
    auto end = send(device, endCommand(*context).Get());
    if (SUCCEEDED(end.hr)) {
        t.endDriver = errorValue(end.results.Get(), WPD_PROPERTY_COMMON_HRESULT);
        t.responseCode = unsignedValue(end.results.Get(), WPD_PROPERTY_MTP_EXT_RESPONSE_CODE);
    }
    return t;
}

std::vector<std::uint8_t> loadHex(const std::string& file)
{
    // Under Wine the Linux file system is drive Z:.
    std::ifstream in("Z:" + std::string(TB_CAPTURES_DIR) + "/" + file);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::uint8_t> bytes;
    int high = -1;
    for (char c : text) {
        int v = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
        if (v < 0)
            continue;
        if (high < 0) {
            high = v;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high << 4 | v));
            high = -1;
        }
    }
    return bytes;
}

}  // namespace simtest
