#include "scenario.h"

#include <array>
#include <cstdio>

namespace sim {
namespace {

constexpr std::array<std::pair<Call, std::string_view>, 12> kCallNames{{
    {Call::CreateManager, "create-manager"},
    {Call::CreateDevice, "create-device"},
    {Call::CreateValues, "create-values"},
    {Call::CreateCollection, "create-collection"},
    {Call::RefreshDeviceList, "refresh-device-list"},
    {Call::GetDevices, "get-devices"},
    {Call::GetDeviceFriendlyName, "friendly-name"},
    {Call::GetDeviceManufacturer, "manufacturer"},
    {Call::GetDeviceDescription, "description"},
    {Call::Open, "open"},
    {Call::Close, "close"},
    {Call::SendCommand, "send-command"},
}};

std::string hex(std::uint64_t value, int digits)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%0*llX", digits, static_cast<unsigned long long>(value));
    return text;
}

// Device ids and contexts are ASCII in practice; anything else shows as '?'.
std::string narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out += (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : '?';
    return out;
}

}  // namespace

std::string_view callName(Call call)
{
    for (const auto& [c, name] : kCallNames)
        if (c == call)
            return name;
    return "?";
}

std::optional<Call> callFromName(std::string_view name)
{
    for (const auto& [c, n] : kCallNames)
        if (n == name)
            return c;
    return std::nullopt;
}

std::string describe(const Record& r)
{
    std::string line(callName(r.call));
    if (!r.device.empty())
        line += " dev=" + narrow(r.device);
    if (r.call == Call::GetDevices || r.call == Call::GetDeviceFriendlyName || r.call == Call::GetDeviceManufacturer ||
        r.call == Call::GetDeviceDescription)
        line += std::string(r.withBuffer ? " buffer" : " no-buffer") + " count=" + std::to_string(r.count);
    if (r.client) {
        line += " access=";
        line += r.client->desiredAccess ? hex(*r.client->desiredAccess, 8) : "default";
    }
    if (r.call == Call::SendCommand) {
        if (!r.vendorCategory)
            line += " category=other";
        line += " cmd=" + (r.command ? std::to_string(*r.command) : std::string("none"));
        if (r.operation)
            line += " op=" + hex(*r.operation, 4);
        if (r.params) {
            line += " params=[";
            for (std::size_t i = 0; i < r.params->size(); ++i)
                line += (i ? "," : "") + hex((*r.params)[i], 0);
            line += "]";
        }
        if (r.bytesToRead)
            line += " to-read=" + std::to_string(*r.bytesToRead);
        if (r.requestBuffer)
            line += " request-buffer=" + std::to_string(*r.requestBuffer);
        if (!r.context.empty())
            line += " context=" + narrow(r.context);
    }
    line += " -> " + hex(static_cast<std::uint32_t>(r.result), 8);
    if (r.driverResult)
        line += " driver=" + hex(static_cast<std::uint32_t>(*r.driverResult), 8);
    if (r.responseCode)
        line += " response=" + hex(*r.responseCode, 4);
    if (r.totalSize)
        line += " total=" + std::to_string(*r.totalSize);
    if (r.call == Call::SendCommand && r.command && *r.command == 15)
        line += " served=" + std::to_string(r.bytesServed);
    return line;
}

}  // namespace sim
