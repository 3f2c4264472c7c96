#include "vendors/fujifilm_reader.h"

#include "device/command_transport.h"
#include "link/site.h"
#include "ptp/failure_text.h"
#include "ptp/ptp_codes.h"
#include "vendors/fujifilm_shot_count.h"

#include <algorithm>
#include <array>
#include <string>

namespace {

constexpr wchar_t kNotListedStart[] = L"This Fujifilm body doesn't report a shot count over USB. Try a photo on ";
constexpr wchar_t kNoShotCount[] = L"The camera connected but didn't send a shot count.";

}  // namespace

Reading readFujifilmCount(const CameraSession& session, const DeviceInfo& deviceInfo, const LogSink& logSink)
{
    Reading reading;
    const auto& props = deviceInfo.devicePropertiesSupported;
    if (std::find(props.begin(), props.end(), ptp::propFujifilmTotalShotCount) == props.end()) {
        logSink(L"Fujifilm TotalShotCount (D310) not listed");
        reading.message = std::wstring(kNotListedStart) + resultSiteHost + L" instead.";
        return reading;
    }

    const std::array<std::uint32_t, 1> params{ptp::propFujifilmTotalShotCount};
    const CommandResult r = sendOperation(session, ptp::opGetDevicePropValue, params, true);
    logSink(L"GetDevicePropValue(D310) -> " + hexText(r.responseCode, 4) + L", " + std::to_wstring(r.data.size()) +
            L" bytes");

    const auto count = fujifilmShotCount(r.data);
    if (FAILED(r.hr) || r.responseCode != ptp::rcOk || !count) {
        reading.message = kNoShotCount;
        return reading;
    }
    reading.ok = true;
    reading.count = *count;
    reading.source = "Fujifilm USB 0xD310";
    return reading;
}
