// Any bytes a camera might send on its bulk-IN pipe and in answer to Get Device Status, through
// the USB session's container decoding: a session runs GetDeviceInfo and one GetEvent against
// them. It must never read outside what arrived, ask for a read that is not whole packets, keep
// more than the largest data phase, or go on past its bounds on reads and time.
//
// The first byte picks the packet size; the rest is split at every "USB|" into what each read
// brings (the rest of a block stays for the next read, as on the bus). A block starting with
// "!S" is a stall, "!D" an unplug.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <span>
#include <vector>

#include "ptp/usb_container.h"
#include "ptp/usb_session.h"

namespace {

constexpr std::uint8_t kSplit[] = {'U', 'S', 'B', '|'};
constexpr std::uint32_t kPacketSizes[] = {64, 512, 1024};

void check(bool condition)
{
    if (!condition) std::abort();
}

class FuzzPort final : public UsbPort {
public:
    FuzzPort(std::deque<std::vector<std::uint8_t>> blocks, std::uint32_t packet) : blocks_(std::move(blocks)), packet_(packet) {}

    unsigned reads = 0;
    double clock = 0;

    Task<UsbTransfer> bulkOut(std::vector<std::uint8_t> bytes, unsigned) override
    {
        const auto header = usbptp::decodeHeader(bytes);
        check(header && header->type == usbptp::kCommand && header->length == bytes.size() && bytes.size() <= 32);
        co_return UsbTransfer{};
    }
    Task<UsbTransfer> bulkIn(std::uint32_t length, unsigned timeoutMs) override
    {
        ++reads;
        clock += 1;
        check(length > 0 && length % packet_ == 0);
        if (blocks_.empty()) {
            clock += timeoutMs;
            co_return UsbTransfer{UsbStatus::timedOut, {}};
        }
        std::vector<std::uint8_t> block = std::move(blocks_.front());
        blocks_.pop_front();
        if (block.size() >= 2 && block[0] == '!' && (block[1] == 'S' || block[1] == 'D'))
            co_return UsbTransfer{block[1] == 'S' ? UsbStatus::stall : UsbStatus::disconnected, {}};
        if (block.size() > length) {
            blocks_.emplace_front(block.begin() + length, block.end());
            block.resize(length);
        }
        co_return UsbTransfer{UsbStatus::ok, std::move(block)};
    }
    Task<UsbTransfer> controlIn(std::uint8_t, std::uint16_t length, unsigned) override
    {
        // Get Device Status answers with the next block too.
        std::vector<std::uint8_t> block;
        if (!blocks_.empty()) {
            block = std::move(blocks_.front());
            blocks_.pop_front();
        }
        if (block.size() > length) block.resize(length);
        const auto status = usbptp::decodeDeviceStatus(block);
        if (status) check(status->stalledEndpoints.size() <= 8);
        co_return UsbTransfer{UsbStatus::ok, std::move(block)};
    }
    Task<UsbTransfer> controlOut(std::uint8_t, std::vector<std::uint8_t>, unsigned) override { co_return UsbTransfer{}; }
    Task<UsbTransfer> clearHalt(bool, unsigned) override { co_return UsbTransfer{}; }
    Task<> sleep(unsigned ms) override
    {
        clock += ms;
        co_return;
    }
    double now() override { return clock; }

private:
    std::deque<std::vector<std::uint8_t>> blocks_;
    std::uint32_t packet_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const std::uint32_t packet = kPacketSizes[data[0] % 3];
    std::deque<std::vector<std::uint8_t>> blocks;
    std::size_t start = 1;
    for (std::size_t i = 1; i + sizeof kSplit <= size; ++i) {
        if (std::memcmp(data + i, kSplit, sizeof kSplit) == 0) {
            blocks.emplace_back(data + start, data + i);
            i += sizeof kSplit - 1;
            start = i + 1;
        }
    }
    blocks.emplace_back(data + start, data + size);

    // Each block decoded on its own as well, from an exact-size copy.
    for (const auto& block : blocks) {
        if (const auto r = usbptp::decodeResponse(block)) check(r->params.size() <= usbptp::kMaxParams);
        usbptp::decodeHeader(block);
    }

    UsbLimits limits;
    limits.maxDataBytes = 1 << 16;  // small, so the fuzzer reaches the bound
    limits.maxReads = 64;
    FuzzPort port(std::move(blocks), packet);
    const LogSink log = [](const std::wstring&) {};
    UsbPtpSession session(port, packet, log, limits);
    for (const auto& [op, withData] : {std::pair{std::uint16_t{0x1001}, true}, std::pair{std::uint16_t{0x9116}, true},
                                       std::pair{std::uint16_t{0x9115}, false}}) {
        const CommandResult r = runToEnd(session.run(op, {}, withData));
        check(r.data.size() <= limits.maxDataBytes);
        check(withData || r.data.empty());
        check(r.hr == 0 || r.hr == kUsbStopped || r.hr == kUsbDisconnected || r.hr == kUsbTimedOut ||
              r.hr == kUsbBadData);
        if (r.hr < 0) check(r.responseCode == 0);
    }
    // Each operation's containers (at most staleContainers + 1 of them, times the busy retries)
    // within the bound on reads.
    check(port.reads <= 3 * (limits.busyRetries + 1) * (limits.staleContainers + 2) * (limits.maxReads + 1));
    return 0;
}
