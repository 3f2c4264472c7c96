#include "fujifilm_camera.h"

namespace sim {

FujifilmCamera::FujifilmCamera() : FujifilmCamera(defaultDeviceInfo()) {}

FujifilmCamera::FujifilmCamera(DeviceInfoFields fields) : SimCamera(std::move(fields)) {}

DeviceInfoFields FujifilmCamera::defaultDeviceInfo()
{
    DeviceInfoFields f;
    f.vendorExtensionDesc = u"fujifilm.co.jp: 1.0; ";
    f.operationsSupported = {0x1001, 0x1002, 0x1003, 0x1004, 0x1005, 0x1007, 0x1008, 0x1009, 0x100C,
                             0x100D, 0x1014, 0x1015, 0x1016, 0x101B, 0x900C, 0x900D, 0x901D};
    f.eventsSupported = {0x4002, 0x4003, 0x4004, 0x4005, 0x4006, 0x400C};
    f.devicePropertiesSupported = {0x5001, 0x5005, 0x500A, 0x500C, 0x500E, 0x500F, 0x5010,
                                   0xD001, 0xD303, 0xD310, 0xD311, 0xD36A};
    f.captureFormats = {0x3801};
    f.imageFormats = {0x3001, 0x3801, 0xB103};
    f.manufacturer = u"FUJIFILM";
    f.model = u"X-T3";
    f.deviceVersion = u"4.10";
    f.serialNumber = u"59353431343219090A0B0C0D0E0F10";
    return f;
}

void FujifilmCamera::setShotCount(std::uint16_t count)
{
    setShotCountReply(ptp::ok, {0, 0, static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8)});
}

void FujifilmCamera::setShotCountReply(std::uint16_t responseCode, std::vector<std::uint8_t> data)
{
    std::lock_guard lock(mutex_);
    shotCountReply_ = {responseCode, std::move(data)};
}

PtpReply FujifilmCamera::answer(std::uint16_t operationCode, const std::vector<std::uint32_t>& params)
{
    if (operationCode != ptp::getDevicePropValue)
        return {ptp::operationNotSupported, {}};
    if (params.empty())
        return {ptp::invalidParameter, {}};
    if (params[0] != fujiTotalShotCount)
        return {ptp::devicePropNotSupported, {}};
    return shotCountReply_;
}

}  // namespace sim
