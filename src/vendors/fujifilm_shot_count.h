#pragma once
// The value rule of Fujifilm's TotalShotCount property (0xD310). Platform-free.

#include <cstdint>
#include <optional>
#include <span>

inline constexpr std::uint32_t kFujifilmTotalShotCount = 0xD310;

// Fujifilm bodies put the count in the upper half of the first little-endian 32-bit word
// (bytes 2 and 3); bytes 0 and 1 and anything after byte 3 mean something else. Gives
// nothing when fewer than 4 bytes came or the count is 0.
std::optional<std::uint16_t> fujifilmShotCount(std::span<const std::uint8_t> data);
