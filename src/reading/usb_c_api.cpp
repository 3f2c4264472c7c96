#include "reading/usb_c_api.h"

#include "link/reading_link.h"
#include "reading/usb_reading.h"

#include <memory>
#include <string>
#include <vector>

#if defined(__wasm__)
#define TB_IMPORT(name) __attribute__((import_module("env"), import_name(#name)))
#else
#define TB_IMPORT(name)
#endif

extern "C" {
TB_IMPORT(tb_usb_bulk_out) void tb_usb_bulk_out(const unsigned char* data, unsigned length, unsigned timeoutMs);
TB_IMPORT(tb_usb_bulk_in) void tb_usb_bulk_in(unsigned length, unsigned timeoutMs);
TB_IMPORT(tb_usb_control_in) void tb_usb_control_in(unsigned request, unsigned length, unsigned timeoutMs);
TB_IMPORT(tb_usb_control_out)
void tb_usb_control_out(unsigned request, const unsigned char* data, unsigned length, unsigned timeoutMs);
TB_IMPORT(tb_usb_clear_halt) void tb_usb_clear_halt(int in, unsigned timeoutMs);
TB_IMPORT(tb_usb_sleep) void tb_usb_sleep(unsigned milliseconds);
TB_IMPORT(tb_usb_now) double tb_usb_now(void);
}

namespace {

// The largest answer the page hands in: a data phase's read, or the texts.
constexpr unsigned kMaxBuffer = 1u << 20;

// The one request the page is working on, and the coroutine that waits for its answer.
struct Pending {
    coro::coroutine_handle<> waiting;
    UsbTransfer answer;
};

struct State {
    std::vector<unsigned char> buffer;
    Pending pending;
    std::unique_ptr<Task<Reading>> task;
    std::vector<std::wstring> log;
    std::string resultJson;
};

State& state()
{
    static State s;
    return s;
}

// Suspends the reading until tb_usb_complete; `start` makes the import call.
template <typename Start>
struct PageRequest {
    Start start;
    bool await_ready() const noexcept { return false; }
    void await_suspend(coro::coroutine_handle<> h)
    {
        state().pending = Pending{h, {}};
        start();
    }
    UsbTransfer await_resume() { return std::move(state().pending.answer); }
};
template <typename Start>
PageRequest(Start) -> PageRequest<Start>;

class PagePort final : public UsbPort {
public:
    Task<UsbTransfer> bulkOut(std::vector<std::uint8_t> bytes, unsigned timeoutMs) override
    {
        co_return co_await PageRequest{[&] { tb_usb_bulk_out(bytes.data(), static_cast<unsigned>(bytes.size()), timeoutMs); }};
    }
    Task<UsbTransfer> bulkIn(std::uint32_t length, unsigned timeoutMs) override
    {
        co_return co_await PageRequest{[&] { tb_usb_bulk_in(length, timeoutMs); }};
    }
    Task<UsbTransfer> controlIn(std::uint8_t request, std::uint16_t length, unsigned timeoutMs) override
    {
        co_return co_await PageRequest{[&] { tb_usb_control_in(request, length, timeoutMs); }};
    }
    Task<UsbTransfer> controlOut(std::uint8_t request, std::vector<std::uint8_t> data, unsigned timeoutMs) override
    {
        co_return co_await PageRequest{
            [&] { tb_usb_control_out(request, data.data(), static_cast<unsigned>(data.size()), timeoutMs); }};
    }
    Task<UsbTransfer> clearHalt(bool in, unsigned timeoutMs) override
    {
        co_return co_await PageRequest{[&] { tb_usb_clear_halt(in ? 1 : 0, timeoutMs); }};
    }
    Task<> sleep(unsigned milliseconds) override
    {
        co_await PageRequest{[&] { tb_usb_sleep(milliseconds); }};
    }
    double now() override { return tb_usb_now(); }
};

std::string utf8(const std::wstring& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<std::uint32_t>(text[i]);
        // Texts hold UTF-16 where wchar_t is 16 bits wide (Windows); here it is 32, but stay safe.
        if (c >= 0xD800 && c <= 0xDFFF)
            c = 0xFFFD;
        if (c > 0x10FFFF)
            c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// UTF-8 bytes from the page into wide characters; anything malformed becomes U+FFFD.
std::wstring wideFromUtf8(const unsigned char* bytes, unsigned length)
{
    std::wstring out;
    for (unsigned i = 0; i < length;) {
        const unsigned char b = bytes[i];
        unsigned extra = 0;
        std::uint32_t c = 0;
        if (b < 0x80) {
            out += static_cast<wchar_t>(b);
            ++i;
            continue;
        }
        if ((b & 0xE0) == 0xC0) {
            extra = 1;
            c = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2;
            c = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3;
            c = b & 0x07;
        }
        bool good = extra != 0 && extra < length - i;
        for (unsigned k = 1; good && k <= extra; ++k) {
            good = (bytes[i + k] & 0xC0) == 0x80;
            c = c << 6 | (bytes[i + k] & 0x3F);
        }
        if (!good || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += L'\uFFFD';
            ++i;
            continue;
        }
        out += static_cast<wchar_t>(c);
        i += extra + 1;
    }
    return out;
}

std::string jsonString(const std::string& text)
{
    return "\"" + jsonEscape(text) + "\"";
}

void finish(const Reading& r)
{
    State& s = state();
    std::string json = "{\"ok\":" + std::string(r.ok ? "true" : "false") + ",\"count\":" + std::to_string(r.count);
    json += ",\"make\":" + jsonString(r.make) + ",\"model\":" + jsonString(r.model);
    json += ",\"firmware\":" + jsonString(r.firmware) + ",\"serial\":" + jsonString(r.serial);
    json += ",\"source\":" + jsonString(r.source) + ",\"message\":" + jsonString(utf8(r.message));
    // The same link the program opens, made by the same code.
    json += ",\"link\":" + jsonString(r.ok ? "#reading=" + utf8(percentEncode(readingJson(r))) : std::string());
    json += ",\"log\":[";
    for (std::size_t i = 0; i < s.log.size(); ++i)
        json += (i ? "," : "") + jsonString(utf8(s.log[i]));
    json += "]}";
    s.resultJson = std::move(json);
}

const LogSink& pageLog()
{
    static const LogSink sink = [](const std::wstring& line) { state().log.push_back(line); };
    return sink;
}

PagePort& pagePort()
{
    static PagePort port;
    return port;
}

UsbCameraIdentity& identity()
{
    static UsbCameraIdentity id;
    return id;
}

}  // namespace

extern "C" {

unsigned char* tb_usb_buffer(unsigned length)
{
    if (length > kMaxBuffer)
        return nullptr;
    state().buffer.resize(length);
    return state().buffer.data();
}

void tb_usb_start(unsigned vendorId, unsigned packetSize, unsigned manufacturerLength, unsigned productLength)
{
    State& s = state();
    s.log.clear();
    s.resultJson.clear();
    s.pending = {};
    const unsigned have = static_cast<unsigned>(s.buffer.size());
    manufacturerLength = manufacturerLength > have ? have : manufacturerLength;
    productLength = productLength > have - manufacturerLength ? have - manufacturerLength : productLength;
    identity() = UsbCameraIdentity{static_cast<std::uint16_t>(vendorId),
                                   wideFromUtf8(s.buffer.data(), manufacturerLength),
                                   wideFromUtf8(s.buffer.data() + manufacturerLength, productLength), packetSize};
    s.task = std::make_unique<Task<Reading>>(readUsbCamera(pagePort(), identity(), pageLog()));
    s.task->start();
    if (s.task->done())
        finish(s.task->result());
}

void tb_usb_complete(unsigned status, unsigned length)
{
    State& s = state();
    if (!s.pending.waiting || !s.task || s.task->done())
        return;
    UsbTransfer& answer = s.pending.answer;
    answer.status = status <= TB_USB_TIMED_OUT ? static_cast<UsbStatus>(status) : UsbStatus::disconnected;
    length = length > s.buffer.size() ? static_cast<unsigned>(s.buffer.size()) : length;
    answer.data.assign(s.buffer.begin(), s.buffer.begin() + length);
    coro::coroutine_handle<> waiting = s.pending.waiting;
    s.pending.waiting = {};
    waiting.resume();
    if (s.task->done())
        finish(s.task->result());
}

int tb_usb_done(void)
{
    return state().task && state().task->done() ? 1 : 0;
}

const char* tb_usb_result_json(void)
{
    return state().resultJson.c_str();
}

}  // extern "C"
