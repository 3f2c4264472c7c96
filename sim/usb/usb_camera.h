#pragma once
// A simulated camera as a USB host sees it: the simulated PTP cameras behind a still-image
// interface, answering in USB containers on their bulk pipes, with the faults a real camera
// and cable show (a session left open, a data phase ending on a packet boundary with or
// without its zero-length packet, a stall, Device_Busy, an unplug, a camera that stops
// answering). Platform-free and synchronous: the tests' USB ports and the page's stand-in for
// navigator.usb (compiled to WebAssembly) call it.

#include "ptp_responder.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

enum class UsbAnswer : std::uint8_t { ok, stall, babble, disconnected, pending };

struct UsbIn {
    UsbAnswer answer = UsbAnswer::ok;
    std::vector<std::uint8_t> data;
};

// One scripted fault: the nth operation with this code (from 1; 0 for every one) and what it
// does.
struct UsbFault {
    enum Kind : std::uint8_t { busy, stallData, unplug, hang } kind = busy;
    std::uint16_t operationCode = 0;
    unsigned nth = 1;
};

class UsbCamera {
public:
    UsbCamera(std::shared_ptr<PtpResponder> camera, std::uint32_t packetSize);

    // Reads faults from words: "zlp=0" (no zero-length packet after a data phase that fills
    // its last packet), "session-open" (a session left open, e.g. by a closed tab),
    // "busy=OP" / "busy=OP@N" (Device_Busy instead of running it), "stall=OP@N" (the data
    // phase stalls), "unplug=OP@N" (unplugged once the command arrives), "hang=OP@N" (never
    // answers). OP is hexadecimal. Returns false with a reason for a word it cannot read.
    bool applyFaults(std::string_view words, std::string* error = nullptr);

    void setZeroLengthPackets(bool sent) noexcept { zlp_ = sent; }
    void openSessionBeforehand() noexcept { sessionOpen_ = true; }
    void addFault(UsbFault fault) { faults_.push_back(fault); }

    // The host's side.
    UsbAnswer bulkOut(const std::vector<std::uint8_t>& bytes);
    UsbIn bulkIn(std::uint32_t length);
    UsbIn controlIn(std::uint8_t request, std::uint16_t length);
    UsbAnswer clearHalt(bool in);

    // For the tests' checks.
    bool sessionOpen() const noexcept { return sessionOpen_; }
    bool unplugged() const noexcept { return unplugged_; }
    std::uint32_t packetSize() const noexcept { return packetSize_; }
    // Every operation code that arrived in a command container, in order.
    const std::vector<std::uint16_t>& commands() const noexcept { return commands_; }
    // The transaction id of each of those commands.
    const std::vector<std::uint32_t>& transactions() const noexcept { return transactions_; }
    const std::shared_ptr<PtpResponder>& camera() const noexcept { return camera_; }

private:
    struct Transfer {
        std::vector<std::uint8_t> bytes;
        std::size_t sent = 0;
        bool zeroLengthPacket = false;  // the camera ends this transfer with one
    };

    void queueContainer(std::uint16_t type, std::uint16_t code, std::uint32_t transaction,
                        const std::vector<std::uint8_t>& payload);
    const UsbFault* faultFor(std::uint16_t operationCode, unsigned count) const;

    std::shared_ptr<PtpResponder> camera_;
    std::uint32_t packetSize_;
    bool zlp_ = true;
    bool sessionOpen_ = false;
    bool unplugged_ = false;
    bool hanging_ = false;
    bool inHalted_ = false;
    unsigned statusBusy_ = 0;  // Get Device Status answers Device_Busy this many more times
    std::vector<UsbFault> faults_;
    std::vector<std::uint16_t> commands_;
    std::vector<std::uint32_t> transactions_;
    std::deque<Transfer> outgoing_;
};

}  // namespace sim
