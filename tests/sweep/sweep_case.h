#pragma once
// One scenario of the sweeps: what the simulated service lists and injects, what each
// listed camera answers, and what a correct reading of it must give. The expectation is
// worked out here from the scenario alone, with a decoder and a record walk of the tests'
// own, never with the program's.

#include "reading/reading.h"
#include "sim/cameras/ptp_responder.h"
#include "sim/service/scenario.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace sweep {

// What a scripted camera answers. Operations it has no script for get 0x2005.
struct CameraScript {
    sim::PtpReply deviceInfo;                 // GetDeviceInfo 0x1001
    std::uint16_t remoteModeCode = 0x2001;    // SetRemoteMode 0x9114
    std::uint16_t eventModeCode = 0x2001;     // SetEventMode 0x9115
    std::uint16_t requestCode = 0x2001;       // RequestDevicePropValue 0x9127
    std::vector<sim::PtpReply> events;        // GetEvent 0x9116, the k-th reply; later ones the end record alone
    sim::PtpReply shotCount{0x200A, {}};      // GetDevicePropValue 0x1015 of 0xD310

    // The plain 16-byte counter records (code, value) put anywhere in the event replies, and
    // whether the shot-count reply carries a non-zero upper half: what the camera "really
    // sent", kept by the generator apart from any decoding.
    std::set<std::pair<std::uint32_t, std::uint32_t>> plainCounters;
};

class ScriptedCamera final : public sim::PtpResponder {
public:
    explicit ScriptedCamera(CameraScript script) : script_(std::move(script)) {}
    sim::PtpReply execute(std::uint16_t code, const std::vector<std::uint32_t>& params, bool dataIn) override;
    // Operations received, in order.
    const std::vector<std::uint16_t>& received() const { return received_; }

private:
    CameraScript script_;
    std::size_t eventsServed_ = 0;
    std::vector<std::uint16_t> received_;
};

struct Case {
    std::uint64_t seed = 0;
    sim::Scenario scenario;                         // devices without responders
    std::vector<std::optional<CameraScript>> cameras;  // one per device; none: every operation 0x2005
};

// The scenario with a fresh scripted camera behind each device that has a script.
sim::Scenario liveScenario(const Case& c);

struct Expected {
    Reading reading;
    std::vector<std::wstring> lines;
    unsigned pauses = 0;
};

// What readCamera must give for the case, pauses of the Canon reader counted.
Expected predict(const Case& c);

// Texts as the tests write them, from the program's contract.
std::wstring phrase(std::int32_t hr);               // hrText
std::wstring hex(std::uint32_t value, int digits);  // hexText

// The seeded generator of the scenario sweep.
Case generate(std::uint64_t seed);

// A readable summary of a case, for a failing seed.
std::string describe(const Case& c);

// Runs readCamera on the case with the service registered in this process and checks every
// invariant; returns what went wrong, empty when all holds.
std::string runAndCheck(const Case& c);

}  // namespace sweep
