#include "ptp/failure_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

TEST(HrText, FiveDeviceFailuresHavePhrases)
{
    struct Case {
        std::uint32_t hr;
        const wchar_t* text;
    };
    const Case cases[] = {
        {0x80070005, L"access denied"},
        {0x8007001F, L"device stopped responding"},
        {0x80070032, L"not supported by the driver"},
        {0x800700AA, L"device busy"},
        {0x8007048F, L"device disconnected"},
    };
    for (const Case& c : cases) EXPECT_EQ(hrText(static_cast<std::int32_t>(c.hr)), c.text) << std::hex << c.hr;
}

TEST(HrText, EveryOtherCodeIsEightHexDigits)
{
    struct Case {
        std::uint32_t hr;
        const wchar_t* text;
    };
    const Case cases[] = {
        {0x80004005, L"0x80004005"},  // E_FAIL
        {0x80004001, L"0x80004001"},  // E_NOTIMPL
        {0x80040154, L"0x80040154"},  // REGDB_E_CLASSNOTREG: no portable-device service
        {0x80070006, L"0x80070006"},  // next to access denied
        {0x8007048E, L"0x8007048E"},  // next to device disconnected
        {0x00070005, L"0x00070005"},  // access denied's code without the failure bit
        {0, L"0x00000000"},
        {1, L"0x00000001"},
        {0xFFFFFFFF, L"0xFFFFFFFF"},
    };
    for (const Case& c : cases) EXPECT_EQ(hrText(static_cast<std::int32_t>(c.hr)), c.text) << std::hex << c.hr;
}

TEST(HexText, PadsToTheWidthAndNeverCutsTheValue)
{
    struct Case {
        std::uint32_t value;
        int width;
        const wchar_t* text;
    };
    const Case cases[] = {
        {0x2001, 4, L"0x2001"},
        {0x1F, 4, L"0x001F"},
        {0, 4, L"0x0000"},
        {0x10000, 4, L"0x10000"},
        {0xD1AC, 4, L"0xD1AC"},
        {0xabcdef, 4, L"0xABCDEF"},
        {0xFFFFFFFF, 4, L"0xFFFFFFFF"},
        {0x2001, 8, L"0x00002001"},
        {0, 0, L"0x0"},
        {0x5, -7, L"0x5"},
        {0x5, INT_MIN, L"0x5"},
        {0x1, 13, L"0x0000000000001"},
        // The text never grows past 15 characters, whatever width is asked for.
        {0x1, 14, L"0x0000000000001"},
        {0x1, INT_MAX, L"0x0000000000001"},
    };
    for (const Case& c : cases) EXPECT_EQ(hexText(c.value, c.width), c.text) << std::hex << c.value << " " << std::dec << c.width;
}
