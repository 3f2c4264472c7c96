#include "app/display_text.h"

#include "reading/reading.h"

std::wstring countHeadline(std::uint32_t count)
{
    std::wstring digits = std::to_wstring(count);
    // Inserting from the right keeps the positions still to come valid.
    for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), 1, L',');
    return digits + L" shutter actuations";
}

std::wstring detailText(const std::string& model, const std::string& firmware)
{
    std::wstring text = widen(model);
    if (!firmware.empty())
        text += L"   firmware " + widen(firmware);
    return text;
}
