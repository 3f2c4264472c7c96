#pragma once
// The PTP DeviceInfo dataset that a simulated camera sends for GetDeviceInfo (0x1001), built
// from its fields, with the faults a test may want: list counts that lie, a cut dataset,
// bytes after the last field.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

enum class DeviceInfoList { Operations, Events, DeviceProperties, CaptureFormats, ImageFormats };

struct DeviceInfoFields {
    // Real Canon and Fujifilm bodies send these three as 100, 6 (Microsoft) and 100.
    std::uint16_t standardVersion = 100;
    std::uint32_t vendorExtensionId = 6;
    std::uint16_t vendorExtensionVersion = 100;
    std::u16string vendorExtensionDesc;
    std::uint16_t functionalMode = 0;
    std::vector<std::uint16_t> operationsSupported;
    std::vector<std::uint16_t> eventsSupported;
    std::vector<std::uint16_t> devicePropertiesSupported;
    std::vector<std::uint16_t> captureFormats;
    std::vector<std::uint16_t> imageFormats;
    // Texts as UTF-16 units, written as they are (cut to 254 units): any unit can be sent.
    std::u16string manufacturer;
    std::u16string model;
    std::u16string deviceVersion;
    std::u16string serialNumber;

    // Faults. A list's announced count is written instead of its size; its elements are
    // still all written.
    std::map<DeviceInfoList, std::uint32_t> announcedCounts;
    std::vector<std::uint8_t> trailingBytes;  // after SerialNumber
    std::optional<std::size_t> truncateAt;    // the dataset ends after this many bytes
};

// The dataset in PTP encoding: little-endian numbers, a uint32 count before each uint16
// list, a uint8 count of UTF-16 units (NUL included, 0 for an empty text) before each text.
std::vector<std::uint8_t> buildDeviceInfo(const DeviceInfoFields& fields);

// UTF-8 to UTF-16 for texts written by people (scenario lines); a malformed sequence
// becomes U+FFFD.
std::u16string utf16FromUtf8(std::string_view text);

}  // namespace sim
