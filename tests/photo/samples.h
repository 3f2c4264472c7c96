#pragma once
// The real camera files in samples/ and their answers from samples/expected.tsv.

#include <fstream>
#include <iterator>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

struct Sample {
    std::string file, make, model, count; // count: digits, or "none"
};

inline void PrintTo(const Sample& s, std::ostream* os) { *os << s.file; }

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
