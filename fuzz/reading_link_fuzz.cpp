// The camera's texts end up in the link that "See full result" opens. Whatever bytes they
// hold, the link must be "https://" + host + "/#reading=" followed only by unreserved
// characters and %XX triples, and decoding it must give back a JSON object from which every
// text comes back as it was, control bytes as spaces.
//
// The input is a count (4 bytes) and five length-prefixed texts (make, model, firmware,
// serial, source). The same bytes are also decoded as a DeviceInfo dataset, whose texts are
// what a real reading carries.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "link/reading_link.h"
#include "link/site.h"
#include "ptp/device_info.h"

namespace {

void check(bool condition)
{
    if (!condition) std::abort();
}

int hexDigit(wchar_t c)
{
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;  // lower case is not what the link uses
}

bool unreserved(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'-' ||
           c == L'.' || c == L'_' || c == L'~';
}

// The payload back to bytes; nothing if any character is neither unreserved nor a %XX triple.
std::optional<std::string> percentDecode(std::wstring_view payload)
{
    std::string out;
    for (std::size_t i = 0; i < payload.size(); ++i) {
        if (unreserved(payload[i])) {
            out.push_back(static_cast<char>(payload[i]));
            continue;
        }
        if (payload[i] != L'%' || payload.size() - i < 3) return std::nullopt;
        const int high = hexDigit(payload[i + 1]);
        const int low = hexDigit(payload[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        const auto byte = static_cast<unsigned char>(high << 4 | low);
        if (unreserved(byte)) return std::nullopt;  // an unreserved byte is never encoded
        out.push_back(static_cast<char>(byte));
        i += 2;
    }
    return out;
}

// Reads the fixed JSON shape back: literal pieces and escaped strings.
class JsonBack {
public:
    explicit JsonBack(std::string_view json) : json_(json) {}

    void literal(std::string_view piece)
    {
        check(json_.substr(pos_, piece.size()) == piece);
        pos_ += piece.size();
    }

    // The characters up to the closing quote, \" and \\ undone; no other escape exists.
    std::string string()
    {
        std::string out;
        for (;;) {
            check(pos_ < json_.size());
            const char c = json_[pos_++];
            if (c == '"') {
                --pos_;
                return out;
            }
            if (c == '\\') {
                check(pos_ < json_.size());
                const char next = json_[pos_++];
                check(next == '"' || next == '\\');
                out.push_back(next);
                continue;
            }
            check(static_cast<unsigned char>(c) >= 0x20);
            out.push_back(c);
        }
    }

    std::string number()
    {
        std::string out;
        while (pos_ < json_.size() && json_[pos_] >= '0' && json_[pos_] <= '9') out.push_back(json_[pos_++]);
        return out;
    }

    bool atEnd() const { return pos_ == json_.size(); }

private:
    std::string_view json_;
    std::size_t pos_ = 0;
};

std::string spacedControls(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    return out;
}

void checkLink(const Reading& reading)
{
    const std::wstring link = readingLink(reading);
    const std::wstring prefix = std::wstring(L"https://") + resultSiteHost + L"/#reading=";
    check(link.compare(0, prefix.size(), prefix) == 0);

    const auto json = percentDecode(std::wstring_view(link).substr(prefix.size()));
    check(json.has_value());
    check(*json == readingJson(reading));

    JsonBack back(*json);
    back.literal(R"({"v":1,"make":")");
    check(back.string() == spacedControls(reading.make));
    back.literal(R"(","model":")");
    check(back.string() == spacedControls(reading.model));
    back.literal(R"(","count":)");
    const std::string count = back.number();
    check(count == std::to_string(reading.count));
    back.literal(R"(,"firmware":")");
    check(back.string() == spacedControls(reading.firmware));
    back.literal(R"(","serial":")");
    check(back.string() == spacedControls(reading.serial));
    back.literal(R"(","source":")");
    check(back.string() == spacedControls(reading.source));
    back.literal(R"("})");
    check(back.atEnd());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::span<const std::uint8_t> in(data, size);
    Reading reading;
    reading.ok = true;
    for (int i = 0; i < 4 && !in.empty(); ++i, in = in.subspan(1)) reading.count |= std::uint32_t{in[0]} << (8 * i);
    std::string* texts[] = {&reading.make, &reading.model, &reading.firmware, &reading.serial, &reading.source};
    for (std::string* text : texts) {
        if (in.empty()) break;
        const std::size_t length = std::min<std::size_t>(in[0], in.size() - 1);
        text->assign(reinterpret_cast<const char*>(in.data() + 1), length);
        in = in.subspan(1 + length);
    }
    checkLink(reading);

    // The texts a camera's own dataset gives, as readCamera copies them: printable 7-bit
    // characters only, whatever units the camera sent, so no camera writes lines of its own
    // into the log.
    const DeviceInfo info = parseDeviceInfo(std::vector<std::uint8_t>(data, data + size));
    for (const std::string* text : {&info.manufacturer, &info.model, &info.deviceVersion, &info.serialNumber})
        for (const char c : *text) check(c >= 0x20 && c < 0x7F);
    Reading fromCamera;
    fromCamera.make = info.manufacturer;
    fromCamera.model = info.model;
    fromCamera.firmware = info.deviceVersion;
    fromCamera.serial = info.serialNumber;
    fromCamera.source = "Canon USB 0xD1AC";
    fromCamera.count = reading.count;
    checkLink(fromCamera);
    return 0;
}
