#include "reading/device_discovery.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Device {
    std::wstring friendlyName;
    std::wstring manufacturer;
};

CameraPicker pick(const std::vector<Device>& devices)
{
    CameraPicker picker;
    for (std::size_t i = 0; i < devices.size(); ++i)
        picker.consider(static_cast<std::int32_t>(i), devices[i].friendlyName, devices[i].manufacturer);
    return picker;
}

}  // namespace

TEST(ContainsNoCase, FoldsBothSides)
{
    EXPECT_TRUE(containsNoCase(L"Canon Inc.", L"canon"));
    EXPECT_TRUE(containsNoCase(L"FUJIFILM", L"fuji"));
    EXPECT_TRUE(containsNoCase(L"x", L""));
    EXPECT_TRUE(containsNoCase(L"", L""));
    EXPECT_FALSE(containsNoCase(L"", L"canon"));
    EXPECT_FALSE(containsNoCase(L"Cano", L"canon"));
    EXPECT_FALSE(containsNoCase(L"Fuji X-T3", L"fujifilm"));
}

TEST(CameraPicker, ChoosesTheFirstCanonOrFujifilmAndRoutesIt)
{
    struct Case {
        const char* name;
        std::vector<Device> devices;
        int chosen;
        bool canon;
    };
    const Case cases[] = {
        {"Canon by manufacturer", {{L"EOS 80D", L"Canon Inc."}}, 0, true},
        {"FUJIFILM upper case", {{L"X-T3", L"FUJIFILM"}}, 0, false},
        {"Fujifilm in the friendly name, empty manufacturer", {{L"My Fujifilm X100", L""}}, 0, false},
        {"Fuji alone in the friendly name is not enough", {{L"Fuji X100", L"Generic"}}, -1, false},
        {"fuji manufacturer with canon friendly name goes to Canon", {{L"canon-ish", L"fuji"}}, 0, true},
        {"Fujifilm listed before Canon wins",
         {{L"Phone", L"Samsung"}, {L"X-H1", L"FUJIFILM"}, {L"EOS R", L"Canon Inc."}}, 1, false},
        {"Nikon then Canon: Canon chosen", {{L"D850", L"Nikon Corporation"}, {L"EOS R", L"Canon Inc."}}, 1, true},
    };
    for (const auto& c : cases) {
        const CameraPicker picker = pick(c.devices);
        EXPECT_EQ(picker.found(), c.chosen >= 0) << c.name;
        EXPECT_EQ(picker.chosenIndex(), c.chosen) << c.name;
        if (c.chosen >= 0)
            EXPECT_EQ(picker.chosenIsCanon(), c.canon) << c.name;
    }
}

TEST(CameraPicker, NoCameraMessages)
{
    const std::wstring none =
        L"No Canon or Fujifilm camera found. Check that it's switched on, the cable carries data, and EOS Utility is "
        L"closed. Then click Read camera again.";
    struct Case {
        const char* name;
        std::vector<Device> devices;
        std::wstring message;
    };
    const Case cases[] = {
        {"nothing listed", {}, none},
        {"friendly name nikon does not count", {{L"nikon d850", L"Generic"}}, none},
        {"first other brand, its whole manufacturer text",
         {{L"Phone", L"Apple"}, {L"D850", L"Nikon Corporation"}, {L"A7", L"Sony"}},
         L"Found a Nikon Corporation camera. That brand records the count in its photos, so drop a photo on "
         L"tallybrook.app instead."},
        {"ricoh", {{L"GR III", L"RICOH IMAGING"}},
         L"Found a RICOH IMAGING camera. That brand records the count in its photos, so drop a photo on "
         L"tallybrook.app instead."},
    };
    for (const auto& c : cases) {
        const CameraPicker picker = pick(c.devices);
        EXPECT_FALSE(picker.found()) << c.name;
        EXPECT_EQ(picker.noCameraMessage(), c.message) << c.name;
    }
}

TEST(PrintableText, KeepsWhatAPersonCanReadAndMarksTheRest)
{
    const auto unit = [](unsigned u) { return std::wstring(1, static_cast<wchar_t>(u)); };
    struct Case {
        const char* name;
        std::wstring text;
        std::wstring printable;
    };
    const Case cases[] = {
        {"plain", L"Canon EOS 80D", L"Canon EOS 80D"},
        {"empty", L"", L""},
        {"CR LF", L"D750\r\nPortable devices found: 9", L"D750??Portable devices found: 9"},
        {"tab, escape, DEL", L"a\tb" + unit(0x1B) + L"[2J" + unit(0x7F), L"a?b?[2J?"},
        {"NUL inside", std::wstring(L"a\0b", 3), L"a?b"},
        {"C1 controls, NEL among them", unit(0x80) + unit(0x85) + unit(0x9F) + unit(0xA0), L"???" + unit(0xA0)},
        {"accents, CJK, full-width, Greek", L"\u00E9\u00F1\u65E5\u672C\uFF23\uFF41\u03A9",
         L"\u00E9\u00F1\u65E5\u672C\uFF23\uFF41\u03A9"},
        {"a character beyond the BMP", L"cam \U0001F4F7", L"cam \U0001F4F7"},
        {"lone high half", L"a" + unit(0xD83D) + L"b", L"a?b"},
        {"lone low half", L"a" + unit(0xDCF7), L"a?"},
        {"high half at the end", L"a" + unit(0xD83D), L"a?"},
        {"line and paragraph separators", L"a" + unit(0x2028) + L"b" + unit(0x2029), L"a?b?"},
        {"direction overrides and isolates", unit(0x202E) + L"gnp" + unit(0x202C) + unit(0x2066) + unit(0x2069),
         L"?gnp???"},
    };
    for (const auto& c : cases) EXPECT_EQ(printableText(c.text), c.printable) << c.name;
}
