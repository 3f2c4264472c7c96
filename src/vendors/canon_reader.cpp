#include "vendors/canon_reader.h"

#include "link/site.h"
#include "ptp/failure_text.h"
#include "ptp/ptp_codes.h"
#include "vendors/eos_events.h"

#include <algorithm>
#include <string>

namespace {

constexpr int kMaxPolls = 6;
constexpr unsigned kPollPauseMs = 250;

constexpr wchar_t kNoEventChannel[] =
    L"This Canon doesn't offer the EOS event channel, so it can't report a shutter count over USB.";
constexpr wchar_t kNoCounterSent[] =
    L"The camera connected but didn't send its shutter counter. Click Copy details and email it to ";

// One set-up exchange and its log line; the camera's answer changes nothing that follows.
Task<> sendLogged(PtpOperationRunner& runner, const LogSink& log, const wchar_t* prefix, std::uint16_t op,
                  std::uint32_t param)
{
    const CommandResult r = co_await runner.run(op, oneParam(param), false);
    std::wstring line = prefix + hexText(r.responseCode, 4);
    if (r.hr < 0)
        line += L" error " + hrText(r.hr);
    log(line);
}

}  // namespace

Task<Reading> readCanonCount(PtpOperationRunner& runner, const DeviceInfo& deviceInfo, const LogSink& logSink)
{
    Reading reading;
    const auto& ops = deviceInfo.operationsSupported;
    if (std::find(ops.begin(), ops.end(), ptp::opCanonGetEvent) == ops.end()) {
        reading.message = kNoEventChannel;
        logSink(L"EOS event channel (0x9116): not listed");
        co_return reading;
    }

    co_await sendLogged(runner, logSink, L"SetRemoteMode(1) -> ", ptp::opCanonSetRemoteMode, 1);
    co_await sendLogged(runner, logSink, L"SetEventMode(1) -> ", ptp::opCanonSetEventMode, 1);
    co_await sendLogged(runner, logSink, L"RequestDevicePropValue(D1AC) -> ", ptp::opCanonRequestDevicePropValue,
                        kEosShutterCounter);

    // The camera sends its whole property set in the first batch after event mode goes on;
    // one more poll lets a counter that arrives a batch late replace the first value.
    EosPropertyMap properties;
    for (int k = 1; k <= kMaxPolls; ++k) {
        const CommandResult r = co_await runner.run(ptp::opCanonGetEvent, {}, true);
        if (r.hr < 0) {
            logSink(L"GetEvent failed: " + hrText(r.hr));
            break;
        }
        const std::int32_t values = parseEosEvents(r.data, properties);
        logSink(L"GetEvent #" + std::to_wstring(k) + L": " + std::to_wstring(r.data.size()) + L" bytes, " +
                std::to_wstring(values) + L" property values");
        // A 0xD1AC that is not a single 32-bit value is no counter, so it does not end the wait.
        if (eosCounterValue(properties, kEosShutterCounter) && k >= 2)
            break;
        co_await runner.pause(kPollPauseMs);
    }

    // Leave the camera as it was, whatever happened above.
    co_await runner.run(ptp::opCanonSetEventMode, oneParam(0), false);
    co_await runner.run(ptp::opCanonSetRemoteMode, oneParam(0), false);

    logSink(eosCounterLine(properties, kEosShutterCounter));
    logSink(eosCounterLine(properties, kEosShutterReleaseCounter));

    // A counter of 0 is a camera that has not filled it in, not a new body.
    if (const auto value = eosCounterValue(properties, kEosShutterCounter); value && *value != 0) {
        reading.ok = true;
        reading.count = *value;
        reading.source = "Canon USB 0xD1AC";
    } else if (const auto fallback = eosCounterValue(properties, kEosShutterReleaseCounter); fallback && *fallback != 0) {
        reading.ok = true;
        reading.count = *fallback;
        reading.source = "Canon USB 0xD167";
    } else {
        reading.message = std::wstring(kNoCounterSent) + supportEmail + L".";
    }
    co_return reading;
}
