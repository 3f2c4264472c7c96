#pragma once
// The simulated CLSID_PortableDeviceValues and CLSID_PortableDevicePropVariantCollection.

#include "device/wpd_api.h"

#include <wrl/client.h>

#include "accounting.h"

namespace sim {

// A values set counted as kind (Values when a client creates it, Results when SendCommand
// hands it back).
Microsoft::WRL::ComPtr<IPortableDeviceValues> makeValues(ObjectKind kind);
Microsoft::WRL::ComPtr<IPortableDevicePropVariantCollection> makeCollection();

inline bool sameKey(const PROPERTYKEY& a, const PROPERTYKEY& b)
{
    return IsEqualGUID(a.fmtid, b.fmtid) && a.pid == b.pid;
}

}  // namespace sim
