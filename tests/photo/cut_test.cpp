// Every real camera file cut short after every byte that matters: a download that stopped, a
// card pulled out while copying. Whatever the length, the reader must not crash and must either
// give the file's own count or say honestly that it has none; never another number.
//
// Which lengths. Where a file's metadata ends is where its reading stops changing: the shortest
// prefix that reads as the whole file does (found by halving; every later length tried must then
// agree, so a wrong guess fails the test). Every length up to that end and 4 KiB past it is tried;
// so is every length within 256 bytes of where each range the reader asks for begins and ends
// (a read that comes back short at its first or last bytes); beyond, every 4 KiB and the last
// few lengths, which only change the size the reader is told. Every byte of the larger files
// would take minutes under AddressSanitizer and, past the metadata, test nothing new.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "photo/photo_reader.h"
#include "photo/photo_text.h"
#include "samples.h"

#if defined(__has_include)
#if __has_include(<sanitizer/asan_interface.h>)
#include <sanitizer/asan_interface.h>
#endif
#endif
#ifndef ASAN_POISON_MEMORY_REGION
#define ASAN_POISON_MEMORY_REGION(address, size) ((void)(address), (void)(size))
#define ASAN_UNPOISON_MEMORY_REGION(address, size) ((void)(address), (void)(size))
#endif

namespace {

constexpr std::uint64_t stride = 4096;
constexpr std::uint64_t edgeWindow = 256;
// Fewer bytes than this may not even say which format the file is in (RAF's signature is 16).
constexpr std::uint64_t kFormatBytes = 16;

// The shortest prefix that reads as the whole file.
std::uint64_t metadataEnd(std::span<const std::uint8_t> file, const PhotoReading& whole)
{
    std::uint64_t low = 0, high = file.size();
    while (low < high) {
        const std::uint64_t mid = low + (high - low) / 2;
        if (readPhoto(file.first(static_cast<std::size_t>(mid))) == whole) high = mid;
        else low = mid + 1;
    }
    return low;
}

// The shortest prefix that gives the count.
std::uint64_t countEnd(std::span<const std::uint8_t> file, std::uint32_t count)
{
    std::uint64_t low = 0, high = file.size();
    while (low < high) {
        const std::uint64_t mid = low + (high - low) / 2;
        if (readPhoto(file.first(static_cast<std::size_t>(mid))).count == count) high = mid;
        else low = mid + 1;
    }
    return low;
}

// Where the ranges the reader asks for when it reads the whole file begin and end.
std::vector<std::uint64_t> rangeEdges(std::span<const std::uint8_t> file)
{
    std::vector<std::uint64_t> out;
    PhotoReader reader(file.size());
    while (!reader.done()) {
        const ByteRange want = reader.wanted();
        const std::uint64_t begin = std::min<std::uint64_t>(want.offset, file.size());
        const std::uint64_t end = std::min<std::uint64_t>(begin + want.length, file.size());
        out.push_back(begin);
        out.push_back(end);
        reader.supply(file.subspan(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin)));
    }
    return out;
}

std::vector<std::uint64_t> cutLengths(std::uint64_t size, std::uint64_t end, const std::vector<std::uint64_t>& edges)
{
    std::vector<std::uint64_t> lengths;
    auto every = [&](std::uint64_t from, std::uint64_t to) {
        for (std::uint64_t n = from; n <= std::min(to, size); ++n) lengths.push_back(n);
    };
    every(0, end + stride);
    for (const std::uint64_t edge : edges) every(edge > edgeWindow ? edge - edgeWindow : 0, edge + edgeWindow);
    for (std::uint64_t n = 0; n < size; n += stride) lengths.push_back(n);
    every(size > 3 ? size - 3 : 0, size);
    std::sort(lengths.begin(), lengths.end());
    lengths.erase(std::unique(lengths.begin(), lengths.end()), lengths.end());
    return lengths;
}

// The file cut after `length` bytes, in place: the bytes past the cut are poisoned while it
// lives, so AddressSanitizer reports a read of them as it would a read past an exact-size copy,
// without copying the file for every length.
class Cut {
public:
    Cut(const std::vector<std::uint8_t>& file, std::uint64_t length)
        : file_(file), length_(static_cast<std::size_t>(length))
    {
        ASAN_POISON_MEMORY_REGION(file_.data() + length_, file_.size() - length_);
    }
    ~Cut() { ASAN_UNPOISON_MEMORY_REGION(file_.data() + length_, file_.size() - length_); }
    Cut(const Cut&) = delete;
    Cut& operator=(const Cut&) = delete;

    std::span<const std::uint8_t> bytes() const { return std::span(file_).first(length_); }

private:
    const std::vector<std::uint8_t>& file_;
    std::size_t length_;
};

class PhotoCut : public testing::TestWithParam<Sample> {};

TEST_P(PhotoCut, EveryPrefixGivesTheCountOrSaysWhyNot)
{
    const Sample& sample = GetParam();
    const std::vector<std::uint8_t> bytes = loadFile(samplePath(sample.file));
    ASSERT_FALSE(bytes.empty()) << "missing " << samplePath(sample.file);
    const std::optional<std::uint32_t> count = expectedCount(sample);
    const std::span<const std::uint8_t> file(bytes);

    // The whole file first: the table's answer, so a prefix has something to agree with.
    const PhotoReading whole = readPhoto(file);
    ASSERT_EQ(whole.count, count);

    const std::uint64_t end = metadataEnd(file, whole);
    const std::vector<std::uint64_t> lengths = cutLengths(bytes.size(), end, rangeEdges(file));
    int withCount = 0;
    for (const std::uint64_t length : lengths) {
        SCOPED_TRACE("cut after " + std::to_string(length) + " bytes");
        const Cut cut(bytes, length);
        const PhotoReading reading = readPhoto(cut.bytes());
        if (length >= end) {
            // Past the metadata a cut changes nothing.
            ASSERT_TRUE(reading == whole) << reading.message;
        }
        if (length < end && !reading.count && reading.message != whole.message && length >= kFormatBytes) {
            // A cut is said to be one: never blamed on software that re-saved the photo, nor
            // called damage, nor the missing part taken for a body that records no count.
            ASSERT_EQ(reading.message, noCountText(NoCount::CutShort));
        }
        if (reading.count) {
            ++withCount;
            ASSERT_EQ(reading.count, count);
            ASSERT_EQ(reading.kind, whole.kind);
            ASSERT_FALSE(reading.source.empty());
        } else {
            ASSERT_FALSE(reading.message.empty());
            ASSERT_FALSE(reading.mechanical);
        }
    }
    // The whole file is among the lengths, so a sample with a count gives it at least once.
    EXPECT_EQ(withCount > 0, count.has_value());
    RecordProperty("metadata_end", static_cast<int>(end));
    RecordProperty("cuts", static_cast<int>(lengths.size()));
}

INSTANTIATE_TEST_SUITE_P(Samples, PhotoCut, testing::ValuesIn(loadSamples()), sampleTestName);

// One byte short of what the count needs, the file is cut off inside the structures that lead to
// it: whatever check meets the end first (an offset, a segment's or a box's length, a value),
// the answer is that the file was cut short, never that software dropped its data.
class PhotoCountCut : public testing::TestWithParam<Sample> {};

std::vector<Sample> samplesWithACount()
{
    std::vector<Sample> samples = loadSamples();
    std::erase_if(samples, [](const Sample& s) { return !expectedCount(s); });
    return samples;
}

TEST_P(PhotoCountCut, OneByteShortOfTheCountSaysCutShort)
{
    const Sample& sample = GetParam();
    const std::vector<std::uint8_t> bytes = loadFile(samplePath(sample.file));
    ASSERT_FALSE(bytes.empty()) << "missing " << samplePath(sample.file);
    const std::uint64_t end = countEnd(bytes, *expectedCount(sample));
    ASSERT_GT(end, 0u);
    SCOPED_TRACE("cut after " + std::to_string(end - 1) + " bytes");
    const Cut cut(bytes, end - 1);
    const PhotoReading reading = readPhoto(cut.bytes());
    EXPECT_FALSE(reading.count);
    EXPECT_EQ(reading.message, noCountText(NoCount::CutShort));
}

INSTANTIATE_TEST_SUITE_P(SamplesWithACount, PhotoCountCut, testing::ValuesIn(samplesWithACount()), sampleTestName);

TEST(PhotoCutTable, HoldsEverySample) { EXPECT_GE(loadSamples().size(), 30u) << "table missing or short in " << TB_PHOTO_SAMPLES_DIR; }

}  // namespace
