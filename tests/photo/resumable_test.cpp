// The reader asks for ranges, never the same byte twice, little of a big file, and takes a short
// supply as the file's end.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

#include "fixture.h"
#include "photo/photo_c_api.h"
#include "photo/photo_reader.h"
#include "photo/photo_text.h"
#include "samples.h"

namespace {

struct Drive {
    PhotoReading reading;
    std::vector<ByteRange> asked;
    std::uint64_t supplied = 0;
};

// The loop a caller writes, over a file of `size` bytes whose byte at i is byteAt(i).
Drive drive(std::uint64_t size, const std::function<std::uint8_t(std::uint64_t)>& byteAt)
{
    Drive run;
    PhotoReader reader(size);
    while (!reader.done() && run.asked.size() < 1000) {
        const ByteRange w = reader.wanted();
        run.asked.push_back(w);
        std::vector<std::uint8_t> bytes;
        for (std::uint64_t i = w.offset; i < w.offset + w.length && i < size; ++i) bytes.push_back(byteAt(i));
        reader.supply(bytes);
    }
    run.reading = reader.reading();
    run.supplied = reader.bytesSupplied();
    return run;
}

Drive driveFile(const std::vector<std::uint8_t>& file, std::uint64_t size)
{
    return drive(size, [&](std::uint64_t i) { return i < file.size() ? file[i] : std::uint8_t{0}; });
}

void expectDisjoint(std::vector<ByteRange> ranges)
{
    std::sort(ranges.begin(), ranges.end(), [](auto& a, auto& b) { return a.offset < b.offset; });
    for (std::size_t i = 1; i < ranges.size(); ++i)
        EXPECT_LE(ranges[i - 1].offset + ranges[i - 1].length, ranges[i].offset) << "a byte asked for twice";
}

} // namespace

TEST(PhotoReader, SamplesCostFewRangesAndNoByteTwice)
{
    for (const auto& s : loadSamples()) {
        SCOPED_TRACE(s.file);
        const auto file = loadFile(samplePath(s.file));
        const Drive run = driveFile(file, file.size());
        ASSERT_FALSE(run.asked.empty());
        EXPECT_EQ(run.asked.front().offset, 0u);
        EXPECT_LE(run.asked.size(), 8u);
        EXPECT_LE(run.supplied, 1u << 20);
        for (const auto& r : run.asked) {
            EXPECT_GT(r.length, 0u);
            EXPECT_LE(r.offset + r.length, file.size());
        }
        expectDisjoint(run.asked);
        EXPECT_EQ(photoReadingJson(run.reading), photoReadingJson(readPhoto(file)));
    }
}

TEST(PhotoReader, AHundredMegabyteFileCostsWhatItsMetadataDoes)
{
    // Each sample followed by zeros up to 100 MB, as a raw's image data follows its metadata.
    for (const auto& s : loadSamples()) {
        SCOPED_TRACE(s.file);
        const auto file = loadFile(samplePath(s.file));
        const Drive run = driveFile(file, 100'000'000);
        EXPECT_LE(run.supplied, 1u << 20);
        EXPECT_EQ(run.reading.count, readPhoto(file).count);
    }
}

TEST(PhotoReader, ShortSupplyIsAFileCutShort)
{
    // The file says 2,460,490 bytes, but the read stops after 300: the Exif segment is cut.
    const auto file = loadFile(samplePath("nikon_d50_jpeg.jpg"));
    PhotoReader reader(file.size());
    ASSERT_FALSE(reader.done());
    EXPECT_EQ(reader.wanted().offset, 0u);
    reader.supply(std::span<const std::uint8_t>(file).first(300));
    ASSERT_TRUE(reader.done());
    EXPECT_FALSE(reader.reading().count);
    EXPECT_EQ(reader.reading().message, noCountText(NoCount::CutShort));
    EXPECT_EQ(reader.bytesSupplied(), 300u);
}

TEST(PhotoReader, NothingSuppliedAtAllIsACutFile)
{
    PhotoReader reader(5000);
    reader.supply({});
    ASSERT_TRUE(reader.done());
    EXPECT_FALSE(reader.reading().count);
}

TEST(PhotoReader, NoFileMakesItAskWithoutEnd)
{
    // A JPEG of empty segments each just under 64 KiB long: every segment costs a round trip.
    const std::uint64_t size = 1ull << 32;
    const Drive run = drive(size, [](std::uint64_t i) -> std::uint8_t {
        if (i < 2) return i == 0 ? 0xFF : 0xD8;
        switch ((i - 2) % 0x10001) {
        case 0: return 0xFF;
        case 1: return 0xE2;
        default: return 0xFF;
        }
    });
    EXPECT_LE(run.asked.size(), 40u);
    EXPECT_LE(run.supplied, 5u << 20);
    EXPECT_FALSE(run.reading.count);
    EXPECT_EQ(run.reading.message, noCountText(NoCount::Damaged));
}

TEST(PhotoReader, NotAPhoto)
{
    const std::string text = "hello, this is a text file and not a photo at all";
    const auto r = readPhoto(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    EXPECT_EQ(r.message, noCountText(NoCount::NotPhoto));
    EXPECT_EQ(readPhoto({}).message, noCountText(NoCount::NotPhoto));
}

TEST(PhotoCApi, RunsTheSameLoopOverItsBuffer)
{
    const auto file = loadFile(samplePath("sony_ilce-1_heif.hif"));
    TbPhoto* p = tb_photo_open(static_cast<double>(file.size()));
    ASSERT_NE(p, nullptr);
    int rounds = 0;
    while (!tb_photo_done(p) && rounds++ < 100) {
        const auto offset = static_cast<std::size_t>(tb_photo_wanted_offset(p));
        const unsigned length = tb_photo_wanted_length(p);
        unsigned char* buffer = tb_photo_buffer(p, length);
        ASSERT_NE(buffer, nullptr);
        const std::size_t n = std::min<std::size_t>(length, file.size() - offset);
        std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(offset), n, buffer);
        tb_photo_supply(p, static_cast<unsigned>(n));
    }
    EXPECT_EQ(std::string(tb_photo_result_json(p)), photoReadingJson(readPhoto(file), {}, JsonFor::Page));
    EXPECT_NE(std::string(tb_photo_result_json(p)).find("\"count\":361"), std::string::npos);
    EXPECT_GT(tb_photo_bytes_supplied(p), 0);
    EXPECT_EQ(tb_photo_buffer(p, (1u << 20) + 1), nullptr);
    tb_photo_close(p);
}

TEST(PhotoCApi, OddSizesAndNullAreHarmless)
{
    for (double size : {-1.0, 0.0, 1e300, std::nan("")}) {
        TbPhoto* p = tb_photo_open(size);
        ASSERT_NE(p, nullptr);
        tb_photo_supply(p, 10); // more than the (empty) buffer holds
        EXPECT_EQ(tb_photo_done(p), 1);
        EXPECT_NE(std::string(tb_photo_result_json(p)).find("\"ok\":false"), std::string::npos);
        tb_photo_close(p);
    }
    EXPECT_EQ(tb_photo_done(nullptr), 1);
    EXPECT_EQ(tb_photo_buffer(nullptr, 1), nullptr);
    tb_photo_close(nullptr);
}
