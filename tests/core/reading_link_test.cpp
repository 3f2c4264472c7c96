#include "link/reading_link.h"

#include <gtest/gtest.h>

#include <string>

#include "link/site.h"

namespace {

Reading eos80d()
{
    Reading r;
    r.ok = true;
    r.make = "Canon";
    r.model = "Canon EOS 80D";
    r.count = 987;
    r.firmware = "1.0.3";
    r.source = "Canon USB 0xD1AC";
    return r;
}

std::wstring linkPrefix()
{
    return std::wstring(L"https://") + resultSiteHost + L"/#reading=";
}

// The part after "#reading=", checked to be the link's own prefix first.
std::wstring payloadOf(const std::wstring& link)
{
    const std::wstring prefix = linkPrefix();
    EXPECT_EQ(link.substr(0, prefix.size()), prefix);
    return link.size() < prefix.size() ? std::wstring() : link.substr(prefix.size());
}

bool isUnreserved(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'-' ||
           c == L'.' || c == L'_' || c == L'~';
}

bool isUpperHexDigit(wchar_t c)
{
    return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F');
}

// Undoes percentEncode, failing the test on anything it would not have produced.
std::string percentDecode(const std::wstring& payload)
{
    std::string bytes;
    for (std::size_t i = 0; i < payload.size(); ++i) {
        const wchar_t c = payload[i];
        if (isUnreserved(c)) {
            bytes.push_back(static_cast<char>(c));
            continue;
        }
        if (c != L'%' || i + 2 >= payload.size() || !isUpperHexDigit(payload[i + 1]) ||
            !isUpperHexDigit(payload[i + 2])) {
            ADD_FAILURE() << "stray character at " << i << ": " << static_cast<unsigned>(c);
            return bytes;
        }
        const std::string hex{static_cast<char>(payload[i + 1]), static_cast<char>(payload[i + 2])};
        bytes.push_back(static_cast<char>(std::stoi(hex, nullptr, 16)));
        i += 2;
    }
    return bytes;
}

}  // namespace

TEST(ReadingLink, SiteConstants)
{
    EXPECT_EQ(std::wstring(resultSiteHost), L"tallybrook.app");
    EXPECT_EQ(std::wstring(supportEmail), L"support@tallybrook.app");
}

TEST(ReadingLink, WorkedExampleByteForByte)
{
    const Reading r = eos80d();
    EXPECT_EQ(readingJson(r),
              R"({"v":1,"make":"Canon","model":"Canon EOS 80D","count":987,"firmware":"1.0.3","serial":"","source":"Canon USB 0xD1AC"})");
    EXPECT_EQ(readingLink(r),
              L"https://tallybrook.app/#reading="
              L"%7B%22v%22%3A1%2C%22make%22%3A%22Canon%22%2C%22model%22%3A%22Canon%20EOS%2080D%22%2C%22count%22%3A987%2C"
              L"%22firmware%22%3A%221.0.3%22%2C%22serial%22%3A%22%22%2C%22source%22%3A%22Canon%20USB%200xD1AC%22%7D");
}

TEST(ReadingLink, JsonKeepsEveryKeyAndTakesNeitherOkNorMessage)
{
    Reading empty;
    empty.ok = true;
    empty.message = L"ignored";
    EXPECT_EQ(readingJson(empty), R"({"v":1,"make":"","model":"","count":0,"firmware":"","serial":"","source":""})");

    Reading largest;
    largest.count = 4294967295u;
    largest.serial = "S1";
    EXPECT_EQ(readingJson(largest),
              R"({"v":1,"make":"","model":"","count":4294967295,"firmware":"","serial":"S1","source":""})");
}

TEST(ReadingLink, JsonEscapeByteByByte)
{
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"", ""},
        {"EOS \"R\"", "EOS \\\"R\\\""},
        {"a\\b", "a\\\\b"},
        {"a\tb\nc\rd", "a b c d"},
        {std::string("x\0y", 3), "x y"},
        {"\x01\x1F", "  "},
        {"\x7F", "\x7F"},
        {"\x80\xC3\xA9\xFF", "\x80\xC3\xA9\xFF"},
        {"/<>{}'", "/<>{}'"},
    };
    for (const Case& c : cases) EXPECT_EQ(jsonEscape(c.in), c.out);
}

TEST(ReadingLink, EscapesReachTheLink)
{
    Reading r = eos80d();
    r.model = "EOS \"R\"";
    r.firmware = "1.0\t3\n";
    const std::string json = readingJson(r);
    EXPECT_NE(json.find(R"("model":"EOS \"R\"")"), std::string::npos) << json;
    EXPECT_NE(json.find(R"("firmware":"1.0 3 ")"), std::string::npos) << json;
    const std::wstring link = readingLink(r);
    EXPECT_NE(link.find(L"EOS%20%5C%22R%5C%22"), std::wstring::npos);
    EXPECT_NE(link.find(L"1.0%203%20"), std::wstring::npos);
}

TEST(ReadingLink, PercentEncodeKeepsOnlyUnreservedCharacters)
{
    struct Case {
        std::string in;
        std::wstring out;
    };
    const Case cases[] = {
        {"", L""},
        {"AZaz09-._~", L"AZaz09-._~"},
        {" ", L"%20"},
        {std::string(1, '\0'), L"%00"},
        {"/?#&=+%:", L"%2F%3F%23%26%3D%2B%25%3A"},
        {"\x7F\x80\xFF", L"%7F%80%FF"},
        {"{\"}", L"%7B%22%7D"},
    };
    for (const Case& c : cases) EXPECT_EQ(percentEncode(c.in), c.out) << c.in;
}

TEST(ReadingLink, EveryByteValueGivesAWellFormedPayload)
{
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    Reading r;
    r.make = all;
    r.model = all;
    r.firmware = all;
    r.serial = all;
    r.source = all;
    r.count = 4294967295u;

    const std::wstring payload = payloadOf(readingLink(r));
    // Decoding checks every character as it goes; the round trip proves nothing was lost.
    EXPECT_EQ(percentDecode(payload), readingJson(r));
    EXPECT_EQ(percentDecode(percentEncode(all)), all);
    EXPECT_EQ(percentEncode(all).size(), 66 + 3 * (256 - 66));
}
