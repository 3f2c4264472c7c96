// The simulated USB camera for the page's tests, compiled to WebAssembly: the tests' stand-in
// for navigator.usb answers the page's transfers through these functions. One camera at a time.
// Strings and data pass through one buffer (sim_usb_buffer); answers are the UsbAnswer values
// (0 ok, 1 stall, 2 babble, 3 disconnected, 4 pending: the transfer never completes).

#include "canon_eos_camera.h"
#include "camera_factory.h"
#include "usb_camera.h"

#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> buffer;
std::vector<unsigned char> data;
std::unique_ptr<sim::UsbCamera> camera;
std::string text;

}  // namespace

extern "C" {

unsigned char* sim_usb_buffer(unsigned length)
{
    buffer.resize(length);
    return buffer.data();
}

// The buffer holds the camera line (as camera_factory reads it), then the USB fault words.
// Returns 0, or 1 with the reason in sim_usb_text.
int sim_usb_create(unsigned lineLength, unsigned faultsLength, unsigned packetSize)
{
    const std::string all(buffer.begin(), buffer.end());
    const std::string line = all.substr(0, lineLength);
    const std::string faults = all.substr(lineLength, faultsLength);
    std::string error;
    auto responder = sim::makeCamera(line, &error, "/no-captures-in-the-browser");
    if (!responder) {
        text = error;
        return 1;
    }
    camera = std::make_unique<sim::UsbCamera>(responder, packetSize);
    if (!camera->applyFaults(faults, &error)) {
        text = error;
        camera.reset();
        return 1;
    }
    return 0;
}

int sim_usb_bulk_out(unsigned length)
{
    return static_cast<int>(camera->bulkOut(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + length)));
}

int sim_usb_bulk_in(unsigned length)
{
    sim::UsbIn in = camera->bulkIn(length);
    data.assign(in.data.begin(), in.data.end());
    return static_cast<int>(in.answer);
}

int sim_usb_control_in(unsigned request, unsigned length)
{
    sim::UsbIn in = camera->controlIn(static_cast<std::uint8_t>(request), static_cast<std::uint16_t>(length));
    data.assign(in.data.begin(), in.data.end());
    return static_cast<int>(in.answer);
}

int sim_usb_clear_halt(int in)
{
    return static_cast<int>(camera->clearHalt(in != 0));
}

void sim_usb_unplug()
{
    camera->addFault({sim::UsbFault::unplug, 0, 0});
    camera->bulkOut({12, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0});  // any command now finds the cable gone
}

const unsigned char* sim_usb_data() { return data.data(); }
unsigned sim_usb_data_length() { return static_cast<unsigned>(data.size()); }

// {"sessionOpen":…,"remoteMode":…,"eventMode":…,"commands":[…]}, for the tests' checks.
const char* sim_usb_state()
{
    const auto* canon = dynamic_cast<const sim::CanonEosCamera*>(camera->camera().get());
    text = "{\"sessionOpen\":" + std::string(camera->sessionOpen() ? "true" : "false");
    text += ",\"remoteMode\":" + std::string(canon && canon->remoteMode() ? "true" : "false");
    text += ",\"eventMode\":" + std::string(canon && canon->eventMode() ? "true" : "false");
    text += ",\"commands\":[";
    for (std::size_t i = 0; i < camera->commands().size(); ++i)
        text += (i ? "," : "") + std::to_string(camera->commands()[i]);
    text += "]}";
    return text.c_str();
}

const char* sim_usb_text() { return text.c_str(); }

}  // extern "C"
