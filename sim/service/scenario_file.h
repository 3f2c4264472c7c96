#pragma once
// The scenario file the simulated service's server DLL reads (format in sim/README.md).

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "scenario.h"

namespace sim {

// Makes the camera a device's "camera" line names; null with a reason in error when it cannot.
using CameraMaker = std::function<std::shared_ptr<PtpResponder>(std::string_view line, std::string* error)>;

// The scenario the text describes, or nothing with "line N: reason" in error. Without a
// camera maker, camera lines are kept as text and the devices get no responder.
std::optional<Scenario> parseScenario(std::string_view text, const CameraMaker& makeCamera, std::string* error);

}  // namespace sim
