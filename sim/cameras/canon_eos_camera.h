#pragma once
// A Canon EOS body with the event channel. GetEvent hands out one batch per call: after
// SetEventMode switches event mode on, batch 1 is the full property set, later batches only
// changes, and a batch with nothing in it is the 8-byte end record alone. Switching event
// mode on again starts over at batch 1, as the bodies do.

#include <cstdint>
#include <map>
#include <vector>

#include "sim_camera.h"

namespace sim {

class CanonEosCamera final : public SimCamera {
public:
    // An EOS 80D-like body listing 0x9116, whose full batch holds a set of ordinary settings
    // and no shutter counter until one is added.
    CanonEosCamera();
    explicit CanonEosCamera(DeviceInfoFields fields);
    static DeviceInfoFields defaultDeviceInfo();

    // Records added to batch n (1 = the full batch) before its end record, in the order
    // added: the counters, or anything else made with EosEventBuilder.
    void addProperty(unsigned batch, std::uint32_t code, std::uint32_t value);
    void addRecord(unsigned batch, std::vector<std::uint8_t> record);
    // Batch n is exactly these bytes, answered with this response code, instead of what
    // would be built: a real capture, malformed data, a busy camera that still sends data.
    void setBatch(unsigned batch, std::vector<std::uint8_t> bytes, std::uint16_t responseCode = ptp::ok);

    bool remoteMode() const;
    bool eventMode() const;
    // GetEvent batches handed out since event mode was last switched on.
    unsigned batchesServed() const;

private:
    struct Scripted {
        std::vector<std::uint8_t> bytes;
        std::uint16_t responseCode;
    };

    PtpReply answer(std::uint16_t operationCode, const std::vector<std::uint32_t>& params) override;
    PtpReply nextBatch();

    bool remoteMode_ = false;
    bool eventMode_ = false;
    unsigned batchesServed_ = 0;
    std::map<unsigned, std::vector<std::uint8_t>> added_;
    std::map<unsigned, Scripted> scripted_;
};

}  // namespace sim
