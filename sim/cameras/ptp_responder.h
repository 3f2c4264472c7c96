#pragma once
// A simulated camera as the portable-device driver sees it: a PTP responder that runs one
// operation at a time and answers with a response code and, for an operation with a data
// phase to the host, the data. Platform-free, so the cameras are tested natively too.

#include <cstdint>
#include <vector>

namespace sim {

struct PtpReply {
    std::uint16_t responseCode = 0x2001;  // PTP OK
    std::vector<std::uint8_t> data;       // data phase from camera to host; empty when none
    bool operator==(const PtpReply&) const = default;
};

class PtpResponder {
public:
    virtual ~PtpResponder() = default;
    // dataIn: the host runs the operation with a data phase to read (command 13), not 12.
    virtual PtpReply execute(std::uint16_t operationCode, const std::vector<std::uint32_t>& params,
                             bool dataIn) = 0;
};

}  // namespace sim
