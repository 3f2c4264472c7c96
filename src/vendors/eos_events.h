#pragma once
// Canon EOS event data (the data phase of GetEvent, 0x9116) and the property values it
// carries. Platform-free: camera bytes only.

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>

inline constexpr std::uint32_t kEosShutterCounter = 0xD1AC;         // preferred
inline constexpr std::uint32_t kEosShutterReleaseCounter = 0xD167;  // fallback

// One property value as the camera sent it: the first 32-bit word of the record's value and
// how many bytes the value really had. Some bodies send a counter code with a structure as
// its value (the EOS M50 sends 0xD167 with 16 bytes), so the width has to travel with it.
struct EosPropertyValue {
    std::uint32_t value = 0;
    std::uint32_t valueBytes = 0;
};

// Property code -> latest value seen during one read.
using EosPropertyMap = std::map<std::uint32_t, EosPropertyValue>;

// Adds every property-value record of one GetEvent reply to the map (later replaces earlier)
// and returns how many it took. Never reads outside `data`.
std::int32_t parseEosEvents(std::span<const std::uint8_t> data, EosPropertyMap& map);

// The counter's value when the camera sent it as a single 32-bit value; a record holding
// anything wider is not a count and gives nothing.
std::optional<std::uint32_t> eosCounterValue(const EosPropertyMap& map, std::uint32_t code);

// The report line for 0xD1AC or 0xD167, e.g. "D1AC ShutterCounter: 52754",
// "D167 ShutterReleaseCounter: not sent" or "... not a count (16-byte value)".
std::wstring eosCounterLine(const EosPropertyMap& map, std::uint32_t code);
