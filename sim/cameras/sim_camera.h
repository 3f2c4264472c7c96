#pragma once
// What every simulated camera shares: the DeviceInfo dataset it sends, a record of the
// operations it received, and scripted rejections. The service may run operations on its
// own thread while a test looks at the camera, so every member takes the camera's lock.

#include <cstdint>
#include <mutex>
#include <vector>

#include "device_info_builder.h"
#include "ptp_responder.h"

namespace sim {

// PTP operation and response codes the simulated cameras use.
namespace ptp {
inline constexpr std::uint16_t getDeviceInfo = 0x1001;
inline constexpr std::uint16_t openSession = 0x1002;
inline constexpr std::uint16_t closeSession = 0x1003;
inline constexpr std::uint16_t getDevicePropValue = 0x1015;
inline constexpr std::uint16_t eosSetRemoteMode = 0x9114;
inline constexpr std::uint16_t eosSetEventMode = 0x9115;
inline constexpr std::uint16_t eosGetEvent = 0x9116;
inline constexpr std::uint16_t eosRequestDevicePropValue = 0x9127;

inline constexpr std::uint16_t ok = 0x2001;
inline constexpr std::uint16_t generalError = 0x2002;
inline constexpr std::uint16_t sessionNotOpen = 0x2003;
inline constexpr std::uint16_t operationNotSupported = 0x2005;
inline constexpr std::uint16_t devicePropNotSupported = 0x200A;
inline constexpr std::uint16_t deviceBusy = 0x2019;
inline constexpr std::uint16_t invalidParameter = 0x201D;
inline constexpr std::uint16_t sessionAlreadyOpen = 0x201E;
}  // namespace ptp

struct ReceivedOperation {
    std::uint16_t code = 0;
    std::vector<std::uint32_t> params;
    bool dataIn = false;
    bool operator==(const ReceivedOperation&) const = default;
};

class SimCamera : public PtpResponder {
public:
    // Records the operation, applies a rejection if one matches, answers GetDeviceInfo,
    // OpenSession and CloseSession (OK), and hands the rest to the camera. An operation
    // with a data phase to the host gets its data whatever dataIn says; the service decides
    // what reaches the program.
    PtpReply execute(std::uint16_t operationCode, const std::vector<std::uint32_t>& params, bool dataIn) final;

    // GetDeviceInfo sends the dataset built from these fields...
    void setDeviceInfo(DeviceInfoFields fields);
    // ...or these bytes exactly (a real capture, a hand-made malformed dataset).
    void setDeviceInfoBytes(std::vector<std::uint8_t> bytes);
    // The bytes GetDeviceInfo sends now.
    std::vector<std::uint8_t> deviceInfoBytes() const;

    // The nth operation with this code (counting from 1, rejected ones included; 0 for every
    // one) is answered with responseCode and no data and has no other effect: a camera that
    // refuses. A rule for a given n wins over a rule for every one.
    void rejectOperation(std::uint16_t operationCode, std::uint16_t responseCode, unsigned nth = 0);

    // Every operation received, in order.
    std::vector<ReceivedOperation> received() const;
    std::vector<std::uint16_t> receivedCodes() const;

protected:
    explicit SimCamera(DeviceInfoFields fields);
    // Runs an operation other than the three above; called with mutex_ held.
    virtual PtpReply answer(std::uint16_t operationCode, const std::vector<std::uint32_t>& params) = 0;

    mutable std::mutex mutex_;

private:
    struct Rejection {
        std::uint16_t operationCode;
        std::uint16_t responseCode;
        unsigned nth;
    };

    std::vector<std::uint8_t> deviceInfo_;
    std::vector<Rejection> rejections_;
    std::vector<ReceivedOperation> received_;
};

// A device that is only listed (another brand's camera, a phone, a media player): it answers
// every operation with 0x2005 and records it, so a test can check nothing was sent.
class ListedOnlyDevice final : public PtpResponder {
public:
    PtpReply execute(std::uint16_t operationCode, const std::vector<std::uint32_t>& params, bool dataIn) override;
    std::vector<ReceivedOperation> received() const;

private:
    mutable std::mutex mutex_;
    std::vector<ReceivedOperation> received_;
};

}  // namespace sim
