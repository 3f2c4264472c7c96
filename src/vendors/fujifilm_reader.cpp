#include "vendors/fujifilm_reader.h"

#include "link/site.h"
#include "ptp/failure_text.h"
#include "ptp/ptp_codes.h"
#include "vendors/fujifilm_shot_count.h"

#include <algorithm>
#include <string>

namespace {

constexpr wchar_t kNotListedStart[] = L"This Fujifilm body doesn't report a shot count over USB. Try a photo on ";
constexpr wchar_t kNoShotCount[] = L"The camera connected but didn't send a shot count.";

}  // namespace

Task<Reading> readFujifilmCount(PtpOperationRunner& runner, const DeviceInfo& deviceInfo, const LogSink& logSink)
{
    Reading reading;
    const auto& props = deviceInfo.devicePropertiesSupported;
    if (std::find(props.begin(), props.end(), ptp::propFujifilmTotalShotCount) == props.end()) {
        logSink(L"Fujifilm TotalShotCount (D310) not listed");
        reading.message = std::wstring(kNotListedStart) + resultSiteHost + L" instead.";
        co_return reading;
    }

    const CommandResult r = co_await runner.run(ptp::opGetDevicePropValue, oneParam(ptp::propFujifilmTotalShotCount), true);
    logSink(L"GetDevicePropValue(D310) -> " + hexText(r.responseCode, 4) + L", " + std::to_wstring(r.data.size()) +
            L" bytes");

    const auto count = fujifilmShotCount(r.data);
    if (r.hr < 0 || r.responseCode != ptp::rcOk || !count) {
        reading.message = kNoShotCount;
        co_return reading;
    }
    reading.ok = true;
    reading.count = *count;
    reading.source = "Fujifilm USB 0xD310";
    co_return reading;
}
