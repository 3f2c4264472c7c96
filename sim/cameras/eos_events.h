#pragma once
// EOS event data as a Canon body sends it for GetEvent (0x9116): records packed back to
// back, each a uint32 size (header included), a uint32 type and a payload, all little-endian,
// ended by an 8-byte record of type 0. Real bodies send records of odd sizes, so records here
// are never padded to any alignment.

#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace sim {

inline constexpr std::uint32_t eosPropertyValueRecord = 0xC189;
inline constexpr std::uint32_t eosAllowedValuesRecord = 0xC18A;
inline constexpr std::uint32_t eosShutterCounter = 0xD1AC;
inline constexpr std::uint32_t eosShutterReleaseCounter = 0xD167;

class EosEventBuilder {
public:
    // A property-value record: size 16, type 0xC189, the code, a 4-byte value.
    EosEventBuilder& property(std::uint32_t code, std::uint32_t value);
    // A 0xC189 record whose value is these bytes (size 12 + their count): 1-byte values,
    // strings, structures such as the 16-byte 0xD167 value of an EOS M50.
    EosEventBuilder& propertyBytes(std::uint32_t code, std::span<const std::uint8_t> value);
    // Any record: size 8 + the payload's count, the given type.
    EosEventBuilder& record(std::uint32_t type, std::span<const std::uint8_t> payload);
    // A bare header whose size says what it likes, whatever follows: records that lie.
    EosEventBuilder& header(std::uint32_t size, std::uint32_t type);
    // The 8-byte record of type 0 that ends the data.
    EosEventBuilder& end();
    EosEventBuilder& raw(std::span<const std::uint8_t> bytes);

    const std::vector<std::uint8_t>& bytes() const& { return bytes_; }
    std::vector<std::uint8_t> bytes() && { return std::move(bytes_); }

private:
    std::vector<std::uint8_t> bytes_;
};

// The 8 bytes of a batch with nothing in it: the end record alone.
std::vector<std::uint8_t> eosEmptyBatch();

}  // namespace sim
