// How long reading the count from a photo takes once its bytes are in memory: readPhoto over
// each real camera file, one benchmark per file, beside a memcpy of the bytes it read (the
// least any reader of those bytes costs). scripts/photo-bench takes the median and the largest.
//
//   bench_photo_read [DIR] [Google Benchmark options]   DIR defaults to the repository's samples

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "photo/photo_reader.h"

namespace {

std::vector<std::uint8_t> load(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The bytes the reader asks for when it reads the whole file, one range after another.
std::uint64_t bytesRead(const std::vector<std::uint8_t>& file)
{
    PhotoReader reader(file.size());
    while (!reader.done()) {
        const ByteRange want = reader.wanted();
        const std::uint64_t start = std::min<std::uint64_t>(want.offset, file.size());
        const std::uint64_t length = std::min<std::uint64_t>(want.length, file.size() - start);
        reader.supply(std::span(file).subspan(static_cast<std::size_t>(start), static_cast<std::size_t>(length)));
    }
    return reader.bytesSupplied();
}

void read(benchmark::State& state, const std::vector<std::uint8_t>& file)
{
    for (auto _ : state) benchmark::DoNotOptimize(readPhoto(file));
    state.counters["bytes_read"] = static_cast<double>(bytesRead(file));
}

void copy(benchmark::State& state, const std::vector<std::uint8_t>& file)
{
    std::vector<std::uint8_t> target(static_cast<std::size_t>(bytesRead(file)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(target.data());
        std::memcpy(target.data(), file.data(), target.size());
        benchmark::ClobberMemory();
    }
}

}  // namespace

int main(int argc, char** argv)
{
    std::filesystem::path dir = TB_PHOTO_SAMPLES_DIR;
    if (argc > 1 && argv[1][0] != '-') {
        dir = argv[1];
        --argc;
        ++argv;
    }
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const auto ext = entry.path().extension();
        if (entry.is_regular_file() && ext != ".md" && ext != ".tsv") paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    // Kept alive for the benchmarks, which run after main has registered them all.
    static std::vector<std::vector<std::uint8_t>> files;
    files.reserve(paths.size());
    for (const auto& path : paths) {
        files.push_back(load(path));
        const auto& bytes = files.back();
        const std::string name = path.filename().string();
        benchmark::RegisterBenchmark(("read/" + name).c_str(), [&bytes](benchmark::State& s) { read(s, bytes); });
        benchmark::RegisterBenchmark(("copy/" + name).c_str(), [&bytes](benchmark::State& s) { copy(s, bytes); });
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
