#include "app/display_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

TEST(CountHeadline, GroupsDigitsInThrees)
{
    struct Case {
        std::uint32_t count;
        const wchar_t* text;
    };
    const Case cases[] = {
        {0, L"0 shutter actuations"},
        {1, L"1 shutter actuations"},
        {12, L"12 shutter actuations"},
        {999, L"999 shutter actuations"},
        {1000, L"1,000 shutter actuations"},
        {12345, L"12,345 shutter actuations"},
        {100000, L"100,000 shutter actuations"},
        {123456, L"123,456 shutter actuations"},
        {1000000, L"1,000,000 shutter actuations"},
        {1234567, L"1,234,567 shutter actuations"},
        {999999999, L"999,999,999 shutter actuations"},
        {1000000000, L"1,000,000,000 shutter actuations"},
        {4294967295u, L"4,294,967,295 shutter actuations"},
    };
    for (const Case& c : cases) EXPECT_EQ(countHeadline(c.count), c.text) << c.count;
}

TEST(DetailText, ModelThenFirmwareWhenThereIsOne)
{
    struct Case {
        std::string model;
        std::string firmware;
        const wchar_t* text;
    };
    const Case cases[] = {
        {"Canon EOS 60D", "3-1.1.0", L"Canon EOS 60D   firmware 3-1.1.0"},
        {"X-H1", "", L"X-H1"},
        {"", "2.14", L"   firmware 2.14"},
        {"", "", L""},
    };
    for (const Case& c : cases) EXPECT_EQ(detailText(c.model, c.firmware), c.text);
}
