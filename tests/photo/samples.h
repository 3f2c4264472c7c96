#pragma once
// The real camera files in samples/ and their answers from samples/expected.tsv.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

struct Sample {
    std::string file, make, model, count; // count: digits, or "none"
};

inline void PrintTo(const Sample& s, std::ostream* os) { *os << s.file; }

// The table's count as the reader gives it: none where the file holds no count.
inline std::optional<std::uint32_t> expectedCount(const Sample& s)
{
    if (s.count == "none") return std::nullopt;
    return static_cast<std::uint32_t>(std::stoul(s.count));
}

// A test name per sample, made from its file name (letters and digits only).
inline std::string sampleTestName(const testing::TestParamInfo<Sample>& info)
{
    std::string name = info.param.file;
    for (auto& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

inline std::string samplePath(const std::string& file) { return std::string(TB_PHOTO_SAMPLES_DIR) + "/" + file; }

inline std::vector<Sample> loadSamples()
{
    std::vector<Sample> samples;
    std::ifstream in(samplePath("expected.tsv"));
    std::string line;
    std::getline(in, line); // header
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        Sample s;
        std::getline(fields, s.file, '\t');
        std::getline(fields, s.make, '\t');
        std::getline(fields, s.model, '\t');
        std::getline(fields, s.count, '\t');
        if (!s.file.empty()) samples.push_back(s);
    }
    return samples;
}

inline std::vector<std::uint8_t> loadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
