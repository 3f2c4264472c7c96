#include "ptp/usb_session.h"

#include "ptp/failure_text.h"
#include "ptp/ptp_codes.h"
#include "ptp/usb_container.h"

#include <algorithm>
#include <span>
#include <string>

namespace {

constexpr std::uint32_t kSessionId = 1;

// Class requests of the still-image interface, on endpoint 0.
constexpr std::uint8_t kGetDeviceStatus = 0x67;
constexpr std::uint16_t kDeviceStatusBytes = 20;

std::wstring opText(std::uint16_t code)
{
    return hexText(code, 4);
}

}  // namespace

UsbPtpSession::UsbPtpSession(UsbPort& port, std::uint32_t packetSize, const LogSink& log, UsbLimits limits)
    : port_(port), packetSize_(std::max<std::uint32_t>(packetSize, 8)), log_(log), limits_(limits)
{
}

std::uint32_t UsbPtpSession::roundToPackets(std::uint64_t bytes) const noexcept
{
    const std::uint64_t chunk = std::max<std::uint64_t>(limits_.readChunk / packetSize_, 1) * packetSize_;
    const std::uint64_t packets = (std::min(bytes, chunk) + packetSize_ - 1) / packetSize_;
    return static_cast<std::uint32_t>(std::max<std::uint64_t>(packets, 1) * packetSize_);
}

Task<> UsbPtpSession::pause(unsigned milliseconds)
{
    co_await port_.sleep(milliseconds);
}

Task<std::int32_t> UsbPtpSession::failed(UsbStatus status)
{
    switch (status) {
    case UsbStatus::ok:
        co_return 0;
    case UsbStatus::stall:
        // The transaction is lost, but the camera answers again once its pipes are cleared.
        co_await recoverStall();
        co_return failure_ != 0 ? failure_ : kUsbStopped;
    case UsbStatus::babble:
        failure_ = kUsbBadData;
        break;
    case UsbStatus::disconnected:
        failure_ = kUsbDisconnected;
        break;
    case UsbStatus::timedOut:
        failure_ = kUsbTimedOut;
        break;
    }
    log_(L"USB: the camera stopped answering (" + hrText(failure_) + L")");
    co_return failure_;
}

Task<> UsbPtpSession::recoverStall()
{
    leftover_.clear();
    bool inHalted = true;
    bool outHalted = true;
    UsbTransfer status = co_await port_.controlIn(kGetDeviceStatus, kDeviceStatusBytes, limits_.transferMs);
    if (status.status == UsbStatus::ok) {
        if (const auto decoded = usbptp::decodeDeviceStatus(status.data); decoded && !decoded->stalledEndpoints.empty()) {
            inHalted = outHalted = false;
            for (const std::uint8_t endpoint : decoded->stalledEndpoints)
                (endpoint & 0x80 ? inHalted : outHalted) = true;
        }
    }
    for (int direction = 0; direction < 2; ++direction) {
        const bool in = direction == 0;
        if (!(in ? inHalted : outHalted))
            continue;
        const UsbTransfer cleared = co_await port_.clearHalt(in, limits_.transferMs);
        if (cleared.status == UsbStatus::disconnected || cleared.status == UsbStatus::timedOut) {
            failure_ = cleared.status == UsbStatus::disconnected ? kUsbDisconnected : kUsbTimedOut;
            co_return;
        }
    }
    // The camera says Device_Busy while it cleans up, then OK.
    for (unsigned poll = 0; poll < limits_.statusPolls; ++poll) {
        status = co_await port_.controlIn(kGetDeviceStatus, kDeviceStatusBytes, limits_.transferMs);
        if (status.status == UsbStatus::disconnected || status.status == UsbStatus::timedOut) {
            failure_ = status.status == UsbStatus::disconnected ? kUsbDisconnected : kUsbTimedOut;
            co_return;
        }
        const auto decoded = usbptp::decodeDeviceStatus(status.data);
        if (status.status == UsbStatus::ok && decoded && decoded->code == ptp::rcOk) {
            log_(L"USB: stall cleared");
            co_return;
        }
        co_await port_.sleep(limits_.statusPauseMs);
    }
    log_(L"USB: the camera stayed busy after a stall");
    failure_ = kUsbStopped;
}

Task<UsbPtpSession::Container> UsbPtpSession::readContainer()
{
    Container container;
    std::vector<std::uint8_t> bytes = std::move(leftover_);
    leftover_.clear();
    const double started = port_.now();
    unsigned reads = 0;
    bool ended = false;         // the camera ended its transfer with a short or zero-length packet
    bool emptySwallowed = false;
    std::uint64_t wanted = usbptp::kHeaderBytes;
    bool lengthKnown = false;
    bool unknownLength = false;

    while (bytes.size() < wanted && !ended) {
        if (reads >= limits_.maxReads || port_.now() - started > limits_.phaseMs) {
            log_(L"USB: a container took more than " + std::to_wstring(reads) + L" reads");
            failure_ = kUsbTimedOut;
            container.hr = failure_;
            co_return container;
        }
        const std::uint32_t request = roundToPackets(wanted - bytes.size());
        UsbTransfer t = co_await port_.bulkIn(request, limits_.transferMs);
        ++reads;
        if (t.status != UsbStatus::ok) {
            container.hr = co_await failed(t.status);
            co_return container;
        }
        // A zero-length packet left over from a data phase that filled its last packet exactly.
        if (t.data.empty() && bytes.empty() && !emptySwallowed) {
            emptySwallowed = true;
            continue;
        }
        ended = t.data.size() < request;
        bytes.insert(bytes.end(), t.data.begin(), t.data.end());

        if (!lengthKnown && bytes.size() >= usbptp::kHeaderBytes) {
            const auto header = usbptp::decodeHeader(bytes);
            container.type = header->type;
            container.code = header->code;
            container.transactionId = header->transactionId;
            lengthKnown = true;
            unknownLength = header->length == usbptp::kUnknownLength;
            if (header->length < usbptp::kHeaderBytes ||
                (!unknownLength && header->length - usbptp::kHeaderBytes > limits_.maxDataBytes)) {
                log_(L"USB: a container claims " + std::to_wstring(header->length) + L" bytes");
                failure_ = kUsbBadData;
                container.hr = failure_;
                co_return container;
            }
            wanted = unknownLength ? std::uint64_t{limits_.maxDataBytes} + usbptp::kHeaderBytes : header->length;
        }
    }
    if (!lengthKnown) {
        log_(L"USB: the camera sent " + std::to_wstring(bytes.size()) + L" bytes, less than a container header");
        failure_ = kUsbBadData;
        container.hr = failure_;
        co_return container;
    }
    // A camera that did not end its data phase with a zero-length packet may have sent the
    // next container in the same transfer: keep it for the next read.
    if (bytes.size() > wanted) {
        leftover_.assign(bytes.begin() + static_cast<std::ptrdiff_t>(wanted), bytes.end());
        bytes.resize(static_cast<std::size_t>(wanted));
    }
    // A data phase cut short keeps what arrived, as a short transfer does through Windows.
    container.payload.assign(bytes.begin() + usbptp::kHeaderBytes, bytes.end());
    co_return container;
}

Task<UsbPtpSession::Container> UsbPtpSession::readContainerOf(std::uint32_t transactionId)
{
    // What a closed tab left unread in the pipe belongs to another transaction: skip it.
    for (unsigned skipped = 0;; ++skipped) {
        Container container = co_await readContainer();
        if (container.hr < 0 || container.transactionId == transactionId)
            co_return container;
        log_(L"USB: skipped a container of transaction " + std::to_wstring(container.transactionId));
        if (skipped + 1 >= limits_.staleContainers) {
            failure_ = kUsbBadData;
            container.hr = failure_;
            co_return container;
        }
    }
}

Task<CommandResult> UsbPtpSession::transact(std::uint16_t operationCode, const std::vector<std::uint32_t>& params,
                                            bool expectsData)
{
    CommandResult result;
    if (failure_ != 0) {
        result.hr = failure_;
        co_return result;
    }
    const std::uint32_t transaction = operationCode == ptp::opOpenSession ? 0 : nextTransaction_++;
    const UsbTransfer sent =
        co_await port_.bulkOut(usbptp::encodeCommand(operationCode, transaction, params), limits_.transferMs);
    if (sent.status != UsbStatus::ok) {
        result.hr = co_await failed(sent.status);
        co_return result;
    }

    Container container = co_await readContainerOf(transaction);
    if (container.hr < 0) {
        result.hr = container.hr;
        co_return result;
    }
    // A camera that refuses an operation skips its data phase and answers at once.
    if (container.type == usbptp::kData) {
        if (expectsData)
            result.data = std::move(container.payload);
        container = co_await readContainerOf(transaction);
        if (container.hr < 0) {
            result.hr = container.hr;
            co_return result;
        }
    }
    if (container.type != usbptp::kResponse || container.payload.size() > 4 * usbptp::kMaxParams) {
        log_(L"USB: expected a response to " + opText(operationCode) + L", got a container of type " +
             std::to_wstring(container.type));
        failure_ = kUsbBadData;
        result.hr = failure_;
        co_return result;
    }
    result.responseCode = container.code;
    co_return result;
}

Task<CommandResult> UsbPtpSession::run(std::uint16_t operationCode, std::vector<std::uint32_t> params,
                                       bool expectsData)
{
    for (unsigned attempt = 0;; ++attempt) {
        CommandResult result = co_await transact(operationCode, params, expectsData);
        if (result.hr < 0 || result.responseCode != ptp::rcDeviceBusy || attempt >= limits_.busyRetries)
            co_return result;
        log_(L"USB: " + opText(operationCode) + L" -> device busy, asking again");
        co_await port_.sleep(limits_.busyPauseMs);
    }
}

Task<CommandResult> UsbPtpSession::open()
{
    nextTransaction_ = 1;
    CommandResult opened = co_await run(ptp::opOpenSession, oneParam(kSessionId), false);
    if (opened.hr >= 0 && opened.responseCode == ptp::rcSessionAlreadyOpen) {
        // Left by a tab that was closed or reloaded mid-reading: WebUSB's close() tells the
        // camera nothing. Close that session and open ours.
        log_(L"OpenSession -> 0x201E, session already open: closing it and opening again");
        co_await run(ptp::opCloseSession, {}, false);
        nextTransaction_ = 1;
        opened = co_await run(ptp::opOpenSession, oneParam(kSessionId), false);
    }
    std::wstring line = L"OpenSession -> " + hexText(opened.responseCode, 4);
    if (opened.hr < 0)
        line += L" error " + hrText(opened.hr);
    log_(line);
    open_ = opened.hr >= 0 && opened.responseCode == ptp::rcOk;
    co_return opened;
}

Task<> UsbPtpSession::close()
{
    if (!open_ || failure_ != 0)
        co_return;
    const CommandResult closed = co_await run(ptp::opCloseSession, {}, false);
    open_ = false;
    log_(L"CloseSession -> " + hexText(closed.responseCode, 4));
}
