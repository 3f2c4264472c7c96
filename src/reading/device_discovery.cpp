#include "reading/device_discovery.h"

#include "link/site.h"

#include <algorithm>
#include <cwctype>

namespace {

bool isHighSurrogate(std::uint32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(std::uint32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Characters that would start a new line of the log or the pasted report, or rearrange the
// rest of the line as it is shown, at the driver's choosing.
bool isUnprintable(std::uint32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) ||  // C0, DEL, C1 (NEL among them)
           c == 0x2028 || c == 0x2029 ||              // line and paragraph separators
           (c >= 0x202A && c <= 0x202E) ||            // bidirectional embeddings and overrides
           (c >= 0x2066 && c <= 0x2069) ||            // bidirectional isolates
           c > 0x10FFFF;
}

}  // namespace

std::wstring printableText(std::wstring_view text)
{
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<std::uint32_t>(text[i]);
        // In UTF-16 a character beyond the BMP is a high half followed by a low half: kept as
        // the pair. Either half alone (or any surrogate in UTF-32) is no character at all.
        if (sizeof(wchar_t) == 2 && isHighSurrogate(c) && i + 1 < text.size() &&
            isLowSurrogate(static_cast<std::uint32_t>(text[i + 1]))) {
            out += text.substr(i, 2);
            ++i;
            continue;
        }
        out += isUnprintable(c) || isHighSurrogate(c) || isLowSurrogate(c) ? L'?' : text[i];
    }
    return out;
}

bool containsNoCase(std::wstring_view text, std::wstring_view needle)
{
    const auto fold = [](wchar_t a, wchar_t b) { return std::towlower(a) == std::towlower(b); };
    return std::search(text.begin(), text.end(), needle.begin(), needle.end(), fold) != text.end() ||
           needle.empty();
}

void CameraPicker::consider(std::int32_t index, std::wstring_view friendlyName, std::wstring_view manufacturer)
{
    // Drivers fill the manufacturer text unevenly: when it names nobody, the friendly name
    // decides. "Fuji" alone is too short to trust in a name a user may have typed.
    const bool canon = containsNoCase(manufacturer, L"canon") || containsNoCase(friendlyName, L"canon");
    const bool fujifilm = containsNoCase(manufacturer, L"fuji") || containsNoCase(friendlyName, L"fujifilm");
    if ((canon || fujifilm) && !found()) {
        chosenIndex_ = index;
        chosenIsCanon_ = canon;
        return;
    }
    if (!otherBrand_.empty())
        return;
    for (const wchar_t* brand : {L"nikon", L"sony", L"pentax", L"ricoh"}) {
        if (containsNoCase(manufacturer, brand)) {
            otherBrand_ = manufacturer;
            return;
        }
    }
}

std::wstring CameraPicker::noCameraMessage() const
{
    if (otherBrand_.empty())
        return L"No Canon or Fujifilm camera found. Check that it's switched on, the cable carries data, and "
               L"EOS Utility is closed. Then click Read camera again.";
    return L"Found a " + otherBrand_ + L" camera. That brand records the count in its photos, so drop a photo on " +
           resultSiteHost + L" instead.";
}
