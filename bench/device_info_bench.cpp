// How long decoding a DeviceInfo takes, next to merely copying the same bytes: a real
// body's dataset and the largest one the decoder accepts.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "capture_file.h"
#include "ptp/device_info.h"

namespace {

std::vector<std::uint8_t> loadCapture(const char* name)
{
    return sim::loadCapture(std::filesystem::path(TB_CAPTURES_DIR) / name).value_or(std::vector<std::uint8_t>{});
}

void put16(std::vector<std::uint8_t>& out, std::uint16_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    put16(out, static_cast<std::uint16_t>(v));
    put16(out, static_cast<std::uint16_t>(v >> 16));
}

void putText(std::vector<std::uint8_t>& out)
{
    out.push_back(255);
    for (int i = 0; i < 254; ++i) put16(out, static_cast<std::uint16_t>('A' + i % 26));
    put16(out, 0);
}

// Five lists of maxArrayCount elements and four 255-unit texts: the most the decoder takes.
std::vector<std::uint8_t> largestDataset()
{
    std::vector<std::uint8_t> out;
    put16(out, 100);
    put32(out, 6);
    put16(out, 100);
    out.push_back(0);  // VendorExtensionDesc
    put16(out, 0);     // FunctionalMode
    for (int list = 0; list < 5; ++list) {
        put32(out, maxArrayCount);
        for (std::uint32_t i = 0; i < maxArrayCount; ++i) put16(out, static_cast<std::uint16_t>(0x1000 + i));
    }
    for (int text = 0; text < 4; ++text) putText(out);
    return out;
}

const std::vector<std::uint8_t>& eos60d()
{
    static const std::vector<std::uint8_t> bytes = loadCapture("di_canon_eos60d.hex");
    return bytes;
}

const std::vector<std::uint8_t>& largest()
{
    static const std::vector<std::uint8_t> bytes = largestDataset();
    return bytes;
}

using Clock = std::chrono::steady_clock;

double copyNanoseconds(const std::vector<std::uint8_t>& bytes, std::int64_t times)
{
    std::vector<std::uint8_t> copy(bytes.size());
    const auto start = Clock::now();
    for (std::int64_t i = 0; i < times; ++i) {
        benchmark::DoNotOptimize(copy.data());
        std::memcpy(copy.data(), bytes.data(), bytes.size());
        benchmark::ClobberMemory();
    }
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

void parse(benchmark::State& state, const std::vector<std::uint8_t>& (*data)())
{
    const std::vector<std::uint8_t>& bytes = data();
    if (bytes.empty() || !parseDeviceInfo(bytes).ok) {
        state.SkipWithError("dataset missing or not decodable");
        return;
    }
    const auto start = Clock::now();
    for (auto _ : state) {
        DeviceInfo info = parseDeviceInfo(bytes);
        benchmark::DoNotOptimize(info);
    }
    const double parseNs = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    // The same bytes copied as often, timed right after: how many memcpys one decode costs.
    const double copyNs = copyNanoseconds(bytes, state.iterations());
    state.counters["x_memcpy"] = copyNs > 0 ? parseNs / copyNs : 0;
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}

void copy(benchmark::State& state, const std::vector<std::uint8_t>& (*data)())
{
    const std::vector<std::uint8_t>& bytes = data();
    std::vector<std::uint8_t> target(bytes.size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(target.data());
        std::memcpy(target.data(), bytes.data(), bytes.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}

}  // namespace

BENCHMARK_CAPTURE(parse, eos60d, eos60d);
BENCHMARK_CAPTURE(copy, eos60d, eos60d);
BENCHMARK_CAPTURE(parse, largest, largest);
BENCHMARK_CAPTURE(copy, largest, largest);

BENCHMARK_MAIN();
