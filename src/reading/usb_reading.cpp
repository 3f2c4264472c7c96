#include "reading/usb_reading.h"

#include "ptp/device_info.h"
#include "ptp/failure_text.h"
#include "ptp/ptp_codes.h"
#include "reading/device_discovery.h"
#include "vendors/canon_reader.h"
#include "vendors/fujifilm_reader.h"

#include <string_view>

namespace {

constexpr std::uint16_t kCanonVendor = 0x04A9;
constexpr std::uint16_t kFujifilmVendor = 0x04CB;

// The maker a USB vendor id names, for a device whose manufacturer string says nothing.
std::wstring_view vendorName(std::uint16_t vendorId)
{
    switch (vendorId) {
    case kCanonVendor: return L"Canon";
    case kFujifilmVendor: return L"FUJIFILM";
    case 0x04B0: return L"Nikon";
    case 0x054C: return L"Sony";
    case 0x0A17:
    case 0x25FB: return L"Ricoh Pentax";
    }
    return {};
}

std::wstring didNotAnswer(std::int32_t hr)
{
    return L"The camera didn't answer (" + hrText(hr) + L"). Unplug it, plug it back in and try again.";
}

}  // namespace

Task<Reading> readUsbCamera(UsbPort& port, const UsbCameraIdentity& identity, const LogSink& log, UsbLimits limits)
{
    Reading reading;
    const std::wstring product = printableText(identity.product);
    std::wstring manufacturer = printableText(identity.manufacturer);
    log(L"USB device " + hexText(identity.vendorId, 4) + L": " + product + L"  [" + manufacturer + L"]");
    // Canon's and Fujifilm's vendor ids decide alone (some cameras' USB strings name only the
    // model); for any other device its strings do, as the program's device texts do.
    const std::wstring vendor(vendorName(identity.vendorId));
    const bool knownMaker = identity.vendorId == kCanonVendor || identity.vendorId == kFujifilmVendor;
    if (manufacturer.empty() || knownMaker)
        manufacturer = vendor;

    CameraPicker picker;
    picker.consider(0, knownMaker ? vendor : product, manufacturer);
    if (!picker.found()) {
        reading.message = picker.otherBrandManufacturer().empty()
                              ? L"This isn't a Canon or Fujifilm camera, so its count can't be read over USB here. "
                                L"If it is a camera, read a photo it took instead."
                              : picker.noCameraMessage();
        co_return reading;
    }

    UsbPtpSession session(port, identity.packetSize, log, limits);
    const CommandResult opened = co_await session.open();
    if (opened.hr < 0 || opened.responseCode != ptp::rcOk) {
        reading.message = opened.hr < 0 ? didNotAnswer(opened.hr)
                                        : L"The camera refused to start a session (" + hexText(opened.responseCode, 4) +
                                              L"). Switch it off and on again, then try again.";
        co_return reading;
    }

    DeviceInfo info;
    const CommandResult r = co_await session.run(ptp::opGetDeviceInfo, {}, true);
    if (r.hr >= 0) {
        info = parseDeviceInfo(r.data);
        log(L"GetDeviceInfo -> " + hexText(r.responseCode, 4) + L", " + std::to_wstring(r.data.size()) + L" bytes");
    } else {
        log(L"GetDeviceInfo -> error " + hrText(r.hr));
    }
    if (!info.ok) {
        reading.message = didNotAnswer(r.hr);
        co_await session.close();
        co_return reading;
    }
    log(modelLine(info));

    // (Not a conditional expression: GCC 12 mishandles co_await inside one.)
    if (picker.chosenIsCanon())
        reading = co_await readCanonCount(session, info, log);
    else
        reading = co_await readFujifilmCount(session, info, log);
    co_await session.close();
    reading.make = info.manufacturer;
    reading.model = info.model;
    reading.firmware = info.deviceVersion;
    reading.serial = info.serialNumber;
    // The same channel as the program's, read by this browser: the link says which.
    if (const auto at = reading.source.find(" USB "); at != std::string::npos)
        reading.source.replace(at, 5, " WebUSB ");
    // A camera that went away mid-reading gets the transport's sentence, not the reader's guess.
    if (!reading.ok && !session.answering())
        reading.message = didNotAnswer(session.failure());
    co_return reading;
}
