// Any bytes a camera might send for GetDeviceInfo: the decoder must stay inside them and
// keep its caps, whatever they claim.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "ptp/device_info.h"

namespace {

void check(bool condition)
{
    if (!condition) std::abort();
}

void checkText(const std::string& text)
{
    check(text.size() <= 255);
    for (char c : text) check(c != '\0' && static_cast<unsigned char>(c) <= 0x7F);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // An exact-size copy, so AddressSanitizer catches a read one byte past the end.
    const std::vector<std::uint8_t> bytes(data, data + size);
    const DeviceInfo info = parseDeviceInfo(bytes);

    check(info.operationsSupported.size() <= maxArrayCount);
    check(info.eventsSupported.size() <= maxArrayCount);
    check(info.devicePropertiesSupported.size() <= maxArrayCount);
    checkText(info.manufacturer);
    checkText(info.model);
    checkText(info.deviceVersion);
    checkText(info.serialNumber);

    // A complete dataset can only have been read from at least its 35 smallest bytes, and
    // bytes after it change nothing.
    if (info.ok) {
        check(size >= 35);
        std::vector<std::uint8_t> longer = bytes;
        longer.push_back(0xA5);
        const DeviceInfo again = parseDeviceInfo(longer);
        check(again.ok && again.operationsSupported == info.operationsSupported &&
              again.eventsSupported == info.eventsSupported &&
              again.devicePropertiesSupported == info.devicePropertiesSupported &&
              again.manufacturer == info.manufacturer && again.model == info.model &&
              again.deviceVersion == info.deviceVersion && again.serialNumber == info.serialNumber);
    }
    return 0;
}
