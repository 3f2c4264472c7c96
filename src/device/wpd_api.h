#pragma once
// The Windows Portable Devices declarations this program uses. The Windows SDK carries them in
// PortableDeviceApi.h, PortableDevice.h and WpdMtpExtensions.h; mingw-w64 ships only
// portabledevicetypes.h (the values set and the prop-variant collection), so without the SDK the
// rest is declared here, with the SDK's names, GUIDs and vtable order. Link tb_wpd for the GUID
// libraries behind them.

#include <windows.h>
#include <objbase.h>
#include <propidl.h>

#if defined(_MSC_VER)

// PortableDeviceApi.h: the manager and device interfaces and their class ids (it includes
// PortableDeviceTypes.h: the values set, the collection, their class ids). PortableDevice.h:
// the client-information and common-command keys. WpdMtpExtensions.h: the MTP-extension
// category, commands and keys. PortableDeviceGUIDs.lib (tb_wpd) defines them all.
#include <PortableDeviceApi.h>
#include <PortableDevice.h>
#include <WpdMtpExtensions.h>

#else

#include <portabledevicetypes.h>

// Interfaces reached only through methods this program never calls.
struct IPortableDeviceContent;
struct IPortableDeviceCapabilities;
struct IPortableDeviceEventCallback;

MIDL_INTERFACE("a1567595-4c2f-4574-a6fa-ecef917b9a40")
IPortableDeviceManager : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetDevices(LPWSTR* pPnPDeviceIDs, DWORD* pcPnPDeviceIDs) = 0;
    virtual HRESULT STDMETHODCALLTYPE RefreshDeviceList() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDeviceFriendlyName(LPCWSTR pszPnPDeviceID, WCHAR* pDeviceFriendlyName,
                                                            DWORD* pcchDeviceFriendlyName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDeviceDescription(LPCWSTR pszPnPDeviceID, WCHAR* pDeviceDescription,
                                                           DWORD* pcchDeviceDescription) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDeviceManufacturer(LPCWSTR pszPnPDeviceID, WCHAR* pDeviceManufacturer,
                                                            DWORD* pcchDeviceManufacturer) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDeviceProperty(LPCWSTR pszPnPDeviceID, LPCWSTR pszDevicePropertyName,
                                                        BYTE* pData, DWORD* pcbData, DWORD* pdwType) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPrivateDevices(LPWSTR* pPnPDeviceIDs, DWORD* pcPnPDeviceIDs) = 0;
};
__CRT_UUID_DECL(IPortableDeviceManager, 0xa1567595, 0x4c2f, 0x4574, 0xa6, 0xfa, 0xec, 0xef, 0x91, 0x7b, 0x9a, 0x40)

MIDL_INTERFACE("625e2df8-6392-4cf0-9ad1-3cfa5f17775c")
IPortableDevice : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE Open(LPCWSTR pszPnPDeviceID, IPortableDeviceValues* pClientInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE SendCommand(const DWORD dwFlags, IPortableDeviceValues* pParameters,
                                                  IPortableDeviceValues** ppResults) = 0;
    virtual HRESULT STDMETHODCALLTYPE Content(IPortableDeviceContent** ppContent) = 0;
    virtual HRESULT STDMETHODCALLTYPE Capabilities(IPortableDeviceCapabilities** ppCapabilities) = 0;
    virtual HRESULT STDMETHODCALLTYPE Cancel() = 0;
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;
    virtual HRESULT STDMETHODCALLTYPE Advise(const DWORD dwFlags, IPortableDeviceEventCallback* pCallback,
                                             IPortableDeviceValues* pParameters, LPWSTR* ppszCookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE Unadvise(LPCWSTR pszCookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPnPDeviceID(LPWSTR* ppszPnPDeviceID) = 0;
};
__CRT_UUID_DECL(IPortableDevice, 0x625e2df8, 0x6392, 0x4cf0, 0x9a, 0xd1, 0x3c, 0xfa, 0x5f, 0x17, 0x77, 0x5c)

// Class and interface ids missing from mingw (CLSID_PortableDeviceValues and the IIDs of the
// values set and the collection come from portabledevicetypes.h and libportabledeviceguids).
inline constexpr IID IID_IPortableDeviceManager = {
    0xa1567595, 0x4c2f, 0x4574, {0xa6, 0xfa, 0xec, 0xef, 0x91, 0x7b, 0x9a, 0x40}};
inline constexpr IID IID_IPortableDevice = {
    0x625e2df8, 0x6392, 0x4cf0, {0x9a, 0xd1, 0x3c, 0xfa, 0x5f, 0x17, 0x77, 0x5c}};
inline constexpr CLSID CLSID_PortableDeviceManager = {
    0x0af10cec, 0x2ecd, 0x4b92, {0x95, 0x81, 0x34, 0xf6, 0xae, 0x06, 0x37, 0xf3}};
inline constexpr CLSID CLSID_PortableDeviceFTM = {
    0xf7c0039a, 0x4762, 0x488a, {0xb4, 0xb3, 0x76, 0x0e, 0xf9, 0xa1, 0xba, 0x9b}};
inline constexpr CLSID CLSID_PortableDevicePropVariantCollection = {
    0x08a99e2f, 0x6d6d, 0x4b80, {0xaf, 0x5a, 0xba, 0xf2, 0xbc, 0xbe, 0x4c, 0xb9}};

// Client information handed to Open.
inline constexpr GUID WPD_CLIENT_INFORMATION_PROPERTIES_V1 = {
    0x204d9f0c, 0x2292, 0x4080, {0x9f, 0x42, 0x40, 0x66, 0x4e, 0x70, 0xf8, 0x59}};
inline constexpr PROPERTYKEY WPD_CLIENT_NAME = {WPD_CLIENT_INFORMATION_PROPERTIES_V1, 2};
inline constexpr PROPERTYKEY WPD_CLIENT_MAJOR_VERSION = {WPD_CLIENT_INFORMATION_PROPERTIES_V1, 3};
inline constexpr PROPERTYKEY WPD_CLIENT_MINOR_VERSION = {WPD_CLIENT_INFORMATION_PROPERTIES_V1, 4};
inline constexpr PROPERTYKEY WPD_CLIENT_REVISION = {WPD_CLIENT_INFORMATION_PROPERTIES_V1, 5};
inline constexpr PROPERTYKEY WPD_CLIENT_SECURITY_QUALITY_OF_SERVICE = {WPD_CLIENT_INFORMATION_PROPERTIES_V1, 8};
inline constexpr PROPERTYKEY WPD_CLIENT_DESIRED_ACCESS = {WPD_CLIENT_INFORMATION_PROPERTIES_V1, 9};

// Properties every command and every results set carries.
inline constexpr GUID WPD_PROPERTIES_COMMON = {
    0xf0422a9c, 0x5dc8, 0x4440, {0xb5, 0xbd, 0x5d, 0xf2, 0x88, 0x35, 0x65, 0x8a}};
inline constexpr PROPERTYKEY WPD_PROPERTY_COMMON_COMMAND_CATEGORY = {WPD_PROPERTIES_COMMON, 1001};
inline constexpr PROPERTYKEY WPD_PROPERTY_COMMON_COMMAND_ID = {WPD_PROPERTIES_COMMON, 1002};
inline constexpr PROPERTYKEY WPD_PROPERTY_COMMON_HRESULT = {WPD_PROPERTIES_COMMON, 1003};

// The MTP extension: raw PTP operations passed through the class driver.
inline constexpr GUID WPD_CATEGORY_MTP_EXT_VENDOR_OPERATIONS = {
    0x4d545058, 0x1a2e, 0x4106, {0xa3, 0x57, 0x77, 0x1e, 0x08, 0x19, 0xfc, 0x56}};
inline constexpr GUID WPD_PROPERTIES_MTP_VENDOR_EXTENDED_COMMANDS = WPD_CATEGORY_MTP_EXT_VENDOR_OPERATIONS;

inline constexpr PROPERTYKEY WPD_COMMAND_MTP_EXT_EXECUTE_COMMAND_WITHOUT_DATA_PHASE = {
    WPD_CATEGORY_MTP_EXT_VENDOR_OPERATIONS, 12};
inline constexpr PROPERTYKEY WPD_COMMAND_MTP_EXT_EXECUTE_COMMAND_WITH_DATA_TO_READ = {
    WPD_CATEGORY_MTP_EXT_VENDOR_OPERATIONS, 13};
inline constexpr PROPERTYKEY WPD_COMMAND_MTP_EXT_EXECUTE_COMMAND_WITH_DATA_TO_WRITE = {
    WPD_CATEGORY_MTP_EXT_VENDOR_OPERATIONS, 14};
inline constexpr PROPERTYKEY WPD_COMMAND_MTP_EXT_READ_DATA = {WPD_CATEGORY_MTP_EXT_VENDOR_OPERATIONS, 15};
inline constexpr PROPERTYKEY WPD_COMMAND_MTP_EXT_WRITE_DATA = {WPD_CATEGORY_MTP_EXT_VENDOR_OPERATIONS, 16};
inline constexpr PROPERTYKEY WPD_COMMAND_MTP_EXT_END_DATA_TRANSFER = {WPD_CATEGORY_MTP_EXT_VENDOR_OPERATIONS, 17};

inline constexpr PROPERTYKEY WPD_PROPERTY_MTP_EXT_OPERATION_CODE = {WPD_CATEGORY_MTP_EXT_VENDOR_OPERATIONS, 1001};
inline constexpr PROPERTYKEY WPD_PROPERTY_MTP_EXT_OPERATION_PARAMS = {WPD_CATEGORY_MTP_EXT_VENDOR_OPERATIONS, 1002};
inline constexpr PROPERTYKEY WPD_PROPERTY_MTP_EXT_RESPONSE_CODE = {WPD_CATEGORY_MTP_EXT_VENDOR_OPERATIONS, 1003};
inline constexpr PROPERTYKEY WPD_PROPERTY_MTP_EXT_RESPONSE_PARAMS = {WPD_CATEGORY_MTP_EXT_VENDOR_OPERATIONS, 1004};
inline constexpr PROPERTYKEY WPD_PROPERTY_MTP_EXT_TRANSFER_CONTEXT = {WPD_CATEGORY_MTP_EXT_VENDOR_OPERATIONS, 1006};
inline constexpr PROPERTYKEY WPD_PROPERTY_MTP_EXT_TRANSFER_TOTAL_DATA_SIZE = {
    WPD_CATEGORY_MTP_EXT_VENDOR_OPERATIONS, 1007};
inline constexpr PROPERTYKEY WPD_PROPERTY_MTP_EXT_TRANSFER_NUM_BYTES_TO_READ = {
    WPD_CATEGORY_MTP_EXT_VENDOR_OPERATIONS, 1008};
inline constexpr PROPERTYKEY WPD_PROPERTY_MTP_EXT_TRANSFER_NUM_BYTES_READ = {
    WPD_CATEGORY_MTP_EXT_VENDOR_OPERATIONS, 1009};
inline constexpr PROPERTYKEY WPD_PROPERTY_MTP_EXT_TRANSFER_DATA = {WPD_CATEGORY_MTP_EXT_VENDOR_OPERATIONS, 1012};

#endif  // _MSC_VER

// The command ids of the vendor-operation category as plain numbers, for switch statements
// and for WPD_PROPERTY_COMMON_COMMAND_ID (each equals the pid of the WPD_COMMAND_MTP_EXT_ key).
namespace wpd {
inline constexpr DWORD kExecuteWithoutDataPhase = 12;
inline constexpr DWORD kExecuteWithDataToRead = 13;
inline constexpr DWORD kExecuteWithDataToWrite = 14;
inline constexpr DWORD kReadData = 15;
inline constexpr DWORD kWriteData = 16;
inline constexpr DWORD kEndDataTransfer = 17;
}  // namespace wpd
