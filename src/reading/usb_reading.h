#pragma once
// A Canon or Fujifilm camera read over USB from the page: the USB device the visitor chose,
// its PTP session, GetDeviceInfo, and the same vendor readers Tallybrook.exe runs.

#include "ptp/usb_session.h"
#include "reading/reading.h"

#include <cstdint>
#include <string>

// What the browser says of the chosen device before anything is sent to it.
struct UsbCameraIdentity {
    std::uint16_t vendorId = 0;
    std::wstring manufacturer;  // the USB manufacturer and product strings; may be empty
    std::wstring product;
    std::uint32_t packetSize = 512;  // the bulk-IN endpoint's wMaxPacketSize
};

// Every outcome comes back as a Reading (its source names the USB route of this page); the
// session is closed and Canon's modes are switched off on every path while the camera still
// answers. port, identity and log must outlive the task.
Task<Reading> readUsbCamera(UsbPort& port, const UsbCameraIdentity& identity, const LogSink& log,
                            UsbLimits limits = {});
