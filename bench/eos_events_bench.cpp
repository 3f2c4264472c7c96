// How long parsing one GetEvent reply takes next to merely copying its bytes: the largest real
// batch (an EOS 5D Mark III's first one) and a 32 MiB reply of property values, the most the
// transport hands over.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "capture_file.h"
#include "vendors/eos_events.h"

namespace {

std::vector<std::uint8_t> loadCapture(const char* name)
{
    return sim::loadCapture(std::filesystem::path(TB_CAPTURES_DIR) / name).value_or(std::vector<std::uint8_t>{});
}

const std::vector<std::uint8_t>& capture()
{
    static const std::vector<std::uint8_t> bytes = loadCapture("ev_canon_eos5dmk3_initial.hex");
    return bytes;
}

// 32 MiB of 16-byte property-value records over 4096 codes, as a camera gone wrong might send.
const std::vector<std::uint8_t>& largest()
{
    static const std::vector<std::uint8_t> bytes = [] {
        std::vector<std::uint8_t> out;
        out.reserve(0x2000000);
        for (std::uint32_t i = 0; out.size() + 16 <= 0x2000000; ++i) {
            for (std::uint32_t word : {16u, 0xC189u, 0xD000u + i % 4096, i})
                for (int b = 0; b < 4; ++b)
                    out.push_back(static_cast<std::uint8_t>(word >> (8 * b)));
        }
        return out;
    }();
    return bytes;
}

void parse(benchmark::State& state, const std::vector<std::uint8_t>& data)
{
    if (data.empty()) {
        state.SkipWithError("capture missing");
        return;
    }
    for (auto _ : state) {
        EosPropertyMap map;
        benchmark::DoNotOptimize(parseEosEvents(data, map));
        benchmark::DoNotOptimize(map);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(data.size()));
}

void copy(benchmark::State& state, const std::vector<std::uint8_t>& data)
{
    std::vector<std::uint8_t> target(data.size());
    for (auto _ : state) {
        std::memcpy(target.data(), data.data(), data.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(data.size()));
}

void BM_ParseEosEvents_5DMarkIII(benchmark::State& state) { parse(state, capture()); }
void BM_Memcpy_5DMarkIII(benchmark::State& state) { copy(state, capture()); }
void BM_ParseEosEvents_32MiB(benchmark::State& state) { parse(state, largest()); }
void BM_Memcpy_32MiB(benchmark::State& state) { copy(state, largest()); }

BENCHMARK(BM_ParseEosEvents_5DMarkIII);
BENCHMARK(BM_Memcpy_5DMarkIII);
BENCHMARK(BM_ParseEosEvents_32MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy_32MiB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
