#pragma once
// The shutter count of a Canon EOS body, from its EOS event channel.

#include "ptp/device_info.h"
#include "ptp/operation_runner.h"
#include "reading/reading.h"

// Switches remote and event mode on, asks for the shutter counter, polls the event channel
// (at most 6 GetEvents with 250 ms pauses), switches the modes off again and decides.
// runner, deviceInfo and logSink must outlive the task.
Task<Reading> readCanonCount(PtpOperationRunner& runner, const DeviceInfo& deviceInfo, const LogSink& logSink);

#ifdef _WIN32
#include "device/camera_session.h"

#include <functional>

// Waits between two polls of the event channel; the real one sleeps the worker thread.
using PauseFunction = std::function<void(unsigned milliseconds)>;
void sleepMilliseconds(unsigned milliseconds);

// The same reading through the portable-device service, on the worker thread.
Reading readCanonCount(const CameraSession& session, const DeviceInfo& deviceInfo, const LogSink& logSink,
                       const PauseFunction& pause = sleepMilliseconds);
#endif
