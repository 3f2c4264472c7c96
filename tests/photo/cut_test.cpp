// Every real camera file cut short after every byte that matters: a download that stopped, a
// card pulled out while copying. Whatever the length, the reader must not crash and must either
// give the file's own count or say honestly that it has none; never another number.
//
// Which lengths: every length inside each range the reader asks for when it reads the whole file
// (the headers, directories and maker note it looks at), up to 4 KiB past each, and every 4 KiB
// elsewhere, with the last few lengths of the file. A cut among bytes the reader never looks at
// only changes the file size it is told, which the 4 KiB steps cover; a cut inside what it reads
// is tried at every byte. (The reader asks for at least 64 KiB at a time, so a small file is cut
// at every byte.)

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "photo/photo_reader.h"

namespace {

#ifdef TB_PHOTO_SAMPLES_DIR
const std::filesystem::path samplesDir = TB_PHOTO_SAMPLES_DIR;
#else
const std::filesystem::path samplesDir = std::filesystem::path(__FILE__).parent_path() / "samples";
#endif

constexpr std::uint64_t stride = 4096;

struct Sample {
    std::string file;
    std::optional<std::uint32_t> count;  // none where the file holds no count
};

// expected.tsv: file, make, model, count ("none" or a number), then columns this test ignores.
std::vector<Sample> samples()
{
    std::vector<Sample> out;
    std::ifstream table(samplesDir / "expected.tsv");
    std::string line;
    std::getline(table, line);  // header
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string file, make, model, count;
        if (!std::getline(fields, file, '\t') || !std::getline(fields, make, '\t') ||
            !std::getline(fields, model, '\t') || !std::getline(fields, count, '\t'))
            continue;
        Sample sample{file, std::nullopt};
        if (count != "none") sample.count = static_cast<std::uint32_t>(std::stoul(count));
        out.push_back(sample);
    }
    return out;
}

std::vector<std::uint8_t> load(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Span { std::uint64_t begin, end; };

// The ranges the reader asks for when it reads the whole file, clipped to the file.
std::vector<Span> rangesRead(std::span<const std::uint8_t> file)
{
    std::vector<Span> out;
    PhotoReader reader(file.size());
    while (!reader.done()) {
        const ByteRange want = reader.wanted();
        const std::uint64_t begin = std::min<std::uint64_t>(want.offset, file.size());
        const std::uint64_t end = std::min<std::uint64_t>(begin + want.length, file.size());
        out.push_back({begin, end});
        reader.supply(file.subspan(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin)));
    }
    return out;
}

std::vector<std::uint64_t> cutLengths(std::uint64_t size, const std::vector<Span>& read)
{
    std::vector<std::uint64_t> lengths;
    for (std::uint64_t n = 0; n <= size; n += stride) lengths.push_back(n);
    for (std::uint64_t n = size > 3 ? size - 3 : 0; n <= size; ++n) lengths.push_back(n);
    for (const Span& range : read)
        for (std::uint64_t n = range.begin; n <= std::min(size, range.end + stride); ++n) lengths.push_back(n);
    std::sort(lengths.begin(), lengths.end());
    lengths.erase(std::unique(lengths.begin(), lengths.end()), lengths.end());
    return lengths;
}

class PhotoCut : public testing::TestWithParam<Sample> {};

TEST_P(PhotoCut, EveryPrefixGivesTheCountOrSaysWhyNot)
{
    const Sample& sample = GetParam();
    const std::vector<std::uint8_t> bytes = load(samplesDir / sample.file);
    ASSERT_FALSE(bytes.empty()) << "missing " << samplesDir / sample.file;
    const std::span<const std::uint8_t> file(bytes);

    // The whole file first: the table's answer, so a prefix has something to agree with.
    const PhotoReading whole = readPhoto(file);
    ASSERT_EQ(whole.count, sample.count);

    const std::vector<std::uint64_t> lengths = cutLengths(bytes.size(), rangesRead(file));
    int withCount = 0;
    for (const std::uint64_t length : lengths) {
        SCOPED_TRACE("cut after " + std::to_string(length) + " bytes");
        // An exact-size copy, so a read past the cut is caught by AddressSanitizer.
        const std::vector<std::uint8_t> prefix(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
        const PhotoReading reading = readPhoto(prefix);
        if (reading.count) {
            ++withCount;
            ASSERT_EQ(reading.count, sample.count);
            ASSERT_EQ(reading.kind, whole.kind);
            ASSERT_FALSE(reading.source.empty());
        } else {
            ASSERT_FALSE(reading.message.empty());
            ASSERT_FALSE(reading.mechanical);
        }
    }
    // The whole file is among the lengths, so a sample with a count gives it at least once.
    EXPECT_EQ(withCount > 0, sample.count.has_value());
    RecordProperty("cuts", static_cast<int>(lengths.size()));
}

// One test per sample, named after its file.
std::string sampleName(const testing::TestParamInfo<Sample>& info)
{
    std::string name = info.param.file;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Samples, PhotoCut, testing::ValuesIn(samples()), sampleName);

TEST(PhotoCutTable, HoldsEverySample) { EXPECT_GE(samples().size(), 30u) << "table missing or short in " << samplesDir; }

}  // namespace
