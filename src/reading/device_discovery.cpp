#include "reading/device_discovery.h"

#include "link/site.h"

#include <algorithm>
#include <cwctype>

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
