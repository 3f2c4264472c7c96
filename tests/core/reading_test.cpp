#include "reading/reading.h"

#include <gtest/gtest.h>

TEST(Reading, DefaultIsAnEmptyFailure)
{
    Reading r;
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.message.empty());
    EXPECT_TRUE(r.make.empty() && r.model.empty() && r.firmware.empty() && r.serial.empty() && r.source.empty());
    EXPECT_EQ(r.count, 0u);
}

TEST(Widen, OneCharacterPerByte)
{
    EXPECT_EQ(widen(""), L"");
    EXPECT_EQ(widen("Canon EOS 60D"), L"Canon EOS 60D");
    EXPECT_EQ(widen(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
    EXPECT_EQ(widen("\x7f"), L"\x7f");
}
