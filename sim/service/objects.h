#pragma once
// The simulated service's manager and device objects.

#include "device/wpd_api.h"

#include <wrl/client.h>

#include <memory>

#include "service_state.h"

namespace sim {

Microsoft::WRL::ComPtr<IPortableDeviceManager> makeManager(std::shared_ptr<ServiceState> state);
Microsoft::WRL::ComPtr<IPortableDevice> makeDevice(std::shared_ptr<ServiceState> state);

}  // namespace sim
