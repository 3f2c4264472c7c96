// The program's own decoders read what the simulated cameras send: the cameras every later
// test stands on speak the same bytes as the code that reads real bodies.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "camera_factory.h"
#include "canon_eos_camera.h"
#include "decoders.h"
#include "fujifilm_camera.h"
#include "ptp/device_info.h"
#include "vendors/eos_events.h"

namespace {

bool lists(const std::vector<std::uint16_t>& list, std::uint16_t code)
{
    return std::find(list.begin(), list.end(), code) != list.end();
}

}  // namespace

TEST(ProgramDecoders, ReadTheCamerasDatasets)
{
    sim::CanonEosCamera canon;
    const DeviceInfo c = parseDeviceInfo(canon.execute(0x1001, {}, true).data);
    EXPECT_TRUE(c.ok);
    EXPECT_EQ(c.manufacturer, "Canon Inc.");
    EXPECT_EQ(c.model, "Canon EOS 80D");
    EXPECT_EQ(c.deviceVersion, "3-1.0.3");
    EXPECT_TRUE(lists(c.operationsSupported, 0x9116));

    sim::FujifilmCamera fuji;
    const DeviceInfo f = parseDeviceInfo(fuji.execute(0x1001, {}, true).data);
    EXPECT_TRUE(f.ok);
    EXPECT_EQ(f.manufacturer, "FUJIFILM");
    EXPECT_EQ(f.model, "X-T3");
    EXPECT_TRUE(lists(f.devicePropertiesSupported, 0xD310));

    auto named = sim::makeCamera("canon model=\"Canon EOS R\xC3\xA9\" serial=\"\" drop-op=9116");
    ASSERT_TRUE(named);
    const DeviceInfo n = parseDeviceInfo(named->execute(0x1001, {}, true).data);
    EXPECT_TRUE(n.ok);
    EXPECT_EQ(n.model, "Canon EOS R?");
    EXPECT_EQ(n.serialNumber, "");
    EXPECT_FALSE(lists(n.operationsSupported, 0x9116));

    auto cut = sim::makeCamera("fujifilm deviceinfo-truncate=60");
    ASSERT_TRUE(cut);
    EXPECT_FALSE(parseDeviceInfo(cut->execute(0x1001, {}, true).data).ok);
}

TEST(ProgramDecoders, ReadTheCamerasEventBatches)
{
    sim::CanonEosCamera camera;
    camera.addProperty(3, 0xD1AC, 12345);
    camera.execute(0x9115, {1}, false);
    EosPropertyMap map;
    for (unsigned batch = 1; batch <= 3; ++batch) {
        const auto data = camera.execute(0x9116, {}, true).data;
        const std::int32_t taken = parseEosEvents(data, map);
        const auto records = cameras_test::eosRecords(data);
        ASSERT_TRUE(records);
        const auto wide = std::count_if(records->begin(), records->end(),
                                        [](const auto& r) { return r.type == 0xC189 && r.size >= 16; });
        EXPECT_EQ(taken, wide) << "batch " << batch;
        EXPECT_EQ(eosCounterValue(map, 0xD1AC).has_value(), batch == 3) << "batch " << batch;
    }
    EXPECT_EQ(eosCounterValue(map, 0xD1AC), 12345u);
}
