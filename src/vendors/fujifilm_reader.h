#pragma once
// The shot count of a Fujifilm body, from its TotalShotCount property (0xD310).

#include "device/camera_session.h"
#include "ptp/device_info.h"
#include "reading/reading.h"

Reading readFujifilmCount(const CameraSession& session, const DeviceInfo& deviceInfo, const LogSink& logSink);
