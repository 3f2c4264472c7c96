// The page's USB reading, run natively against the simulated cameras behind a USB interface:
// the same vendor readers as Tallybrook.exe, over PTP containers on bulk pipes.
#include "reading/usb_reading.h"

#include "camera_factory.h"
#include "canon_eos_camera.h"
#include "eos_events.h"
#include "sim_usb_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

constexpr std::uint16_t kCanon = 0x04A9;
constexpr std::uint16_t kFujifilm = 0x04CB;
constexpr wchar_t kNoCounter[] = L"The camera connected but didn't send its shutter counter. Click Copy details and "
                                 L"email it to support@tallybrook.app.";

// A first event batch whose data container is exactly `containerBytes` long: a filler record,
// the counter, the end record.
std::string batchFilling(std::size_t containerBytes, std::uint32_t counter)
{
    const std::size_t filler = containerBytes - 12 - 16 - 8;
    std::vector<std::uint8_t> payload(filler - 8, 0);
    const auto bytes = sim::EosEventBuilder().record(0xC18A, payload).property(0xD1AC, counter).end().bytes();
    EXPECT_EQ(bytes.size() + 12, containerBytes);
    std::string hex = "hex:";
    for (const std::uint8_t b : bytes) {
        hex += "0123456789abcdef"[b >> 4];
        hex += "0123456789abcdef"[b & 15];
    }
    return hex;
}

struct UsbRun {
    Reading reading;
    std::vector<std::wstring> log;
    std::shared_ptr<sim::PtpResponder> camera;
    std::unique_ptr<sim::UsbCamera> usb;
    unsigned partialPacketReads = 0;
    unsigned clearedHalts = 0;
    unsigned resumptions = 0;
    unsigned slept = 0;
};

UsbRun readOver(const std::string& cameraLine, const std::string& faults, std::uint16_t vendorId,
             std::uint32_t packetSize = 512, bool deferred = false, std::wstring manufacturer = L"")
{
    UsbRun run;
    std::string error;
    run.camera = sim::makeCamera(cameraLine, &error);
    EXPECT_TRUE(run.camera) << error;
    run.usb = std::make_unique<sim::UsbCamera>(run.camera, packetSize);
    EXPECT_TRUE(run.usb->applyFaults(faults, &error)) << error;
    SimUsbPort port(*run.usb, deferred);
    const LogSink log = [&](const std::wstring& line) { run.log.push_back(line); };
    const UsbCameraIdentity identity{vendorId, manufacturer, L"Digital Camera", packetSize};
    Task<Reading> task = readUsbCamera(port, identity, log);
    task.start();
    port.drive();
    EXPECT_TRUE(task.done());
    if (task.done())
        run.reading = task.result();
    run.partialPacketReads = port.partialPacketReads;
    run.clearedHalts = port.clearedHalts;
    run.resumptions = port.resumptions;
    run.slept = port.slept;
    return run;
}

bool logHas(const UsbRun& run, std::wstring_view text)
{
    return std::any_of(run.log.begin(), run.log.end(), [&](const std::wstring& l) { return l.find(text) != l.npos; });
}

std::string narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

}  // namespace

TEST(UsbReading, OutcomesOfTheSimulatedCameras)
{
    struct Case {
        const char* name;
        std::string camera;
        std::string faults;
        std::uint16_t vendor;
        std::uint32_t count;  // 0: no count
        const char* source;
        std::wstring message;  // when no count: the start of the message
        bool answering;        // the camera still answers at the end: session closed, modes off
    };
    const std::wstring didntAnswerDisconnected =
        L"The camera didn't answer (device disconnected). Unplug it, plug it back in and try again.";
    const Case cases[] = {
        {"canon 0xD1AC", "canon d1ac=12345", "", kCanon, 12345, "Canon WebUSB 0xD1AC", L"", true},
        {"canon 0xD167 fallback", "canon d167=512", "", kCanon, 512, "Canon WebUSB 0xD167", L"", true},
        {"16-byte 0xD167 refused", "canon d167=hex:39300000000000000000000000000000", "", kCanon, 0, "", kNoCounter,
         true},
        {"no counter in the events", "canon", "", kCanon, 0, "", kNoCounter, true},
        {"no event channel", "canon drop-op=9116", "", kCanon, 0, "",
         L"This Canon doesn't offer the EOS event channel", true},
        {"fujifilm listed", "fujifilm count=13531", "", kFujifilm, 13531, "Fujifilm WebUSB 0xD310", L"", true},
        {"fujifilm not listed", "fujifilm drop-prop=D310", "", kFujifilm, 0, "",
         L"This Fujifilm body doesn't report a shot count over USB.", true},
        {"fujifilm 0 in the upper half", "fujifilm value=hex:2c010000", "", kFujifilm, 0, "",
         L"The camera connected but didn't send a shot count.", true},
        {"session left open", "canon d1ac=12345", "session-open", kCanon, 12345, "Canon WebUSB 0xD1AC", L"", true},
        {"data phase on a packet boundary, zero-length packet", "canon events1=" + batchFilling(1024, 777), "",
         kCanon, 777, "Canon WebUSB 0xD1AC", L"", true},
        {"data phase on a packet boundary, no zero-length packet", "canon events1=" + batchFilling(1024, 777),
         "zlp=0", kCanon, 777, "Canon WebUSB 0xD1AC", L"", true},
        {"one packet exactly, no zero-length packet", "canon events1=" + batchFilling(512, 778), "zlp=0", kCanon,
         778, "Canon WebUSB 0xD1AC", L"", true},
        {"stall in a data phase", "canon d1ac=12345", "stall=9116@2", kCanon, 12345, "Canon WebUSB 0xD1AC", L"",
         true},
        {"stall before the counter came", "canon d1ac=12345", "stall=9116@1", kCanon, 0, "", kNoCounter, true},
        {"device busy", "canon d1ac=12345", "busy=9116@1", kCanon, 12345, "Canon WebUSB 0xD1AC", L"", true},
        {"fujifilm busy", "fujifilm count=300", "busy=1015@1", kFujifilm, 300, "Fujifilm WebUSB 0xD310", L"", true},
        {"unplugged mid-read", "canon d1ac=12345", "unplug=9116@1", kCanon, 0, "", didntAnswerDisconnected, false},
        {"stops answering", "canon d1ac=12345", "hang=9116@1", kCanon, 0, "",
         L"The camera didn't answer (0x800705B4). Unplug it, plug it back in and try again.", false},
        {"unplugged before GetDeviceInfo", "fujifilm count=300", "unplug=1001@1", kFujifilm, 0, "",
         didntAnswerDisconnected, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const UsbRun run = readOver(c.camera, c.faults, c.vendor);
        EXPECT_EQ(run.reading.ok, c.count != 0);
        EXPECT_EQ(run.reading.count, c.count);
        EXPECT_EQ(run.reading.source, c.source);
        if (c.count == 0)
            EXPECT_EQ(run.reading.message.substr(0, c.message.size()), c.message) << narrow(run.reading.message);
        else
            EXPECT_EQ(run.reading.message, L"");
        EXPECT_EQ(run.partialPacketReads, 0u);
        if (c.answering) {
            EXPECT_FALSE(run.usb->sessionOpen()) << "the session was left open";
            EXPECT_EQ(run.usb->commands().back(), 0x1003);
            EXPECT_EQ(run.reading.model, c.vendor == kCanon ? "Canon EOS 80D" : "X-T3");
        } else {
            // Nothing is sent to a camera that went away.
            EXPECT_NE(run.usb->commands().back(), 0x1003);
        }
        if (const auto* canon = dynamic_cast<const sim::CanonEosCamera*>(run.camera.get()); canon && c.answering) {
            EXPECT_FALSE(canon->remoteMode());
            EXPECT_FALSE(canon->eventMode());
        }
    }
}

TEST(UsbReading, TransactionIdsStartAtZeroForOpenSessionAndCountFromOne)
{
    const UsbRun run = readOver("fujifilm count=300", "", kFujifilm);
    EXPECT_EQ(run.usb->commands(), (std::vector<std::uint16_t>{0x1002, 0x1001, 0x1015, 0x1003}));
    EXPECT_EQ(run.usb->transactions(), (std::vector<std::uint32_t>{0, 1, 2, 3}));
}

TEST(UsbReading, ASessionLeftOpenIsClosedAndOpenedAgain)
{
    const UsbRun run = readOver("fujifilm count=300", "session-open", kFujifilm);
    EXPECT_EQ(run.usb->commands(), (std::vector<std::uint16_t>{0x1002, 0x1003, 0x1002, 0x1001, 0x1015, 0x1003}));
    EXPECT_EQ(run.usb->transactions(), (std::vector<std::uint32_t>{0, 1, 0, 1, 2, 3}));
    EXPECT_TRUE(logHas(run, L"session already open"));
}

TEST(UsbReading, AStallIsRecoveredThroughDeviceStatusAndClearHalt)
{
    const UsbRun run = readOver("canon d1ac=12345", "stall=9116@2", kCanon);
    EXPECT_GE(run.clearedHalts, 1u);
    EXPECT_TRUE(logHas(run, L"GetEvent failed: device stopped responding"));
    EXPECT_TRUE(logHas(run, L"USB: stall cleared"));
    EXPECT_EQ(run.reading.count, 12345u);
}

TEST(UsbReading, DeviceBusyIsAskedAgainABoundedNumberOfTimes)
{
    const UsbRun once = readOver("canon d1ac=12345", "busy=9116@1", kCanon);
    EXPECT_EQ(std::count(once.usb->commands().begin(), once.usb->commands().end(), 0x9116), 3);
    // Always busy: the first try and three more, then the answer stands.
    const UsbRun always = readOver("fujifilm count=300", "busy=1015", kFujifilm);
    EXPECT_EQ(std::count(always.usb->commands().begin(), always.usb->commands().end(), 0x1015), 4);
    EXPECT_FALSE(always.reading.ok);
    EXPECT_TRUE(logHas(always, L"GetDevicePropValue(D310) -> 0x2019, 0 bytes"));
}

TEST(UsbReading, TheSameReadingWhenEveryTransferWaitsAsWebUsbPromisesDo)
{
    const UsbRun now = readOver("canon d1ac=12345 d167=99", "", kCanon);
    const UsbRun later = readOver("canon d1ac=12345 d167=99", "", kCanon, 512, true);
    EXPECT_EQ(later.reading.count, 12345u);
    EXPECT_EQ(later.log, now.log);
    EXPECT_GT(later.resumptions, 10u);
    EXPECT_EQ(later.slept, 250u);  // counter in the first batch: two polls, one pause
}

TEST(UsbReading, PacketSizesOfEverySpeed)
{
    for (const std::uint32_t packet : {64u, 512u, 1024u}) {
        SCOPED_TRACE(packet);
        const UsbRun run = readOver("canon d1ac=4242", "", kCanon, packet);
        EXPECT_EQ(run.reading.count, 4242u);
        EXPECT_EQ(run.partialPacketReads, 0u);
    }
}

TEST(UsbReading, OtherBrandsAndDevicesAreNotOpened)
{
    const UsbRun nikon = readOver("none", "", 0x04B0, 512, false, L"Nikon Corporation");
    EXPECT_EQ(nikon.reading.message,
              L"Found a Nikon Corporation camera. That brand records the count in its photos, so drop a photo on "
              L"tallybrook.app instead.");
    EXPECT_TRUE(nikon.usb->commands().empty());
    const UsbRun unknown = readOver("none", "", 0x1234, 512, false, L"Acme");
    EXPECT_EQ(unknown.reading.message.rfind(L"This isn't a Canon or Fujifilm camera", 0), 0u);
    EXPECT_TRUE(unknown.usb->commands().empty());
    // Canon and Fujifilm by their vendor ids alone, whatever their strings say.
    const UsbRun canon = readOver("canon d1ac=5", "", kCanon, 512, false, L"");
    EXPECT_EQ(canon.reading.count, 5u);
    const UsbRun fujifilm = readOver("fujifilm count=6", "", kFujifilm, 512, false, L"Canon-compatible");
    EXPECT_EQ(fujifilm.reading.count, 6u);
}
