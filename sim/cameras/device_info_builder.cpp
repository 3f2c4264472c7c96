#include "device_info_builder.h"

#include "ptp_writer.h"

namespace sim {

namespace {

std::optional<std::uint32_t> announced(const DeviceInfoFields& f, DeviceInfoList list)
{
    const auto it = f.announcedCounts.find(list);
    if (it == f.announcedCounts.end())
        return std::nullopt;
    return it->second;
}

}  // namespace

std::vector<std::uint8_t> buildDeviceInfo(const DeviceInfoFields& f)
{
    PtpWriter w;
    w.u16le(f.standardVersion).u32le(f.vendorExtensionId).u16le(f.vendorExtensionVersion);
    w.string(f.vendorExtensionDesc).u16le(f.functionalMode);
    w.u16List(f.operationsSupported, announced(f, DeviceInfoList::Operations));
    w.u16List(f.eventsSupported, announced(f, DeviceInfoList::Events));
    w.u16List(f.devicePropertiesSupported, announced(f, DeviceInfoList::DeviceProperties));
    w.u16List(f.captureFormats, announced(f, DeviceInfoList::CaptureFormats));
    w.u16List(f.imageFormats, announced(f, DeviceInfoList::ImageFormats));
    w.string(f.manufacturer).string(f.model).string(f.deviceVersion).string(f.serialNumber);
    w.raw(f.trailingBytes);
    std::vector<std::uint8_t> bytes = std::move(w).bytes();
    if (f.truncateAt && *f.truncateAt < bytes.size())
        bytes.resize(*f.truncateAt);
    return bytes;
}

std::u16string utf16FromUtf8(std::string_view text)
{
    std::u16string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        char32_t cp = length == 1 ? lead : length == 2 ? (lead & 0x1F) : length == 3 ? (lead & 0x0F) : (lead & 0x07);
        bool good = length != 0 && length <= text.size() - i;
        for (std::size_t k = 1; good && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            good = (next & 0xC0) == 0x80;
            cp = (cp << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not characters.
        static constexpr char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (good && (cp < smallest[length] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF))
            good = false;
        if (!good) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += length;
    }
    return out;
}

}  // namespace sim
