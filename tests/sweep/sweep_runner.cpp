// Runs readCamera on one scenario and checks what must hold for every scenario: the reading
// and the log as worked out from the scenario, an outcome of the known forms, a count only
// from what the camera sent, printable texts, a clean link, and everything handed back.

#include "link/reading_link.h"
#include "reading/read_camera.h"
#include "sim/service/accounting.h"
#include "sim/service/service.h"
#include "sweep_case.h"

#include <sstream>

namespace sweep {
namespace {

std::string narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text) {
        if (c >= 0x20 && c < 0x7F) {
            out.push_back(static_cast<char>(c));
        } else {
            char buffer[12];
            std::snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
            out += buffer;
        }
    }
    return out.size() > 400 ? out.substr(0, 400) + "..." : out;
}

// No control characters, no lone halves of a surrogate pair.
bool printable(const std::wstring& text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

bool hexDigit(wchar_t c) { return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F'); }

bool codeText(std::wstring_view inner)
{
    for (const wchar_t* p : {L"access denied", L"device stopped responding", L"not supported by the driver",
                             L"device busy", L"device disconnected"})
        if (inner == p) return true;
    if (inner.size() != 10 || inner.substr(0, 2) != L"0x") return false;
    for (wchar_t c : inner.substr(2))
        if (!hexDigit(c)) return false;
    return true;
}

bool wrapped(std::wstring_view message, std::wstring_view before, std::wstring_view after, bool code)
{
    if (message.size() < before.size() + after.size()) return false;
    if (message.substr(0, before.size()) != before || message.substr(message.size() - after.size()) != after)
        return false;
    const auto inner = message.substr(before.size(), message.size() - before.size() - after.size());
    return code ? codeText(inner) : !inner.empty();
}

// One of the rows of the outcome table, judged by the message alone.
bool knownOutcome(const Reading& r)
{
    if (r.ok)
        return r.message.empty() && r.count != 0 &&
               (r.source == "Canon USB 0xD1AC" || r.source == "Canon USB 0xD167" || r.source == "Fujifilm USB 0xD310");
    if (!r.source.empty() || r.count != 0) return false;
    const std::wstring& m = r.message;
    const std::wstring_view again = L"). Unplug it, plug it back in and try again.";
    for (const wchar_t* exact :
         {L"No Canon or Fujifilm camera found. Check that it's switched on, the cable carries data, and EOS Utility "
          L"is closed. Then click Read camera again.",
          L"Another program is using the camera. Close EOS Utility, Photos or any import window, then try again.",
          L"Windows' camera driver on this PC won't pass camera commands through. Click Copy details and email it to "
          L"support@tallybrook.app.",
          L"This Canon doesn't offer the EOS event channel, so it can't report a shutter count over USB.",
          L"The camera connected but didn't send its shutter counter. Click Copy details and email it to "
          L"support@tallybrook.app.",
          L"This Fujifilm body doesn't report a shot count over USB. Try a photo on tallybrook.app instead.",
          L"The camera connected but didn't send a shot count."})
        if (m == exact) return true;
    return wrapped(m, L"Windows' portable device service isn't available (", L"). This app needs Windows 10 or 11.",
                   true) ||
           wrapped(m, L"Couldn't open the camera (", again, true) ||
           wrapped(m, L"The camera didn't answer (", again, true) ||
           wrapped(m, L"Found a ",
                   L" camera. That brand records the count in its photos, so drop a photo on tallybrook.app instead.",
                   false);
}

bool cleanLink(const std::wstring& link)
{
    const std::wstring_view prefix = L"https://tallybrook.app/#reading=";
    if (link.compare(0, prefix.size(), prefix) != 0) return false;
    for (std::size_t i = prefix.size(); i < link.size(); ++i) {
        const wchar_t c = link[i];
        if ((c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'-' ||
            c == L'.' || c == L'_' || c == L'~')
            continue;
        if (c != L'%' || link.size() - i < 3 || !hexDigit(link[i + 1]) || !hexDigit(link[i + 2])) return false;
        i += 2;
    }
    return true;
}

// The camera's data phase may be stretched by an announced size; bytes the service makes up
// then are not something the camera sent.
bool sizesAnnounced(const Case& c)
{
    for (const auto& f : c.scenario.faults)
        if (f.totalSize) return true;
    return false;
}

// A count only from a plain counter record or a non-zero upper half that a camera sent.
bool countWasSent(const Case& c, const Reading& r)
{
    if (!r.ok || sizesAnnounced(c)) return true;
    for (const auto& camera : c.cameras) {
        if (!camera) continue;
        if (r.source == "Fujifilm USB 0xD310") {
            const auto& d = camera->shotCount.data;
            if (d.size() >= 4 && static_cast<std::uint32_t>(d[2] | d[3] << 8) == r.count) return true;
        } else {
            const std::uint32_t code = r.source == "Canon USB 0xD1AC" ? 0xD1AC : 0xD167;
            if (camera->plainCounters.count({code, r.count})) return true;
        }
    }
    return false;
}

}  // namespace

std::string runAndCheck(const Case& c)
{
    sim::setScenario(liveScenario(c));
    const std::uint64_t mark = sim::allocationMark();
    std::vector<std::wstring> lines;
    unsigned pauses = 0;
    bool oddPause = false;
    Reading got;
    {
        const LogSink sink = [&](const std::wstring& line) { lines.push_back(line); };
        got = readCamera(sink, [&](unsigned ms) {
            oddPause |= ms != 250;
            ++pauses;
        });
    }
    const Expected want = predict(c);
    // What the service still holds once the program is done (the scenario's cameras are in it).
    sim::setScenario({});
    const std::string leaked = sim::outstanding(mark);

    std::ostringstream problems;
    const auto fail = [&](const std::string& what) { problems << "\n  " << what; };
    if (got.ok != want.reading.ok) fail("ok " + std::to_string(got.ok) + ", expected " + std::to_string(want.reading.ok));
    if (got.message != want.reading.message)
        fail("message \"" + narrow(got.message) + "\", expected \"" + narrow(want.reading.message) + "\"");
    if (got.count != want.reading.count)
        fail("count " + std::to_string(got.count) + ", expected " + std::to_string(want.reading.count));
    if (got.source != want.reading.source) fail("source " + got.source + ", expected " + want.reading.source);
    if (got.make != want.reading.make || got.model != want.reading.model || got.firmware != want.reading.firmware ||
        got.serial != want.reading.serial)
        fail("camera texts differ: model \"" + got.model + "\", expected \"" + want.reading.model + "\"");
    if (lines != want.lines) {
        std::size_t i = 0;
        while (i < lines.size() && i < want.lines.size() && lines[i] == want.lines[i]) ++i;
        fail("log differs at line " + std::to_string(i + 1) + ": \"" + (i < lines.size() ? narrow(lines[i]) : "(none)") +
             "\", expected \"" + (i < want.lines.size() ? narrow(want.lines[i]) : "(none)") + "\"");
    }
    if (pauses != want.pauses || oddPause)
        fail(std::to_string(pauses) + " pauses, expected " + std::to_string(want.pauses) + " of 250 ms");
    if (!knownOutcome(got)) fail("not one of the outcomes: \"" + narrow(got.message) + "\"");
    if (!countWasSent(c, got)) fail("count " + std::to_string(got.count) + " that no camera sent (" + got.source + ")");
    if (!printable(got.message)) fail("message not printable: \"" + narrow(got.message) + "\"");
    for (const auto& line : lines)
        if (!printable(line)) fail("log line not printable: \"" + narrow(line) + "\"");
    if (const std::wstring link = readingLink(got); !cleanLink(link)) fail("link not clean: " + narrow(link));
    if (!leaked.empty()) fail("not given back: " + leaked);
    const std::string text = problems.str();
    return text.empty() ? text : describe(c) + text;
}

}  // namespace sweep
