#pragma once
// A Fujifilm body that answers GetDevicePropValue (0x1015) for its total shot count, property
// 0xD310. In tether mode the bodies answer OK with 4 bytes, the count in the upper half
// (an X-T3 sent 00 00 db 34: 13531); other bodies and modes answer 0x200A.

#include <cstdint>
#include <vector>

#include "sim_camera.h"

namespace sim {

inline constexpr std::uint32_t fujiTotalShotCount = 0xD310;

class FujifilmCamera final : public SimCamera {
public:
    // An X-T3-like body listing 0xD310, answering it with 0x200A until a count is set.
    FujifilmCamera();
    explicit FujifilmCamera(DeviceInfoFields fields);
    static DeviceInfoFields defaultDeviceInfo();

    // OK and 00 00 then the count, little-endian.
    void setShotCount(std::uint16_t count);
    // Any answer for 0xD310: a response code and bytes of any length.
    void setShotCountReply(std::uint16_t responseCode, std::vector<std::uint8_t> data);

private:
    PtpReply answer(std::uint16_t operationCode, const std::vector<std::uint32_t>& params) override;

    PtpReply shotCountReply_{ptp::devicePropNotSupported, {}};
};

}  // namespace sim
