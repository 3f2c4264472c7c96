#pragma once
// The PTP codes this program sends to, or looks for from, a camera.

#include <cstdint>

namespace ptp {

// Operations.
inline constexpr std::uint16_t opGetDeviceInfo = 0x1001;
inline constexpr std::uint16_t opOpenSession = 0x1002;  // over USB only: Windows runs the session
inline constexpr std::uint16_t opCloseSession = 0x1003;
inline constexpr std::uint16_t opGetDevicePropValue = 0x1015;
inline constexpr std::uint16_t opCanonSetRemoteMode = 0x9114;
inline constexpr std::uint16_t opCanonSetEventMode = 0x9115;
inline constexpr std::uint16_t opCanonGetEvent = 0x9116;  // the EOS event channel
inline constexpr std::uint16_t opCanonRequestDevicePropValue = 0x9127;

// Responses.
inline constexpr std::uint16_t rcOk = 0x2001;
inline constexpr std::uint16_t rcGeneralError = 0x2002;
inline constexpr std::uint16_t rcSessionNotOpen = 0x2003;
inline constexpr std::uint16_t rcOperationNotSupported = 0x2005;
inline constexpr std::uint16_t rcParameterNotSupported = 0x2006;
inline constexpr std::uint16_t rcDevicePropNotSupported = 0x200A;  // Fujifilm bodies outside tether mode
inline constexpr std::uint16_t rcDeviceBusy = 0x2019;
inline constexpr std::uint16_t rcSessionAlreadyOpen = 0x201E;

// Device properties.
inline constexpr std::uint16_t propCanonShutterCounter = 0xD1AC;
inline constexpr std::uint16_t propCanonShutterReleaseCounter = 0xD167;
inline constexpr std::uint16_t propFujifilmTotalShotCount = 0xD310;

// EOS event data: record types.
inline constexpr std::uint32_t eosEventPropValueChanged = 0xC189;
inline constexpr std::uint32_t eosEventEnd = 0x0000;  // the record that ends a batch

}  // namespace ptp
