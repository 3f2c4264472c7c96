#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "camera_factory.h"
#include "canon_eos_camera.h"
#include "decoders.h"
#include "eos_events.h"
#include "fujifilm_camera.h"

using namespace cameras_test;
using sim::PtpReply;
using Bytes = std::vector<std::uint8_t>;

namespace {

std::shared_ptr<sim::PtpResponder> make(const std::string& line)
{
    std::string error;
    auto camera = sim::makeCamera(line, &error);
    EXPECT_TRUE(camera) << line << ": " << error;
    EXPECT_EQ(error, "") << line;
    return camera;
}

std::shared_ptr<sim::CanonEosCamera> canon(const std::string& line)
{
    auto camera = std::dynamic_pointer_cast<sim::CanonEosCamera>(make(line));
    EXPECT_TRUE(camera) << line << " is not a Canon";
    return camera;
}

std::shared_ptr<sim::FujifilmCamera> fujifilm(const std::string& line)
{
    auto camera = std::dynamic_pointer_cast<sim::FujifilmCamera>(make(line));
    EXPECT_TRUE(camera) << line << " is not a Fujifilm";
    return camera;
}

DecodedDeviceInfo deviceInfo(sim::PtpResponder& camera)
{
    const auto info = decodeDeviceInfo(camera.execute(0x1001, {}, true).data);
    EXPECT_TRUE(info);
    return info.value_or(DecodedDeviceInfo{});
}

// Batches 1 to n after switching event mode on.
std::vector<PtpReply> batches(sim::CanonEosCamera& camera, int n)
{
    camera.execute(0x9115, {1}, false);
    std::vector<PtpReply> out;
    for (int k = 0; k < n; ++k)
        out.push_back(camera.execute(0x9116, {}, true));
    return out;
}

std::vector<std::pair<std::uint32_t, std::uint32_t>> propertiesIn(const PtpReply& batch)
{
    const auto records = eosRecords(batch.data);
    EXPECT_TRUE(records);
    return records ? eosProperties(*records) : decltype(eosProperties({})){};
}

bool carries(const PtpReply& batch, std::uint32_t code, std::uint32_t value)
{
    const auto props = propertiesIn(batch);
    return std::find(props.begin(), props.end(), std::pair{code, value}) != props.end();
}

}  // namespace

TEST(MakeCamera, CanonTextsAndCounter)
{
    auto camera = canon(R"(canon model="Canon EOS 80D" firmware=1.0.3 serial=0123 d1ac=12345 batch=1)");
    ASSERT_TRUE(camera);
    const auto info = deviceInfo(*camera);
    EXPECT_EQ(info.manufacturer, u"Canon Inc.");
    EXPECT_EQ(info.model, u"Canon EOS 80D");
    EXPECT_EQ(info.deviceVersion, u"1.0.3");
    EXPECT_EQ(info.serialNumber, u"0123");
    const auto b = batches(*camera, 2);
    EXPECT_TRUE(carries(b[0], 0xD1AC, 12345));
    EXPECT_EQ(b[1].data, sim::eosEmptyBatch());
}

TEST(MakeCamera, CountersInTheirBatches)
{
    auto camera = canon("canon batch=3 d1ac=0@1 d1ac=4000000000 d167=512@2 "
                        "d167=hex:1000000001000000e8030000e8030000@4");
    ASSERT_TRUE(camera);
    const auto b = batches(*camera, 5);
    EXPECT_TRUE(carries(b[0], 0xD1AC, 0));
    EXPECT_TRUE(carries(b[1], 0xD167, 512));
    EXPECT_TRUE(carries(b[2], 0xD1AC, 4000000000u));
    const auto records = eosRecords(b[3].data);
    ASSERT_TRUE(records);
    ASSERT_EQ(records->size(), 2u);
    EXPECT_EQ((*records)[0].size, 28u);  // the M50's structure-valued record
    EXPECT_EQ((*records)[0].word(4), 16u);
    EXPECT_EQ(b[4].data, sim::eosEmptyBatch());
}

TEST(MakeCamera, CapturesAndScriptedBatchesAreReplayed)
{
    auto camera = canon("canon capture=ev_canon_eos5dmk3_initial.hex events2=hex:0800000000000000ff "
                        "events3=ev_canon_eos60d_empty.hex d1ac=52755@4");
    ASSERT_TRUE(camera);
    const auto b = batches(*camera, 4);
    EXPECT_EQ(b[0].data, capture("ev_canon_eos5dmk3_initial.hex"));
    EXPECT_EQ(b[1].data, (Bytes{8, 0, 0, 0, 0, 0, 0, 0, 0xFF}));
    EXPECT_EQ(b[2].data, sim::eosEmptyBatch());
    EXPECT_TRUE(carries(b[3], 0xD1AC, 52755));
}

TEST(MakeCamera, DeviceInfoVariants)
{
    auto without = canon("canon drop-op=9116 drop-op=0x9127");
    ASSERT_TRUE(without);
    const auto ops = deviceInfo(*without).operations;
    EXPECT_EQ(std::count(ops.begin(), ops.end(), 0x9116), 0);
    EXPECT_EQ(std::count(ops.begin(), ops.end(), 0x9127), 0);
    EXPECT_EQ(std::count(ops.begin(), ops.end(), 0x9114), 1);

    const Bytes eos60d = capture("di_canon_eos60d.hex");
    auto replayed = canon("canon deviceinfo=di_canon_eos60d.hex");
    ASSERT_TRUE(replayed);
    EXPECT_EQ(replayed->deviceInfoBytes(), eos60d);
    auto cut = canon("canon deviceinfo=di_canon_eos60d.hex deviceinfo-truncate=100");
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->deviceInfoBytes(), Bytes(eos60d.begin(), eos60d.begin() + 100));
    auto cutBuilt = canon("canon deviceinfo-truncate=20");
    ASSERT_TRUE(cutBuilt);
    const Bytes whole = sim::buildDeviceInfo(sim::CanonEosCamera::defaultDeviceInfo());
    EXPECT_EQ(cutBuilt->deviceInfoBytes(), Bytes(whole.begin(), whole.begin() + 20));
    auto inline_ = canon("canon deviceinfo=hex:6400");
    ASSERT_TRUE(inline_);
    EXPECT_EQ(inline_->deviceInfoBytes(), (Bytes{0x64, 0x00}));

    auto noShotCount = fujifilm("fujifilm drop-prop=D310");
    ASSERT_TRUE(noShotCount);
    const auto props = deviceInfo(*noShotCount).properties;
    EXPECT_EQ(std::count(props.begin(), props.end(), 0xD310), 0);
    EXPECT_FALSE(props.empty());
}

TEST(MakeCamera, QuotedAndNonAsciiTexts)
{
    auto camera = canon("\t canon  model=\"Say \\\"cheese\\\" \\\\ now\"  manufacturer=\"\" serial=\"Cam\xC3\xA9ra\"\t");
    ASSERT_TRUE(camera);
    const auto info = deviceInfo(*camera);
    EXPECT_EQ(info.model, u"Say \"cheese\" \\ now");
    EXPECT_EQ(info.manufacturer, u"");
    EXPECT_EQ(info.serialNumber, u"Cam\u00e9ra");
}

TEST(MakeCamera, Rejections)
{
    auto camera = canon("canon reject=9114:2019 reject=0x9116:0x2002@2");
    ASSERT_TRUE(camera);
    EXPECT_EQ(camera->execute(0x9114, {1}, false).responseCode, 0x2019);
    const auto b = batches(*camera, 3);
    EXPECT_EQ(b[0].responseCode, 0x2001);
    EXPECT_EQ(b[1], (PtpReply{0x2002, {}}));
    EXPECT_EQ(b[2].responseCode, 0x2001);
}

TEST(MakeCamera, FujifilmReplies)
{
    struct Case {
        const char* line;
        PtpReply expected;
    };
    const Case cases[] = {
        {"fujifilm model=X-T3 count=13531", {0x2001, {0x00, 0x00, 0xDB, 0x34}}},
        {"fujifilm count=0x12c", {0x2001, {0x00, 0x00, 0x2C, 0x01}}},
        {"fujifilm value=hex:0000db3400000000", {0x2001, {0x00, 0x00, 0xDB, 0x34, 0, 0, 0, 0}}},
        {"fujifilm value=hex: code=2001", {0x2001, {}}},
        {"fujifilm code=200A", {0x200A, {}}},
        {"fujifilm count=300 code=2019", {0x2019, {0x00, 0x00, 0x2C, 0x01}}},
        {"fujifilm", {0x200A, {}}},
        {"fujifilm reject=1015:2002", {0x2002, {}}},
    };
    for (const auto& c : cases) {
        auto camera = fujifilm(c.line);
        ASSERT_TRUE(camera);
        EXPECT_EQ(camera->execute(0x1015, {0xD310}, true), c.expected) << c.line;
    }
    auto xh1 = fujifilm("fujifilm deviceinfo=di_fuji_xh1.hex count=5");
    ASSERT_TRUE(xh1);
    EXPECT_EQ(xh1->deviceInfoBytes(), capture("di_fuji_xh1.hex"));
    auto named = fujifilm("fujifilm model=X-T4 firmware=2.00");
    ASSERT_TRUE(named);
    EXPECT_EQ(deviceInfo(*named).model, u"X-T4");
    EXPECT_EQ(deviceInfo(*named).manufacturer, u"FUJIFILM");
}

TEST(MakeCamera, NoneIsAListedOnlyDevice)
{
    auto device = std::dynamic_pointer_cast<sim::ListedOnlyDevice>(make("none"));
    ASSERT_TRUE(device);
    EXPECT_EQ(device->execute(0x1001, {}, true).responseCode, 0x2005);
}

TEST(MakeCamera, CapturesComeFromTheFolderGiven)
{
    const auto dir = std::filesystem::temp_directory_path() / ("camera_factory_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "mine.hex") << "0800000000000000\n";
    std::string error;
    auto camera = std::dynamic_pointer_cast<sim::CanonEosCamera>(sim::makeCamera("canon events1=mine.hex", &error, dir));
    EXPECT_TRUE(camera) << error;
    EXPECT_FALSE(sim::makeCamera("canon capture=ev_canon_eos60d_empty.hex", &error, dir));
    std::filesystem::remove_all(dir);
    ASSERT_TRUE(camera);
    EXPECT_EQ(batches(*camera, 1)[0].data, sim::eosEmptyBatch());
}

TEST(MakeCamera, BadLinesGiveNothingAndAReason)
{
    struct Case {
        const char* line;
        const char* reason;  // a piece of the error text
    };
    const Case cases[] = {
        {"", "empty"},
        {"  \t ", "empty"},
        {"nikon model=D850", "unknown camera"},
        {"Canon", "unknown camera"},
        {"canon model", "key=value"},
        {"canon =5", "key=value"},
        {"canon model=\"EOS", "not closed"},
        {"canon model=\"EOS\"80D", "after the closing quote"},
        {"canon model=EOS\"80D", "quote inside"},
        {"canon shutter=5", "unknown word"},
        {"canon count=5", "unknown word"},
        {"fujifilm d1ac=5", "unknown word"},
        {"canon events=hex:00", "unknown word"},
        {"canon events0=hex:00", "unknown word"},
        {"canon events01=hex:00", "unknown word"},
        {"canon events1001=hex:00", "unknown word"},
        {"none model=x", "no words"},
        {"canon model=a model=b", "twice"},
        {"canon capture=hex:0800000000000000 events1=hex:00", "batch 1 given twice"},
        {"canon d1ac=4294967296", "d1ac"},
        {"canon d1ac=-1", "d1ac"},
        {"canon d1ac=", "d1ac"},
        {"canon d1ac=0x", "d1ac"},
        {"canon d1ac=12@0", "d1ac"},
        {"canon d1ac=12@1001", "d1ac"},
        {"canon d167=hex:abc", "d167"},
        {"canon batch=0", "batch"},
        {"canon batch=x", "batch"},
        {"canon capture=no_such_file.hex", "cannot read"},
        {"canon capture=README.md", "cannot read"},
        {"canon capture=", "needs a capture"},
        {"canon events2=hex:0g", "events2"},
        {"canon d1ac=5 capture=ev_canon_eos60d_empty.hex", "counter in batch 1"},
        {"canon batch=2 d1ac=5 events2=hex:", "counter in batch 2"},
        {"canon deviceinfo=di_canon_eos60d.hex model=x", "deviceinfo="},
        {"fujifilm deviceinfo=hex:00 drop-prop=d310", "deviceinfo="},
        {"canon deviceinfo-truncate=4294967296", "deviceinfo-truncate"},
        {"canon drop-op=10000", "drop-op"},
        {"canon drop-op=", "drop-op"},
        {"canon reject=9114", "reject"},
        {"canon reject=9114:12345", "reject"},
        {"canon reject=zz:2001", "reject"},
        {"canon reject=9114:2019@0", "reject"},
        {"fujifilm count=65536", "count"},
        {"fujifilm count=1 value=hex:00", "value"},
        {"fujifilm value=hex:00 count=1", "count"},
        {"fujifilm code=12345", "code"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(sim::makeCamera(c.line, &error)) << c.line;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.line << " gave: " << error;
        EXPECT_FALSE(sim::makeCamera(c.line)) << c.line;  // no place for the reason is fine too
    }
}

// Whatever the text, a camera or a reason comes back, never both and never a crash.
TEST(MakeCamera, AnyTextGivesACameraOrAReason)
{
    const std::string good = R"(canon model="Canon EOS 80D" firmware=1.0.3 d1ac=12345@3 d167=hex:0a00@2 )"
                             R"(events4=hex:0800000000000000 reject=9116:2019@2 drop-op=9116 deviceinfo-truncate=30)";
    std::vector<std::string> lines;
    for (std::size_t n = 0; n <= good.size(); ++n)
        lines.push_back(good.substr(0, n));
    for (std::size_t i = 0; i < good.size(); ++i)
        for (char c : {'"', '=', ' ', '@', ':', '\\', '\0', '\xFF', '9'}) {
            std::string line = good;
            line[i] = c;
            lines.push_back(line);
        }
    std::size_t made = 0;
    for (const auto& line : lines) {
        std::string error;
        const auto camera = sim::makeCamera(line, &error);
        EXPECT_NE(camera == nullptr, error.empty()) << line;
        if (camera) {
            ++made;
            camera->execute(0x1001, {}, true);
            camera->execute(0x9115, {1}, false);
            for (int k = 0; k < 5; ++k)
                camera->execute(0x9116, {}, true);
        }
    }
    EXPECT_GT(made, 0u);
    EXPECT_LT(made, lines.size());
}
