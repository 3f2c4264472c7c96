#include "device/camera_session.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr wchar_t kClientName[] = L"Tallybrook";
constexpr DWORD kClientMajor = 0;  // 0.1.0, the version the log's first line shows
constexpr DWORD kClientMinor = 1;
constexpr DWORD kClientRevision = 0;
constexpr DWORD kSecurityImpersonation = 0x20000;
constexpr DWORD kGenericRead = 0x80000000;

}  // namespace

HRESULT CameraSession::open(const wchar_t* deviceId)
{
    ComPtr<IPortableDeviceValues> clientInfo;
    HRESULT hr = CoCreateInstance(CLSID_PortableDeviceValues, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_PPV_ARGS(&clientInfo));
    if (FAILED(hr))
        return hr;
    clientInfo->SetStringValue(WPD_CLIENT_NAME, kClientName);
    clientInfo->SetUnsignedIntegerValue(WPD_CLIENT_MAJOR_VERSION, kClientMajor);
    clientInfo->SetUnsignedIntegerValue(WPD_CLIENT_MINOR_VERSION, kClientMinor);
    clientInfo->SetUnsignedIntegerValue(WPD_CLIENT_REVISION, kClientRevision);
    clientInfo->SetUnsignedIntegerValue(WPD_CLIENT_SECURITY_QUALITY_OF_SERVICE, kSecurityImpersonation);

    device.Reset();
    hr = CoCreateInstance(CLSID_PortableDeviceFTM, nullptr, CLSCTX_INPROC_SERVER, IID_IPortableDevice,
                          reinterpret_cast<void**>(device.ReleaseAndGetAddressOf()));
    if (FAILED(hr))
        return hr;

    hr = device->Open(deviceId, clientInfo.Get());
    if (hr != E_ACCESSDENIED)
        return hr;

    // Windows refuses read/write access to some cameras (and to users without the right);
    // reading the count needs no more than read access.
    log(L"Open with read/write access was denied, retrying read-only");
    clientInfo->SetUnsignedIntegerValue(WPD_CLIENT_DESIRED_ACCESS, kGenericRead);
    return device->Open(deviceId, clientInfo.Get());
}

void CameraSession::end() noexcept
{
    if (!device)
        return;
    device->Close();
    device.Reset();
}
