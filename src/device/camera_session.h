#pragma once
// The one open connection to the chosen camera for the length of one reading.

#include "device/wpd_api.h"
#include "reading/reading.h"

#include <wrl/client.h>

struct CameraSession {
    Microsoft::WRL::ComPtr<IPortableDevice> device;  // empty until open creates it
    const LogSink& log;                              // the read job's sink; outlives the session

    explicit CameraSession(const LogSink& sink) noexcept : log(sink) {}
    CameraSession(const CameraSession&) = delete;
    CameraSession& operator=(const CameraSession&) = delete;
    // Ends the session: Close, then Release, also for a device object whose Open failed.
    ~CameraSession() { end(); }

    // Opens deviceId read/write with this program's client information; when the service
    // refuses read/write access, says so in the log and opens it read-only instead (once).
    // Returns the result of the last step taken.
    HRESULT open(const wchar_t* deviceId);

    // Close (result ignored), then Release. Safe to call more than once.
    void end() noexcept;
};
