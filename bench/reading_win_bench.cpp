// Windows benchmark, run under Wine against the simulated service in process (no Google
// Benchmark for mingw, so it prints its own figures):
//   - a full Canon reading (readCamera: discovery, open, GetDeviceInfo, the EOS event channel),
//     with the 250 ms pauses replaced, so what is timed is the program's own work;
//   - a 32 MiB data phase through sendOperation, with the process's peak working set, beside
//     a memcpy of the same bytes.
// Usage: wine-run bench_reading_win.exe [repetitions]

#include "device/command_transport.h"
#include "reading/read_camera.h"
#include "sim/cameras/canon_eos_camera.h"
#include "sim/service/service.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

double nowMs()
{
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double peakWorkingSetMiB()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
}

struct Summary {
    double median;
    double best;
};

template <typename F>
Summary time(int repetitions, F&& run)
{
    std::vector<double> ms;
    for (int i = 0; i < repetitions; ++i) {
        const double start = nowMs();
        run();
        ms.push_back(nowMs() - start);
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front()};
}

sim::DeviceSpec canonDevice(std::shared_ptr<sim::PtpResponder> camera)
{
    sim::DeviceSpec d;
    d.id = L"\\\\?\\usb#vid_04a9&pid_32d9#bench";
    d.friendlyName = L"Canon EOS 80D";
    d.manufacturer = L"Canon Inc.";
    d.description = L"Canon EOS 80D";
    d.responder = std::move(camera);
    return d;
}

}  // namespace

int main(int argc, char** argv)
{
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const LogSink quiet = [](const std::wstring&) {};
    bool ok = true;

    {
        auto camera = std::make_shared<sim::CanonEosCamera>();
        camera->addProperty(1, 0xD1AC, 52754);
        sim::Registration registration({{canonDevice(camera)}, {}});
        unsigned pauses = 0;
        const Summary s = time(repetitions, [&] {
            const Reading r = readCamera(quiet, [&](unsigned) { ++pauses; });
            ok = ok && r.ok && r.count == 52754;
        });
        std::printf("canon reading (pauses replaced):  median %.2f ms, best %.2f ms, %u pauses skipped\n", s.median,
                    s.best, pauses);
    }

    {
        constexpr std::uint64_t kBytes = maxTransferSize;
        sim::Fault announced;
        announced.call = sim::Call::SendCommand;
        announced.command = 13;
        announced.totalSize = kBytes;
        sim::Registration registration({{canonDevice(std::make_shared<sim::CanonEosCamera>())}, {announced}});
        CameraSession session(quiet);
        if (FAILED(session.open(L"\\\\?\\usb#vid_04a9&pid_32d9#bench"))) {
            std::printf("open failed\n");
            return 1;
        }
        const double before = peakWorkingSetMiB();
        const Summary s = time(std::min(repetitions, 5), [&] {
            const CommandResult r = sendOperation(session, 0x1001, {}, true);
            ok = ok && r.hr == S_OK && r.data.size() == kBytes;
        });
        const double after = peakWorkingSetMiB();
        std::printf("32 MiB data phase:                median %.1f ms, best %.1f ms, peak working set +%.1f MiB\n",
                    s.median, s.best, after - before);

        std::vector<std::uint8_t> source(kBytes, 0x5A), target(kBytes);
        const Summary c = time(std::min(repetitions, 5), [&] {
            std::memcpy(target.data(), source.data(), source.size());
        });
        std::printf("memcpy of the same 32 MiB:        median %.1f ms, best %.1f ms (buffers 64 MiB)\n", c.median,
                    c.best);
    }

    CoUninitialize();
    std::printf(ok ? "all runs read what they should\n" : "A RUN READ THE WRONG THING\n");
    return ok ? 0 : 1;
}
