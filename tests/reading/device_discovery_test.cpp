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
