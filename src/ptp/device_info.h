#pragma once
// The camera's PTP DeviceInfo dataset (the data of GetDeviceInfo), decoded.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "ptp/ptp_reader.h"

// The largest element count accepted for a list; real bodies list a few hundred codes.
inline constexpr std::uint32_t maxArrayCount = 4096;

struct DeviceInfo {
    bool ok = false;  // every field lay within the data and no list was too long
    std::vector<std::uint16_t> operationsSupported;
    std::vector<std::uint16_t> eventsSupported;
    std::vector<std::uint16_t> devicePropertiesSupported;
    std::string manufacturer;  // 7-bit texts, "?" for anything else
    std::string model;
    std::string deviceVersion;  // the firmware version
    std::string serialNumber;
};

// Accepts any bytes, an empty vector included; never reads outside them. Use the fields
// only when ok is true.
DeviceInfo parseDeviceInfo(std::span<const std::uint8_t> bytes);

// One uint16 list: a uint32 count, then the elements. A count above maxArrayCount fails
// and leaves the reader right after the count; an element that does not fit fails and is
// added as 0; after a failure the list is empty.
std::vector<std::uint16_t> readU16List(PtpReader& reader);
