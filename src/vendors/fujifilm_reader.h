#pragma once
// The shot count of a Fujifilm body, from its TotalShotCount property (0xD310).

#include "ptp/device_info.h"
#include "ptp/operation_runner.h"
#include "reading/reading.h"

// runner, deviceInfo and logSink must outlive the task.
Task<Reading> readFujifilmCount(PtpOperationRunner& runner, const DeviceInfo& deviceInfo, const LogSink& logSink);

#ifdef _WIN32
#include "device/camera_session.h"

// The same reading through the portable-device service, on the worker thread.
Reading readFujifilmCount(const CameraSession& session, const DeviceInfo& deviceInfo, const LogSink& logSink);
#endif
