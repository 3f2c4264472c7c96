#include "ptp/device_info.h"

#include <algorithm>

std::vector<std::uint16_t> readU16List(PtpReader& reader)
{
    std::vector<std::uint16_t> list;
    const std::uint32_t count = reader.u32le();
    if (count > maxArrayCount) {
        // Its elements are not stepped over: a count that large is not to be trusted.
        reader.fail();
        return list;
    }
    list.reserve(std::min<std::size_t>(count, reader.remaining() / 2 + 1));
    for (std::uint32_t i = 0; i < count; ++i) {
        if (reader.failed()) break;
        // A cut element comes back as 0 and stands for what did not fit.
        list.push_back(reader.u16le());
    }
    return list;
}

DeviceInfo parseDeviceInfo(std::span<const std::uint8_t> bytes)
{
    PtpReader reader(bytes);
    DeviceInfo info;

    reader.skip(8);            // StandardVersion, VendorExtensionID, VendorExtensionVersion
    (void)reader.readPtpString();  // VendorExtensionDesc
    reader.skip(2);            // FunctionalMode

    info.operationsSupported = readU16List(reader);
    info.eventsSupported = readU16List(reader);
    info.devicePropertiesSupported = readU16List(reader);
    (void)readU16List(reader);  // CaptureFormats
    (void)readU16List(reader);  // ImageFormats

    info.manufacturer = reader.readPtpString();
    info.model = reader.readPtpString();
    info.deviceVersion = reader.readPtpString();
    info.serialNumber = reader.readPtpString();

    // Bytes after SerialNumber are ignored: bodies may append vendor data.
    info.ok = !reader.failed();
    return info;
}
