#pragma once
// Test helpers: plain COM calls on the simulated service, as any client of the real one
// makes them, and a small scripted camera.

#include "device/wpd_api.h"

#include <wrl/client.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "service.h"

namespace simtest {

using Microsoft::WRL::ComPtr;

// This thread in the multithreaded apartment for the scope's life.
struct Mta {
    HRESULT hr;
    Mta() : hr(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~Mta()
    {
        if (SUCCEEDED(hr))
            CoUninitialize();
    }
};

template <typename I>
HRESULT create(const CLSID& clsid, ComPtr<I>& out)
{
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(out.ReleaseAndGetAddressOf()));
}

// Answers each operation code with a fixed reply and remembers what it received.
class ScriptedCamera : public sim::PtpResponder {
public:
    std::map<std::uint16_t, sim::PtpReply> replies;
    struct Received {
        std::uint16_t code;
        std::vector<std::uint32_t> params;
        bool dataIn;
    };
    std::vector<Received> received;

    sim::PtpReply execute(std::uint16_t code, const std::vector<std::uint32_t>& params, bool dataIn) override
    {
        received.push_back({code, params, dataIn});
        auto it = replies.find(code);
        return it == replies.end() ? sim::PtpReply{0x2005, {}} : it->second;
    }
};

sim::DeviceSpec device(std::wstring id, std::shared_ptr<sim::PtpResponder> camera = nullptr);

// Typed reads from a values set; nothing when the key cannot be read. Strings and buffers
// handed out are freed here.
std::optional<std::wstring> stringValue(IPortableDeviceValues* v, REFPROPERTYKEY key);
std::optional<ULONG> unsignedValue(IPortableDeviceValues* v, REFPROPERTYKEY key);
std::optional<HRESULT> errorValue(IPortableDeviceValues* v, REFPROPERTYKEY key);
std::optional<std::vector<std::uint8_t>> bufferValue(IPortableDeviceValues* v, REFPROPERTYKEY key);
bool has(IPortableDeviceValues* v, REFPROPERTYKEY key);

// A device object opened on id with a client name only; null when creating or opening fails.
ComPtr<IPortableDevice> openDevice(const std::wstring& id, HRESULT* hr = nullptr);

// A command set of the vendor-operation category.
ComPtr<IPortableDeviceValues> command(DWORD id);
ComPtr<IPortableDeviceValues> executeCommand(DWORD id, std::uint16_t op, const std::vector<std::uint32_t>& params);
ComPtr<IPortableDeviceValues> readCommand(const std::wstring& context, DWORD bytes);
ComPtr<IPortableDeviceValues> endCommand(const std::wstring& context);

struct Sent {
    HRESULT hr = E_FAIL;
    ComPtr<IPortableDeviceValues> results;
};
Sent send(IPortableDevice* device, IPortableDeviceValues* params);

// One operation with a data phase, read in chunks of at most chunk bytes until the announced
// size or an empty read, then ended.
struct Transfer {
    HRESULT startDriver = E_FAIL;
    std::optional<std::uint64_t> total;
    std::vector<std::uint8_t> data;
    std::vector<std::uint32_t> chunks;  // bytes delivered by each read
    std::optional<HRESULT> endDriver;
    std::optional<ULONG> responseCode;
};
Transfer readOperation(IPortableDevice* device, std::uint16_t op, const std::vector<std::uint32_t>& params,
                       DWORD chunk, std::uint64_t cap = UINT64_MAX);

std::vector<std::uint8_t> loadHex(const std::string& file);

}  // namespace simtest
