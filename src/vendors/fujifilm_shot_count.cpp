#include "vendors/fujifilm_shot_count.h"

std::optional<std::uint16_t> fujifilmShotCount(std::span<const std::uint8_t> data)
{
    if (data.size() < 4)
        return std::nullopt;
    const auto count = static_cast<std::uint16_t>(data[2] | data[3] << 8);
    if (count == 0)
        return std::nullopt;
    return count;
}
