#include "link/reading_link.h"

#include "link/site.h"

std::string jsonEscape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '"' || byte == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (byte < 0x20) {
            // Tabs and line ends in a camera text are not worth a \n form: a space will do.
            out.push_back(' ');
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::wstring percentEncode(std::string_view text)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::wstring out;
    out.reserve(text.size() * 3);
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                                (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                                byte == '_' || byte == '~';
        if (unreserved) {
            out.push_back(static_cast<wchar_t>(byte));
        } else {
            out.push_back(L'%');
            out.push_back(static_cast<wchar_t>(hex[byte >> 4]));
            out.push_back(static_cast<wchar_t>(hex[byte & 0xF]));
        }
    }
    return out;
}

std::string readingJson(const Reading& reading)
{
    std::string json;
    json += R"({"v":1,"make":")";
    json += jsonEscape(reading.make);
    json += R"(","model":")";
    json += jsonEscape(reading.model);
    json += R"(","count":)";
    json += std::to_string(reading.count);
    json += R"(,"firmware":")";
    json += jsonEscape(reading.firmware);
    json += R"(","serial":")";
    json += jsonEscape(reading.serial);
    json += R"(","source":")";
    json += jsonEscape(reading.source);
    json += R"("})";
    return json;
}

std::wstring readingLink(const Reading& reading)
{
    return std::wstring(L"https://") + resultSiteHost + L"/#reading=" + percentEncode(readingJson(reading));
}
