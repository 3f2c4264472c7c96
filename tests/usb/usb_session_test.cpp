// PTP containers and the bounds of a USB session, against a camera scripted byte for byte.
#include "ptp/usb_container.h"
#include "ptp/usb_session.h"

#include <gtest/gtest.h>

#include <deque>

namespace {

std::vector<std::uint8_t> container(std::uint32_t length, std::uint16_t type, std::uint16_t code,
                                    std::uint32_t transaction, std::size_t payload = 0)
{
    std::vector<std::uint8_t> b;
    for (const std::uint32_t v : {length, std::uint32_t{type} | std::uint32_t{code} << 16, transaction})
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    b.resize(b.size() + payload, 0xAB);
    return b;
}

// Answers each bulk-IN read with the next scripted block, at most what was asked for (the rest
// stays for the next read); once the script ends, with `endless` full packets if set (`dribble`:
// one packet a read), else a read that never finishes.
class ScriptedPort final : public UsbPort {
public:
    std::deque<std::vector<std::uint8_t>> script;
    bool endless = false;
    bool dribble = false;
    unsigned reads = 0;
    double clock = 0;

    Task<UsbTransfer> bulkOut(std::vector<std::uint8_t>, unsigned) override { co_return UsbTransfer{}; }
    Task<UsbTransfer> bulkIn(std::uint32_t length, unsigned timeoutMs) override
    {
        ++reads;
        clock += 1;
        if (script.empty()) {
            if (endless)
                co_return UsbTransfer{UsbStatus::ok, std::vector<std::uint8_t>(dribble ? 512 : length, 0)};
            clock += timeoutMs;
            co_return UsbTransfer{UsbStatus::timedOut, {}};
        }
        std::vector<std::uint8_t> block = std::move(script.front());
        script.pop_front();
        if (block.size() > length) {
            script.emplace_front(block.begin() + length, block.end());
            block.resize(length);
        }
        co_return UsbTransfer{UsbStatus::ok, std::move(block)};
    }
    Task<UsbTransfer> controlIn(std::uint8_t, std::uint16_t, unsigned) override { co_return UsbTransfer{}; }
    Task<UsbTransfer> controlOut(std::uint8_t, std::vector<std::uint8_t>, unsigned) override { co_return UsbTransfer{}; }
    Task<UsbTransfer> clearHalt(bool, unsigned) override { co_return UsbTransfer{}; }
    Task<> sleep(unsigned ms) override
    {
        clock += ms;
        co_return;
    }
    double now() override { return clock; }
};

struct Outcome {
    CommandResult result;
    bool answering;
    unsigned reads;
};

// GetDeviceInfo as the first transaction of a session (id 1) against the script.
Outcome getDeviceInfo(ScriptedPort& port, UsbLimits limits = {})
{
    const LogSink log = [](const std::wstring&) {};
    UsbPtpSession session(port, 512, log, limits);
    CommandResult result = runToEnd(session.run(0x1001, {}, true));
    return {std::move(result), session.answering(), port.reads};
}

}  // namespace

TEST(UsbContainer, CommandsCarryOnlyTheParametersGiven)
{
    const std::uint32_t params[] = {0xD1AC};
    EXPECT_EQ(usbptp::encodeCommand(0x9127, 7, params),
              (std::vector<std::uint8_t>{16, 0, 0, 0, 1, 0, 0x27, 0x91, 7, 0, 0, 0, 0xAC, 0xD1, 0, 0}));
    const std::uint32_t six[] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(usbptp::encodeCommand(0x1001, 0, six).size(), 32u);
}

TEST(UsbContainer, ResponsesAreDecodedOnlyWhenWhole)
{
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        bool ok;
        std::size_t params;
    };
    auto withParams = [](std::uint32_t length, std::size_t bytes) { return container(length, 3, 0x2001, 4, bytes); };
    const Case cases[] = {
        {"bare", container(12, 3, 0x2001, 4), true, 0},
        {"one parameter", withParams(16, 4), true, 1},
        {"five parameters", withParams(32, 20), true, 5},
        {"six parameters", withParams(36, 24), false, 0},
        {"length not whole parameters", withParams(14, 2), false, 0},
        {"length past the bytes", withParams(16, 0), false, 0},
        {"length below the header", container(8, 3, 0x2001, 4), false, 0},
        {"a data container", container(12, 2, 0x1001, 4), false, 0},
        {"short", {12, 0, 0, 0, 3, 0}, false, 0},
        {"empty", {}, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto r = usbptp::decodeResponse(c.bytes);
        ASSERT_EQ(r.has_value(), c.ok);
        if (r) {
            EXPECT_EQ(r->code, 0x2001);
            EXPECT_EQ(r->transactionId, 4u);
            EXPECT_EQ(r->params.size(), c.params);
        }
    }
}

TEST(UsbContainer, DeviceStatusNamesTheStalledEndpointsWithinItsLength)
{
    const auto both = usbptp::decodeDeviceStatus(std::vector<std::uint8_t>{12, 0, 0x19, 0x20, 0x81, 0, 0, 0, 2, 0, 0, 0});
    ASSERT_TRUE(both);
    EXPECT_EQ(both->code, 0x2019);
    EXPECT_EQ(both->stalledEndpoints, (std::vector<std::uint8_t>{0x81, 0x02}));
    // The stated length says 8: the second endpoint is not part of the answer.
    const auto cut = usbptp::decodeDeviceStatus(std::vector<std::uint8_t>{8, 0, 1, 0x20, 0x81, 0, 0, 0, 2, 0, 0, 0});
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->stalledEndpoints.size(), 1u);
    EXPECT_FALSE(usbptp::decodeDeviceStatus(std::vector<std::uint8_t>{2, 0, 1, 0x20}));
    EXPECT_FALSE(usbptp::decodeDeviceStatus(std::vector<std::uint8_t>{4, 0, 1}));
}

TEST(UsbSession, DataPhasesOfEveryShape)
{
    const auto response = container(12, 3, 0x2001, 1);
    struct Case {
        const char* name;
        std::deque<std::vector<std::uint8_t>> script;
        std::size_t dataBytes;
    };
    auto data = [](std::uint32_t length, std::size_t payload) { return container(length, 2, 0x1001, 1, payload); };
    auto split = [](std::vector<std::uint8_t> whole, std::size_t first) {
        return std::deque<std::vector<std::uint8_t>>{{whole.begin(), whole.begin() + first},
                                                     {whole.begin() + first, whole.end()}};
    };
    Case cases[] = {
        {"small", {data(112, 100), response}, 100},
        {"over several reads", {}, 3000},
        {"size not given, ends with a short read", {data(0xFFFFFFFF, 700), response}, 700},
        {"cut short by the camera", {data(5000, 100), response}, 100},
        {"the response right behind the data", {}, 500},
        {"stale containers of another transaction first", {container(12, 3, 0x2001, 9), data(20, 8), response}, 8},
        {"no data phase: refused at once", {container(12, 3, 0x2005, 1)}, 0},
    };
    cases[1].script = split(data(3012, 3000), 512);
    cases[1].script.push_back(response);
    {
        auto joined = data(512, 500);
        joined.insert(joined.end(), response.begin(), response.end());
        cases[4].script = {joined};
    }
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPort port;
        port.script = c.script;
        const Outcome o = getDeviceInfo(port);
        EXPECT_EQ(o.result.hr, 0);
        EXPECT_EQ(o.result.data.size(), c.dataBytes);
        EXPECT_TRUE(o.answering);
    }
}

TEST(UsbSession, EveryPhaseIsBounded)
{
    struct Case {
        const char* name;
        std::deque<std::vector<std::uint8_t>> script;
        bool endless;
        bool dribble;
        std::int32_t hr;
    };
    const Case cases[] = {
        // Full packets forever after a header that gives no size: stopped at the byte bound.
        {"a data phase that never ends", {container(0xFFFFFFFF, 2, 0x1001, 1, 500)}, true, false, kUsbBadData},
        // A packet a read, asked for a packet at a time: stopped at the bound on reads.
        {"a data phase that dribbles", {container(0xFFFFF, 2, 0x1001, 1, 500)}, true, true, kUsbTimedOut},
        {"a length beyond the largest data phase", {container(0x7FFFFFFF, 2, 0x1001, 1, 500)}, false, false,
         kUsbBadData},
        {"a length below a header", {container(4, 2, 0x1001, 1)}, false, false, kUsbBadData},
        {"fewer bytes than a header", {{1, 2, 3}}, false, false, kUsbBadData},
        {"nothing but other transactions", {container(12, 3, 0x2001, 7), container(12, 3, 0x2001, 8),
                                            container(12, 3, 0x2001, 9), container(12, 3, 0x2001, 10)},
         false, false, kUsbBadData},
        {"a data container where the response belongs", {container(12, 2, 0x1001, 1), container(12, 2, 0x1001, 1)},
         false, false, kUsbBadData},
        {"no answer at all", {}, false, false, kUsbTimedOut},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPort port;
        port.script = c.script;
        port.endless = c.endless;
        port.dribble = c.dribble;
        UsbLimits limits;
        limits.maxDataBytes = 1 << 20;
        if (c.dribble)
            limits.readChunk = 512;
        const Outcome o = getDeviceInfo(port, limits);
        EXPECT_EQ(o.result.hr, c.hr);
        EXPECT_FALSE(o.answering);
        EXPECT_LE(o.reads, limits.maxReads + 1);
    }
}

TEST(UsbSession, NothingIsSentOnceTheCameraStoppedAnswering)
{
    ScriptedPort port;
    const LogSink log = [](const std::wstring&) {};
    UsbPtpSession session(port, 512, log);
    EXPECT_EQ(runToEnd(session.run(0x1001, {}, true)).hr, kUsbTimedOut);
    const unsigned reads = port.reads;
    EXPECT_EQ(runToEnd(session.run(0x9115, {0}, false)).hr, kUsbTimedOut);
    EXPECT_EQ(port.reads, reads);
}
