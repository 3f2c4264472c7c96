#include "reading/read_camera.h"

#include "device/camera_session.h"
#include "device/co_task.h"
#include "device/command_transport.h"
#include "ptp/device_info.h"
#include "ptp/failure_text.h"
#include "ptp/ptp_codes.h"
#include "reading/device_discovery.h"
#include "link/site.h"
#include "vendors/fujifilm_reader.h"

#include <algorithm>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

constexpr HRESULT kErrorBusy = static_cast<HRESULT>(0x800700AA);
constexpr HRESULT kErrorNotSupported = static_cast<HRESULT>(0x80070032);
// A driver's counts are claims, not allocation sizes: no PC has more portable devices than
// this, and Windows keeps no text longer than a counted string's 32,767 characters.
constexpr DWORD kMaxDevices = 4096;
constexpr DWORD kMaxTextChars = 32767;

// The identifier strings GetDevices hands out. Each is freed exactly once, whatever the
// service filled in, and the array lives until the end of the reading.
class DeviceIdList {
public:
    DeviceIdList() = default;
    DeviceIdList(const DeviceIdList&) = delete;
    DeviceIdList& operator=(const DeviceIdList&) = delete;
    ~DeviceIdList() { freeStrings(); }

    // Asks the manager for the list; returns how many identifiers can be used.
    DWORD fetch(IPortableDeviceManager* manager)
    {
        DWORD count = 0;
        if (FAILED(manager->GetDevices(nullptr, &count)))
            count = 0;
        if (count == 0)
            return 0;
        count = std::min(count, kMaxDevices);
        ids_.assign(count, nullptr);
        DWORD filled = count;
        if (FAILED(manager->GetDevices(ids_.data(), &filled)))
            return 0;
        // The list may have grown between the two calls; never step past the array.
        return std::min<DWORD>(filled, static_cast<DWORD>(ids_.size()));
    }

    const wchar_t* operator[](DWORD i) const noexcept { return ids_[i]; }

    void freeStrings() noexcept
    {
        for (auto& id : ids_) {
            CoTaskMemFree(id);
            id = nullptr;
        }
    }

    void freeArray() noexcept
    {
        freeStrings();
        ids_.clear();
        ids_.shrink_to_fit();
    }

private:
    std::vector<wchar_t*> ids_;
};

// From the open chosen device to the finished Reading (the vendor reader's, plus the dataset's
// texts). The identifier strings are freed right after the open attempt.
Reading readChosenCamera(CameraSession& session, DeviceIdList& ids, DWORD chosen, bool chosenIsCanon,
                         const LogSink& log, const PauseFunction& pause)
{
    Reading reading;
    const HRESULT opened = session.open(ids[chosen]);
    ids.freeStrings();
    if (FAILED(opened)) {
        if (opened == E_ACCESSDENIED || opened == kErrorBusy)
            reading.message =
                L"Another program is using the camera. Close EOS Utility, Photos or any import window, then try again.";
        else
            reading.message =
                L"Couldn't open the camera (" + hrText(opened) + L"). Unplug it, plug it back in and try again.";
        log(L"Open failed: " + hrText(opened));
        return reading;
    }
    log(L"Opened through Windows' camera driver");

    DeviceInfo info;
    {
        const CommandResult r = sendOperation(session, ptp::opGetDeviceInfo, {}, true);
        if (SUCCEEDED(r.hr)) {
            info = parseDeviceInfo(r.data);
            log(L"GetDeviceInfo -> " + hexText(r.responseCode, 4) + L", " + std::to_wstring(r.data.size()) +
                L" bytes");
        } else {
            log(L"GetDeviceInfo -> error " + hrText(r.hr));
        }
        if (!info.ok) {
            if (r.hr == E_NOTIMPL || r.hr == kErrorNotSupported)
                reading.message = L"Windows' camera driver on this PC won't pass camera commands through. Click "
                                  L"Copy details and email it to " +
                                  std::wstring(supportEmail) + L".";
            else
                reading.message =
                    L"The camera didn't answer (" + hrText(r.hr) + L"). Unplug it, plug it back in and try again.";
            return reading;
        }
    }

    log(modelLine(info));
    reading = chosenIsCanon ? readCanonCount(session, info, log, pause) : readFujifilmCount(session, info, log);
    reading.make = info.manufacturer;
    reading.model = info.model;
    reading.firmware = info.deviceVersion;
    reading.serial = info.serialNumber;
    return reading;
}

}  // namespace

std::wstring deviceString(IPortableDeviceManager* manager, const wchar_t* deviceId, DeviceStringKind kind)
{
    const auto query = [&](WCHAR* buffer, DWORD* chars) {
        switch (kind) {
        case DeviceStringKind::FriendlyName: return manager->GetDeviceFriendlyName(deviceId, buffer, chars);
        case DeviceStringKind::Manufacturer: return manager->GetDeviceManufacturer(deviceId, buffer, chars);
        case DeviceStringKind::Description: break;
        }
        return manager->GetDeviceDescription(deviceId, buffer, chars);
    };
    DWORD chars = 0;
    if (FAILED(query(nullptr, &chars)) || chars == 0)
        return {};
    chars = std::min(chars, kMaxTextChars);
    std::wstring text(chars, L'\0');
    DWORD size = chars;
    if (FAILED(query(text.data(), &size)))
        return {};
    // Some drivers count characters after an early NUL; the text ends at the first one.
    text.resize(std::min<std::size_t>(text.find(L'\0'), text.size()));
    return text;
}

Reading readCamera(const LogSink& logSink)
{
    return readCamera(logSink, sleepMilliseconds);
}

Reading readCamera(const LogSink& logSink, const PauseFunction& pause)
{
    Reading reading;
    ComPtr<IPortableDeviceManager> manager;
    if (const HRESULT hr = CoCreateInstance(CLSID_PortableDeviceManager, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_IPortableDeviceManager,
                                            reinterpret_cast<void**>(manager.GetAddressOf()));
        FAILED(hr)) {
        logSink(L"PortableDeviceManager unavailable: " + hrText(hr));
        reading.message = L"Windows' portable device service isn't available (" + hrText(hr) +
                          L"). This app needs Windows 10 or 11.";
        return reading;
    }

    // Declared after the manager so both are gone before it is released, session first.
    DeviceIdList ids;
    manager->RefreshDeviceList();
    const DWORD count = ids.fetch(manager.Get());
    logSink(L"Portable devices found: " + std::to_wstring(count));

    CameraPicker picker;
    for (DWORD i = 0; i < count; ++i) {
        // The driver's texts reach the log, the report and the other-brand message: a line
        // break in them must not make lines of the driver's choosing there.
        const auto text = [&](DeviceStringKind kind) {
            return printableText(deviceString(manager.Get(), ids[i], kind));
        };
        const std::wstring friendlyName = text(DeviceStringKind::FriendlyName);
        const std::wstring manufacturer = text(DeviceStringKind::Manufacturer);
        const std::wstring description = text(DeviceStringKind::Description);
        logSink(L"  " + std::to_wstring(i + 1) + L". " + friendlyName + L"  [" + manufacturer + L"]  " + description);
        picker.consider(static_cast<std::int32_t>(i), friendlyName, manufacturer);
    }

    if (!picker.found()) {
        ids.freeStrings();
        reading.message = picker.noCameraMessage();
        return reading;
    }

    {
        CameraSession session(logSink);
        reading = readChosenCamera(session, ids, static_cast<DWORD>(picker.chosenIndex()), picker.chosenIsCanon(),
                                   logSink, pause);
        session.end();
    }
    ids.freeArray();
    return reading;
}
