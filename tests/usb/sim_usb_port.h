#pragma once
// A UsbPort whose other end is a simulated USB camera. Every call either finishes at once
// (as the portable-device route does) or, deferred, suspends until the test's loop resumes it,
// as a WebUSB promise does in the page. Time is the port's own: sleeps and timeouts advance it.

#include "ptp/usb_session.h"
#include "usb_camera.h"

#include <deque>

class SimUsbPort final : public UsbPort {
public:
    explicit SimUsbPort(sim::UsbCamera& camera, bool deferred = false) : camera_(camera), deferred_(deferred) {}

    Task<UsbTransfer> bulkOut(std::vector<std::uint8_t> bytes, unsigned timeoutMs) override
    {
        co_await step();
        co_return UsbTransfer{status(camera_.bulkOut(bytes), timeoutMs), {}};
    }
    Task<UsbTransfer> bulkIn(std::uint32_t length, unsigned timeoutMs) override
    {
        co_await step();
        ++reads;
        if (length % camera_.packetSize() != 0)
            ++partialPacketReads;
        sim::UsbIn in = camera_.bulkIn(length);
        co_return UsbTransfer{status(in.answer, timeoutMs), std::move(in.data)};
    }
    Task<UsbTransfer> controlIn(std::uint8_t request, std::uint16_t length, unsigned timeoutMs) override
    {
        co_await step();
        sim::UsbIn in = camera_.controlIn(request, length);
        co_return UsbTransfer{status(in.answer, timeoutMs), std::move(in.data)};
    }
    Task<UsbTransfer> controlOut(std::uint8_t, std::vector<std::uint8_t>, unsigned) override
    {
        co_await step();
        co_return UsbTransfer{UsbStatus::stall, {}};
    }
    Task<UsbTransfer> clearHalt(bool in, unsigned timeoutMs) override
    {
        co_await step();
        ++clearedHalts;
        co_return UsbTransfer{status(camera_.clearHalt(in), timeoutMs), {}};
    }
    Task<> sleep(unsigned milliseconds) override
    {
        co_await step();
        clock += milliseconds;
        slept += milliseconds;
    }
    double now() override { return clock; }

    // Resumes suspended calls, oldest first, until none is left.
    void drive()
    {
        while (!waiting_.empty()) {
            const coro::coroutine_handle<> next = waiting_.front();
            waiting_.pop_front();
            ++resumptions;
            next.resume();
        }
    }

    double clock = 0;
    unsigned slept = 0;
    unsigned reads = 0;
    unsigned partialPacketReads = 0;
    unsigned clearedHalts = 0;
    unsigned resumptions = 0;

private:
    struct Step {
        SimUsbPort& port;
        bool await_ready() const noexcept { return !port.deferred_; }
        void await_suspend(coro::coroutine_handle<> h) { port.waiting_.push_back(h); }
        void await_resume() const noexcept {}
    };
    Step step() { return Step{*this}; }

    UsbStatus status(sim::UsbAnswer answer, unsigned timeoutMs)
    {
        switch (answer) {
        case sim::UsbAnswer::ok: return UsbStatus::ok;
        case sim::UsbAnswer::stall: return UsbStatus::stall;
        case sim::UsbAnswer::babble: return UsbStatus::babble;
        case sim::UsbAnswer::disconnected: return UsbStatus::disconnected;
        case sim::UsbAnswer::pending: break;
        }
        clock += timeoutMs;  // the page's timer ends a transfer the camera never answers
        return UsbStatus::timedOut;
    }

    sim::UsbCamera& camera_;
    bool deferred_;
    std::deque<coro::coroutine_handle<>> waiting_;
};
