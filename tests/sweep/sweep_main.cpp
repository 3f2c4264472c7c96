// sweep_run SEED COUNT: runs COUNT scenarios from SEED on and prints what they covered and
// every failing seed with its scenario. Exit status 1 when any failed.
// sweep_run memory COUNT: COUNT fault-free readings in a row, each on a worker thread of its
// own that opens and closes its apartment as the read job does, the service's classes
// registered once; prints the process's memory after 10 and after COUNT. Exit status 1 when it
// grew by more than 1 MiB.

#include "reading/read_camera.h"
#include "sim/service/service.h"
#include "sweep_case.h"

#include <objbase.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>

namespace {

// readCamera must return: a scenario still running after a minute is a hang, named by its seed.
std::atomic<std::uint64_t> gCurrent{0};
std::atomic<std::uint64_t> gDone{0};

void watchdog()
{
    std::uint64_t last = ~0ull;
    int still = 0;
    for (;;) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const std::uint64_t done = gDone.load();
        still = done == last ? still + 1 : 0;
        last = done;
        if (still >= 60) {
            std::printf("HANG: seed %llu has not returned after 60 s\n", static_cast<unsigned long long>(gCurrent.load()));
            std::fflush(stdout);
            std::_Exit(2);
        }
    }
}

// The outcome row a reading stands for: its message up to the code or the brand it names.
std::string row(const Reading& r)
{
    if (r.ok) return "count from " + r.source;
    std::wstring m = r.message;
    if (m.rfind(L"Found a ", 0) == 0) return "Found a ... camera (another brand)";
    m = m.substr(0, std::min(m.find(L'('), std::wstring::size_type{48}));
    std::string words;
    for (wchar_t ch : m) words.push_back(ch < 0x80 ? static_cast<char>(ch) : '?');
    return words + "...";
}

unsigned long long dataKiB()
{
    // Under Wine the process's own /proc entry, through drive Z:.
    std::ifstream in("Z:\\proc\\self\\status");
    const std::string status((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto at = status.find("VmData:");
    return at == std::string::npos ? 0 : std::strtoull(status.c_str() + at + 7, nullptr, 10);
}

unsigned long long workingSetKiB()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.WorkingSetSize / 1024;
}

// A Canon and a Fujifilm reading in turn, each with every step succeeding.
int memory(std::uint64_t count)
{
    sweep::Case cases[2];
    for (std::uint64_t seed = 1; !cases[0].seed || !cases[1].seed; ++seed) {
        sweep::Case c = sweep::generate(seed);
        const Reading r = sweep::predict(c).reading;
        if (r.ok && c.scenario.faults.empty()) cases[r.source[0] == 'C' ? 0 : 1] = c;
    }
    sim::Registration registration;
    unsigned long long data10 = 0, set10 = 0;
    std::uint64_t ok = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        sim::setScenario(sweep::liveScenario(cases[i % 2]));
        std::thread([&] {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            ok += readCamera([](const std::wstring&) {}, [](unsigned) {}).ok;
            CoUninitialize();
        }).join();
        if (i == 9) data10 = dataKiB(), set10 = workingSetKiB();
    }
    const unsigned long long data = dataKiB(), set = workingSetKiB();
    std::printf("readings in process: %llu, with a count: %llu\n", static_cast<unsigned long long>(count),
                static_cast<unsigned long long>(ok));
    std::printf("memory after 10 and after %llu: data %llu -> %llu KiB, working set %llu -> %llu KiB\n",
                static_cast<unsigned long long>(count), data10, data, set10, set);
    return ok == count && data <= data10 + 1024 && set <= set10 + 1024 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "memory") {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        const int status = memory(std::strtoull(argv[2], nullptr, 0));
        CoUninitialize();
        return status;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: sweep_run SEED COUNT\n");
        return 2;
    }
    const std::uint64_t first = std::strtoull(argv[1], nullptr, 0);
    const std::uint64_t count = std::strtoull(argv[2], nullptr, 0);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    std::uint64_t failures = 0;
    std::map<std::string, std::uint64_t> rows;
    std::uint64_t faults = 0;
    const auto start = std::chrono::steady_clock::now();
    {
        sim::Registration registration;
        if (registration.result() != S_OK) {
            std::printf("cannot register the simulated service: 0x%08lX\n", static_cast<unsigned long>(registration.result()));
            return 2;
        }
        std::thread(watchdog).detach();
        for (std::uint64_t seed = first; seed < first + count; ++seed) {
            gCurrent = seed;
            const sweep::Case c = sweep::generate(seed);
            const std::string problems = sweep::runAndCheck(c);
            ++gDone;
            faults += c.scenario.faults.size();
            ++rows[row(sweep::predict(c).reading)];
            if (!problems.empty()) {
                ++failures;
                std::printf("FAIL %s\n", problems.c_str());
                std::fflush(stdout);
            }
            if ((seed - first + 1) % 100000 == 0) {
                std::printf("... %llu scenarios\n", static_cast<unsigned long long>(seed - first + 1));
                std::fflush(stdout);
            }
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("scenarios: %llu (seeds %llu to %llu)\n", static_cast<unsigned long long>(count),
                static_cast<unsigned long long>(first), static_cast<unsigned long long>(first + count - 1));
    std::printf("faults injected: %llu\n", static_cast<unsigned long long>(faults));
    std::printf("outcomes:\n");
    for (const auto& [name, n] : rows)
        std::printf("  %9llu  %s\n", static_cast<unsigned long long>(n), name.c_str());
    std::printf("failures: %llu\n", static_cast<unsigned long long>(failures));
    std::printf("time: %.1f s, %.0f scenarios/s\n", seconds, count / seconds);
    CoUninitialize();
    return failures ? 1 : 0;
}
