#include "scenario_file.h"

#include <charconv>
#include <cstdint>
#include <limits>

namespace sim {
namespace {

constexpr std::string_view kSpace = " \t\r";

std::string_view trim(std::string_view s)
{
    const auto first = s.find_first_not_of(kSpace);
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(kSpace) - first + 1);
}

// Decimal, or hexadecimal after 0x; the whole text must be the number.
template <typename T>
std::optional<T> number(std::string_view s)
{
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
        s.remove_prefix(2), base = 16;
    std::uint64_t value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size() || value > std::numeric_limits<T>::max())
        return std::nullopt;
    return static_cast<T>(value);
}

// Result codes are written as their 32-bit pattern (0x80070005) or 0.
std::optional<std::int32_t> resultCode(std::string_view s)
{
    const auto v = number<std::uint32_t>(s);
    return v ? std::optional<std::int32_t>(static_cast<std::int32_t>(*v)) : std::nullopt;
}

// UTF-8 text; with escapes, \0 is a zero character, \\ a backslash and \uXXXX a UTF-16 unit.
// Device ids are full of backslashes and are taken as they are.
std::optional<std::wstring> text(std::string_view s, bool escapes = true)
{
    std::u32string points;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b == '\\' && escapes) {
            if (i + 1 >= s.size())
                return std::nullopt;
            const char e = s[i + 1];
            if (e == '0' || e == '\\') {
                points += e == '0' ? U'\0' : U'\\';
                i += 2;
            } else if (e == 'u' && s.size() - i >= 6) {
                const auto v = number<std::uint16_t>("0x" + std::string(s.substr(i + 2, 4)));
                if (!v)
                    return std::nullopt;
                points += static_cast<char32_t>(*v);
                i += 6;
            } else {
                return std::nullopt;
            }
            continue;
        }
        int extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : -1;
        if (extra < 0 || static_cast<std::size_t>(extra) >= s.size() - i)
            return std::nullopt;
        char32_t cp = extra == 0 ? b : b & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if ((c >> 6) != 2)
                return std::nullopt;
            cp = (cp << 6) | (c & 0x3F);
        }
        points += cp;
        i += 1 + extra;
    }
    std::wstring out;
    for (char32_t cp : points) {
        if (cp >= 0x10000 && sizeof(wchar_t) == 2) {
            cp -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (cp >> 10));
            out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<wchar_t>(cp);
        }
    }
    return out;
}

std::optional<unsigned> omitFlags(std::string_view s)
{
    static constexpr std::pair<std::string_view, unsigned> names[] = {
        {"common-hresult", omitCommonHresult},   {"response-code", omitResponseCode},
        {"response-params", omitResponseParams}, {"transfer-context", omitTransferContext},
        {"total-data-size", omitTotalDataSize},  {"num-bytes-read", omitNumBytesRead},
        {"transfer-data", omitTransferData},
    };
    unsigned flags = 0;
    while (!s.empty()) {
        const auto comma = s.find(',');
        const auto name = s.substr(0, comma);
        bool found = false;
        for (const auto& [n, f] : names)
            if (n == name)
                flags |= f, found = true;
        if (!found)
            return std::nullopt;
        s = comma == std::string_view::npos ? std::string_view{} : s.substr(comma + 1);
    }
    return flags;
}

// "fault CALL key=value ...": the reason it cannot be read, or empty.
std::string readFault(std::string_view rest, Fault& f)
{
    const auto space = rest.find_first_of(kSpace);
    const auto callWord = rest.substr(0, space);
    const auto call = callFromName(callWord);
    if (!call)
        return "unknown call \"" + std::string(callWord) + "\"";
    f.call = *call;
    rest = space == std::string_view::npos ? std::string_view{} : trim(rest.substr(space));
    while (!rest.empty()) {
        const auto end = rest.find_first_of(kSpace);
        const auto word = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : trim(rest.substr(end));
        const auto eq = word.find('=');
        if (eq == std::string_view::npos)
            return "expected key=value, got \"" + std::string(word) + "\"";
        const auto key = word.substr(0, eq);
        const auto value = word.substr(eq + 1);
        bool ok = true;
        auto take = [&](auto& field, auto parsed) {
            if (parsed)
                field = *parsed;
            else
                ok = false;
        };
        if (key == "command")
            take(f.command, number<std::uint32_t>(value));
        else if (key == "op")
            take(f.operation, number<std::uint16_t>(value));
        else if (key == "nth")
            take(f.nth, number<unsigned>(value));
        else if (key == "device")
            take(f.device, text(value, false));
        else if (key == "result")
            take(f.result, resultCode(value));
        else if (key == "driver")
            take(f.driverResult, resultCode(value));
        else if (key == "response")
            take(f.responseCode, number<std::uint16_t>(value));
        else if (key == "omit")
            take(f.omit, omitFlags(value));
        else if (key == "total")
            take(f.totalSize, number<std::uint64_t>(value));
        else if (key == "served")
            take(f.served, number<std::uint32_t>(value));
        else if (key == "bytes-read")
            take(f.bytesRead, number<std::uint32_t>(value));
        else if (key == "count")
            take(f.count, number<std::uint32_t>(value));
        else
            return "unknown fault key \"" + std::string(key) + "\"";
        if (!ok)
            return "bad value for " + std::string(key) + ": \"" + std::string(value) + "\"";
    }
    return {};
}

}  // namespace

std::optional<Scenario> parseScenario(std::string_view input, const CameraMaker& makeCamera, std::string* error)
{
    Scenario scenario;
    unsigned lineNumber = 0;
    auto fail = [&](const std::string& reason) -> std::optional<Scenario> {
        if (error)
            *error = "line " + std::to_string(lineNumber) + ": " + reason;
        return std::nullopt;
    };
    while (!input.empty()) {
        ++lineNumber;
        const auto newline = input.find('\n');
        const auto line = trim(input.substr(0, newline));
        input = newline == std::string_view::npos ? std::string_view{} : input.substr(newline + 1);
        if (line.empty() || line[0] == '#')
            continue;
        const auto space = line.find_first_of(kSpace);
        const auto keyword = line.substr(0, space);
        const auto rest = space == std::string_view::npos ? std::string_view{} : trim(line.substr(space));

        if (keyword == "device") {
            auto id = text(rest, false);
            if (!id || id->empty())
                return fail("a device needs an id");
            scenario.devices.push_back(DeviceSpec{});
            scenario.devices.back().id = *id;
            continue;
        }
        if (keyword == "read-only-commands" || keyword == "response-params" || keyword == "total-size") {
            // The service's rules, each with its strict answer first.
            static constexpr struct {
                std::string_view keyword, strict, other;
                bool ServiceRules::*rule;
            } rules[] = {
                {"read-only-commands", "refused", "allowed", &ServiceRules::readOnlyCommands},
                {"response-params", "when-ok", "never", &ServiceRules::responseParamsNever},
                {"total-size", "known", "unknown", &ServiceRules::unknownTotalSize},
            };
            for (const auto& r : rules) {
                if (r.keyword != keyword)
                    continue;
                if (rest != r.strict && rest != r.other)
                    return fail(std::string(keyword) + " is " + std::string(r.strict) + " or " + std::string(r.other));
                scenario.rules.*r.rule = rest == r.other;
            }
            continue;
        }
        if (keyword == "fault") {
            Fault f;
            if (auto reason = readFault(rest, f); !reason.empty())
                return fail(reason);
            scenario.faults.push_back(std::move(f));
            continue;
        }
        if (scenario.devices.empty())
            return fail("\"" + std::string(keyword) + "\" before the first device line");
        DeviceSpec& d = scenario.devices.back();
        if (keyword == "name" || keyword == "manufacturer" || keyword == "description") {
            auto value = text(rest);
            if (!value)
                return fail("bad text");
            (keyword == "name" ? d.friendlyName : keyword == "manufacturer" ? d.manufacturer : d.description) = *value;
        } else if (keyword == "open" || keyword == "open-read-only") {
            auto code = resultCode(rest);
            if (!code)
                return fail("bad result code \"" + std::string(rest) + "\"");
            (keyword == "open" ? d.openReadWrite : d.openReadOnly) = *code;
        } else if (keyword == "camera") {
            d.camera = std::string(rest);
            if (makeCamera) {
                std::string reason;
                d.responder = makeCamera(rest, &reason);
                if (!d.responder)
                    return fail("camera: " + (reason.empty() ? std::string("not made") : reason));
            }
        } else {
            return fail("unknown keyword \"" + std::string(keyword) + "\"");
        }
    }
    return scenario;
}

}  // namespace sim
