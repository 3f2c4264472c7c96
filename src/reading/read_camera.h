#pragma once
// The read sequence of one reading: discovery, open, GetDeviceInfo, the vendor reader.

#include "device/wpd_api.h"
#include "reading/reading.h"
#include "vendors/canon_reader.h"

#include <string>

enum class DeviceStringKind { FriendlyName = 0, Manufacturer = 1, Description = 2 };

// One of the three texts the service keeps for a device; empty when it has none. The text
// ends at its first NUL even when the reported length runs past it.
std::wstring deviceString(IPortableDeviceManager* manager, const wchar_t* deviceId, DeviceStringKind kind);

// Runs on the worker, inside its multithreaded apartment. Every camera, device and protocol
// outcome comes back as a Reading; only running out of memory throws. pause replaces the
// Canon reader's wait between polls.
Reading readCamera(const LogSink& logSink);
Reading readCamera(const LogSink& logSink, const PauseFunction& pause);
