#pragma once
// Simulated cameras described by one line of text, as the simulated service's scenario file
// names the camera behind each device. The words are documented in README.md beside this
// file; for example:
//   canon model="Canon EOS 80D" firmware=1.0.3 serial=0123 d1ac=12345 batch=1
//   canon capture=ev_canon_eos5dmk3_initial.hex
//   fujifilm model=X-T3 count=13531

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "capture_file.h"
#include "ptp_responder.h"

namespace sim {

// The camera the line describes: a CanonEosCamera, a FujifilmCamera or, for "none", a
// ListedOnlyDevice. For a line it cannot read it returns null and, when error is given,
// puts the reason there. Capture files are looked up in capturesDir.
std::shared_ptr<PtpResponder> makeCamera(std::string_view line, std::string* error = nullptr,
                                         const std::filesystem::path& capturesDir = defaultCapturesDir());

}  // namespace sim
