#include "reading/reading.h"

#include "ptp/device_info.h"

std::wstring widen(std::string_view text)
{
    std::wstring wide;
    wide.reserve(text.size());
    for (char c : text)
        wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return wide;
}

std::wstring modelLine(const DeviceInfo& info)
{
    return L"Model: " + widen(info.model) + L"  firmware " + widen(info.deviceVersion) + L"  ops " +
           std::to_wstring(info.operationsSupported.size()) + L"  props " +
           std::to_wstring(info.devicePropertiesSupported.size());
}
