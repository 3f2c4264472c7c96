#include "vendors/fujifilm_shot_count.h"

#include <gtest/gtest.h>

#include <vector>

TEST(FujifilmShotCount, UpperHalfOfTheFirstWordOnly)
{
    struct Case {
        std::vector<std::uint8_t> data;
        std::optional<std::uint16_t> count;
    };
    const Case cases[] = {
        {{0x00, 0x00, 0x2C, 0x01}, 300},
        {{0x01, 0x00, 0x2C, 0x01}, 300},          // bytes 0 and 1 mean something else
        {{0x2C, 0x01, 0x00, 0x00}, std::nullopt},  // upper half 0: no count
        {{0x00, 0x00, 0xDB, 0x34}, 13531},         // an X-T3 in tether mode
        {{0xFF, 0xFF, 0xFF, 0xFF}, 65535},
        {{0x00, 0x00, 0x2C, 0x01, 0x99, 0x99, 0x99, 0x99}, 300},  // bytes after 3 are ignored
        {{}, std::nullopt},
        {{0x00, 0x00}, std::nullopt},
        {{0x00, 0x00, 0x2C}, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fujifilmShotCount(c.data), c.count) << c.data.size() << " bytes";
}
