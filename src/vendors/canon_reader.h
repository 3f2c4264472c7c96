#pragma once
// The shutter count of a Canon EOS body, from its EOS event channel.

#include "device/camera_session.h"
#include "ptp/device_info.h"
#include "reading/reading.h"

#include <functional>

// Waits between two polls of the event channel; the real one sleeps the worker thread.
using PauseFunction = std::function<void(unsigned milliseconds)>;
void sleepMilliseconds(unsigned milliseconds);

// Switches remote and event mode on, asks for the shutter counter, polls the event channel
// (at most 6 GetEvents with 250 ms pauses), switches the modes off again and decides.
Reading readCanonCount(const CameraSession& session, const DeviceInfo& deviceInfo, const LogSink& logSink,
                       const PauseFunction& pause = sleepMilliseconds);
