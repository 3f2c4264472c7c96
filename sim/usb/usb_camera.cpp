#include "usb_camera.h"

#include "ptp_writer.h"
#include "sim_camera.h"

#include <algorithm>
#include <charconv>

namespace sim {

namespace {

constexpr std::uint8_t kGetDeviceStatus = 0x67;
constexpr std::uint8_t kBulkInAddress = 0x81;

std::uint32_t u32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
           std::uint32_t{b[at + 3]} << 24;
}

bool parseHex16(std::string_view text, std::uint16_t& value)
{
    if (text.starts_with("0x"))
        text.remove_prefix(2);
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

}  // namespace

UsbCamera::UsbCamera(std::shared_ptr<PtpResponder> camera, std::uint32_t packetSize)
    : camera_(std::move(camera)), packetSize_(packetSize)
{
}

bool UsbCamera::applyFaults(std::string_view words, std::string* error)
{
    const auto fail = [&](std::string reason) {
        if (error)
            *error = std::move(reason);
        return false;
    };
    while (!words.empty()) {
        const std::size_t space = words.find(' ');
        const std::string_view word = words.substr(0, space);
        words.remove_prefix(space == std::string_view::npos ? words.size() : space + 1);
        if (word.empty())
            continue;
        if (word == "zlp=0") {
            zlp_ = false;
            continue;
        }
        if (word == "session-open") {
            sessionOpen_ = true;
            continue;
        }
        const std::size_t equals = word.find('=');
        if (equals == std::string_view::npos)
            return fail("unknown word: " + std::string(word));
        const std::string_view key = word.substr(0, equals);
        std::string_view value = word.substr(equals + 1);
        UsbFault fault;
        if (key == "busy")
            fault.kind = UsbFault::busy;
        else if (key == "stall")
            fault.kind = UsbFault::stallData;
        else if (key == "unplug")
            fault.kind = UsbFault::unplug;
        else if (key == "hang")
            fault.kind = UsbFault::hang;
        else
            return fail("unknown word: " + std::string(word));
        fault.nth = 1;
        if (const std::size_t at = value.find('@'); at != std::string_view::npos) {
            const std::string_view n = value.substr(at + 1);
            const auto [end, ec] = std::from_chars(n.data(), n.data() + n.size(), fault.nth);
            if (ec != std::errc() || end != n.data() + n.size())
                return fail("bad count in: " + std::string(word));
            value = value.substr(0, at);
        } else if (fault.kind == UsbFault::busy) {
            fault.nth = 0;
        }
        if (!parseHex16(value, fault.operationCode))
            return fail("bad operation code in: " + std::string(word));
        faults_.push_back(fault);
    }
    return true;
}

const UsbFault* UsbCamera::faultFor(std::uint16_t operationCode, unsigned count) const
{
    for (const UsbFault& f : faults_)
        if (f.operationCode == operationCode && (f.nth == 0 || f.nth == count))
            return &f;
    return nullptr;
}

void UsbCamera::queueContainer(std::uint16_t type, std::uint16_t code, std::uint32_t transaction,
                               const std::vector<std::uint8_t>& payload)
{
    Transfer t;
    t.bytes = PtpWriter()
                  .u32le(static_cast<std::uint32_t>(12 + payload.size()))
                  .u16le(type)
                  .u16le(code)
                  .u32le(transaction)
                  .raw(payload)
                  .bytes();
    t.zeroLengthPacket = zlp_ && t.bytes.size() % packetSize_ == 0;
    outgoing_.push_back(std::move(t));
}

UsbAnswer UsbCamera::bulkOut(const std::vector<std::uint8_t>& bytes)
{
    if (unplugged_)
        return UsbAnswer::disconnected;
    // A command container: length, type 1, code, transaction, parameters.
    if (bytes.size() < 12 || u32(bytes, 0) != bytes.size() || bytes[4] != 1 || bytes[5] != 0 || bytes.size() % 4 != 0)
        return UsbAnswer::stall;
    const auto code = static_cast<std::uint16_t>(bytes[6] | bytes[7] << 8);
    const std::uint32_t transaction = u32(bytes, 8);
    std::vector<std::uint32_t> params;
    for (std::size_t at = 12; at + 4 <= bytes.size(); at += 4)
        params.push_back(u32(bytes, at));
    commands_.push_back(code);
    transactions_.push_back(transaction);
    const auto seen = static_cast<unsigned>(std::count(commands_.begin(), commands_.end(), code));

    if (const UsbFault* f = faultFor(code, seen)) {
        switch (f->kind) {
        case UsbFault::busy:
            queueContainer(3, ptp::deviceBusy, transaction, {});
            return UsbAnswer::ok;
        case UsbFault::unplug:
            unplugged_ = true;
            return UsbAnswer::ok;  // the command went out; nothing comes back
        case UsbFault::hang:
            hanging_ = true;
            return UsbAnswer::ok;
        case UsbFault::stallData:
            camera_->execute(code, params, true);  // the camera ran it, then its pipe halted
            inHalted_ = true;
            statusBusy_ = 1;
            return UsbAnswer::ok;
        }
    }

    if (code == ptp::openSession) {
        if (sessionOpen_) {
            // With the id of the session that is open.
            queueContainer(3, ptp::sessionAlreadyOpen, transaction, PtpWriter().u32le(1).bytes());
            return UsbAnswer::ok;
        }
        sessionOpen_ = true;
        camera_->execute(code, params, false);
        queueContainer(3, ptp::ok, transaction, {});
        return UsbAnswer::ok;
    }
    if (!sessionOpen_ && code != ptp::getDeviceInfo) {
        queueContainer(3, ptp::sessionNotOpen, transaction, {});
        return UsbAnswer::ok;
    }
    if (code == ptp::closeSession)
        sessionOpen_ = false;
    const PtpReply reply = camera_->execute(code, params, true);
    if (!reply.data.empty())
        queueContainer(2, code, transaction, reply.data);
    queueContainer(3, reply.responseCode, transaction, {});
    return UsbAnswer::ok;
}

UsbIn UsbCamera::bulkIn(std::uint32_t length)
{
    if (unplugged_)
        return {UsbAnswer::disconnected, {}};
    if (inHalted_)
        return {UsbAnswer::stall, {}};
    UsbIn in;
    // Packet by packet, as the bus carries them: the read ends when it is full, or with a
    // packet shorter than the endpoint's (a zero-length one included).
    while (in.data.size() < length) {
        if (outgoing_.empty()) {
            // A real camera NAKs until it has something to send: the read stays pending.
            if (in.data.empty() || hanging_)
                return {UsbAnswer::pending, {}};
            break;
        }
        Transfer& t = outgoing_.front();
        const std::size_t left = t.bytes.size() - t.sent;
        if (left == 0) {  // only its zero-length packet is still to come
            outgoing_.pop_front();
            return in;
        }
        const std::size_t packet = std::min<std::size_t>(left, packetSize_);
        if (packet > length - in.data.size())
            return {UsbAnswer::babble, {}};
        in.data.insert(in.data.end(), t.bytes.begin() + static_cast<std::ptrdiff_t>(t.sent),
                       t.bytes.begin() + static_cast<std::ptrdiff_t>(t.sent + packet));
        t.sent += packet;
        if (t.sent == t.bytes.size() && !t.zeroLengthPacket)
            outgoing_.pop_front();
        if (packet < packetSize_)
            break;
    }
    return in;
}

UsbIn UsbCamera::controlIn(std::uint8_t request, std::uint16_t length)
{
    if (unplugged_)
        return {UsbAnswer::disconnected, {}};
    if (request != kGetDeviceStatus)
        return {UsbAnswer::stall, {}};
    const bool busy = statusBusy_ > 0 || inHalted_;
    if (statusBusy_ > 0 && !inHalted_)
        --statusBusy_;
    PtpWriter writer;
    writer.u16le(static_cast<std::uint16_t>(inHalted_ ? 8 : 4)).u16le(busy ? ptp::deviceBusy : ptp::ok);
    if (inHalted_)
        writer.u32le(kBulkInAddress);
    std::vector<std::uint8_t> status = std::move(writer).bytes();
    status.resize(std::min<std::size_t>(status.size(), length));
    return {UsbAnswer::ok, status};
}

UsbAnswer UsbCamera::clearHalt(bool in)
{
    if (unplugged_)
        return UsbAnswer::disconnected;
    if (in) {
        inHalted_ = false;
        outgoing_.clear();  // the stalled transaction's data and response are gone
    }
    return UsbAnswer::ok;
}

}  // namespace sim
