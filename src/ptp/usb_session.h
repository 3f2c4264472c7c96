#pragma once
// PTP over USB: one session with a camera through its bulk pipes, as the page runs it with
// WebUSB. Over the portable-device service Windows did all of this; here it is ours: the
// session and its transaction ids, data phases over many packets, zero-length packets,
// stalls, a busy camera, and a bound on every phase so that no camera can keep a reading
// going. Platform-free: the page's USBDevice and the tests' simulated camera are UsbPorts.

#include "ptp/operation_runner.h"
#include "reading/reading.h"

#include <cstdint>
#include <vector>

enum class UsbStatus : std::uint8_t {
    ok,
    stall,         // the endpoint halted (WebUSB resolves with status "stall")
    babble,        // the camera sent more than was asked for
    disconnected,  // unplugged, or the transfer failed below the browser (NetworkError, NotFoundError)
    timedOut,      // no answer within the time given; the transfer may still be pending
};

struct UsbTransfer {
    UsbStatus status = UsbStatus::ok;
    std::vector<std::uint8_t> data;  // what arrived (IN transfers)
};

// The camera's PTP interface, claimed: its bulk pipes, the class requests on endpoint 0, and
// the page's clock. Any call may finish at once or later; none may fail by exception.
class UsbPort {
public:
    virtual ~UsbPort() = default;
    virtual Task<UsbTransfer> bulkOut(std::vector<std::uint8_t> bytes, unsigned timeoutMs) = 0;
    // length is a whole number of packets: a camera that fills a packet into a smaller buffer
    // overflows it.
    virtual Task<UsbTransfer> bulkIn(std::uint32_t length, unsigned timeoutMs) = 0;
    // A class request to the interface (recipient interface, index its number).
    virtual Task<UsbTransfer> controlIn(std::uint8_t request, std::uint16_t length, unsigned timeoutMs) = 0;
    virtual Task<UsbTransfer> controlOut(std::uint8_t request, std::vector<std::uint8_t> data, unsigned timeoutMs) = 0;
    // Clears the halt of the bulk-IN (in true) or bulk-OUT endpoint.
    virtual Task<UsbTransfer> clearHalt(bool in, unsigned timeoutMs) = 0;
    virtual Task<> sleep(unsigned milliseconds) = 0;
    // A monotonic clock in milliseconds.
    virtual double now() = 0;
};

// Bounds of one session; the defaults are the product's, tests may shrink them.
struct UsbLimits {
    std::uint32_t readChunk = 16 * 1024;     // the most one bulk-IN read asks for (rounded to packets)
    std::uint32_t maxDataBytes = 0x2000000;  // a data phase larger than this is refused
    unsigned maxReads = 1024;                // bulk-IN reads for one container
    unsigned phaseMs = 20000;                // time for one container, all its reads together
    unsigned transferMs = 5000;              // time for one transfer
    unsigned busyRetries = 3;                // Device_Busy answers retried, each after busyPauseMs
    unsigned busyPauseMs = 200;
    unsigned staleContainers = 4;            // containers of another transaction skipped before giving up
    unsigned statusPolls = 10;               // Get Device Status asked after a stall, statusPauseMs apart
    unsigned statusPauseMs = 50;
};

// Failure codes of the USB route, in the form the readers log (an HRESULT: see hrText).
inline constexpr std::int32_t kUsbStopped = static_cast<std::int32_t>(0x8007001F);       // a stall, cleared
inline constexpr std::int32_t kUsbDisconnected = static_cast<std::int32_t>(0x8007048F);  // unplugged
inline constexpr std::int32_t kUsbTimedOut = static_cast<std::int32_t>(0x800705B4);      // no answer in time
inline constexpr std::int32_t kUsbBadData = static_cast<std::int32_t>(0x8007000D);       // not PTP over USB

class UsbPtpSession final : public PtpOperationRunner {
public:
    // packetSize: the bulk-IN endpoint's wMaxPacketSize. port and log must outlive the session.
    UsbPtpSession(UsbPort& port, std::uint32_t packetSize, const LogSink& log, UsbLimits limits = {});

    // OpenSession (id 1, transaction 0). A session left open by a closed tab or a reload
    // (Session_Already_Open) is closed and opened again, once. The result is OpenSession's.
    Task<CommandResult> open();
    // CloseSession, when a session is open and the camera still answers.
    Task<> close();

    // One operation in the session (transaction ids from 1), retried while the camera answers
    // Device_Busy, a bounded number of times.
    Task<CommandResult> run(std::uint16_t operationCode, std::vector<std::uint32_t> params,
                            bool expectsData) override;
    Task<> pause(unsigned milliseconds) override;

    // False once the camera went away, stopped answering in time, or sent what is not PTP:
    // every later operation then fails at once with the same code, and nothing is sent.
    bool answering() const noexcept { return failure_ == 0; }
    std::int32_t failure() const noexcept { return failure_; }
    bool sessionOpen() const noexcept { return open_; }

private:
    struct Container {
        std::int32_t hr = 0;
        std::uint16_t type = 0;
        std::uint16_t code = 0;
        std::uint32_t transactionId = 0;
        std::vector<std::uint8_t> payload;
    };

    Task<CommandResult> transact(std::uint16_t operationCode, const std::vector<std::uint32_t>& params,
                                 bool expectsData);
    Task<Container> readContainer();
    Task<Container> readContainerOf(std::uint32_t transactionId);
    Task<std::int32_t> failed(UsbStatus status);
    Task<> recoverStall();
    std::uint32_t roundToPackets(std::uint64_t bytes) const noexcept;

    UsbPort& port_;
    std::uint32_t packetSize_;
    const LogSink& log_;
    UsbLimits limits_;
    std::uint32_t nextTransaction_ = 1;
    bool open_ = false;
    std::int32_t failure_ = 0;              // set once the camera stopped answering
    std::vector<std::uint8_t> leftover_;    // bytes read past the end of the last container
};
