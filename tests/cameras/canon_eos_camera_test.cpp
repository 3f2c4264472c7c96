#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "canon_eos_camera.h"
#include "decoders.h"
#include "eos_events.h"

using namespace cameras_test;
using sim::CanonEosCamera;
using sim::PtpReply;
using sim::ReceivedOperation;
using Bytes = std::vector<std::uint8_t>;

namespace {

PtpReply getEvent(CanonEosCamera& camera)
{
    return camera.execute(0x9116, {}, true);
}

void switchOn(CanonEosCamera& camera)
{
    EXPECT_EQ(camera.execute(0x9114, {1}, false).responseCode, 0x2001);
    EXPECT_EQ(camera.execute(0x9115, {1}, false).responseCode, 0x2001);
}

// The value of `code` in a batch, if a 0xC189 record carries it.
std::optional<std::uint32_t> valueIn(const Bytes& batch, std::uint32_t code)
{
    const auto records = eosRecords(batch);
    EXPECT_TRUE(records) << "malformed batch";
    if (!records)
        return std::nullopt;
    std::optional<std::uint32_t> value;
    for (const auto& [c, v] : eosProperties(*records))
        if (c == code)
            value = v;
    return value;
}

}  // namespace

TEST(CanonEosCamera, DeviceInfoListsTheEventChannelOperations)
{
    CanonEosCamera camera;
    const PtpReply reply = camera.execute(0x1001, {}, true);
    EXPECT_EQ(reply.responseCode, 0x2001);
    const auto info = decodeDeviceInfo(reply.data);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->manufacturer, u"Canon Inc.");
    EXPECT_EQ(info->model, u"Canon EOS 80D");
    EXPECT_EQ(info->vendorExtensionId, 6u);
    for (std::uint16_t op : {0x9114, 0x9115, 0x9116, 0x9127})
        EXPECT_NE(std::find(info->operations.begin(), info->operations.end(), op), info->operations.end()) << op;
}

TEST(CanonEosCamera, AReadingsConversationIsAnsweredAndRecorded)
{
    CanonEosCamera camera;
    camera.addProperty(1, 0xD1AC, 12345);

    switchOn(camera);
    EXPECT_EQ(camera.execute(0x9127, {0xD1AC}, false).responseCode, 0x2001);
    EXPECT_TRUE(camera.remoteMode());
    EXPECT_TRUE(camera.eventMode());

    const PtpReply full = getEvent(camera);
    EXPECT_EQ(full.responseCode, 0x2001);
    std::size_t rest = 1;
    const auto records = eosRecords(full.data, &rest);
    ASSERT_TRUE(records);
    EXPECT_EQ(rest, 0u);  // the end record closes the batch
    EXPECT_GT(eosProperties(*records).size(), 3u);
    // Real bodies send other record types and odd sizes in the full batch; so does this one.
    EXPECT_TRUE(std::any_of(records->begin(), records->end(), [](const auto& r) { return r.type == 0xC18A; }));
    EXPECT_TRUE(std::any_of(records->begin(), records->end(), [](const auto& r) { return r.size % 4 != 0; }));
    EXPECT_EQ(valueIn(full.data, 0xD1AC), 12345u);

    for (int i = 0; i < 2; ++i) {
        const PtpReply later = getEvent(camera);
        EXPECT_EQ(later.responseCode, 0x2001);
        EXPECT_EQ(later.data, sim::eosEmptyBatch());
    }
    EXPECT_EQ(camera.batchesServed(), 3u);

    EXPECT_EQ(camera.execute(0x9115, {0}, false).responseCode, 0x2001);
    EXPECT_EQ(camera.execute(0x9114, {0}, false).responseCode, 0x2001);
    EXPECT_FALSE(camera.eventMode());
    EXPECT_FALSE(camera.remoteMode());

    const std::vector<ReceivedOperation> expected = {
        {0x9114, {1}, false}, {0x9115, {1}, false}, {0x9127, {0xD1AC}, false}, {0x9116, {}, true},
        {0x9116, {}, true},   {0x9116, {}, true},   {0x9115, {0}, false},      {0x9114, {0}, false},
    };
    EXPECT_EQ(camera.received(), expected);
}

TEST(CanonEosCamera, CountersArriveInTheBatchChosen)
{
    struct Case {
        std::uint32_t code;
        std::uint32_t value;
        unsigned batch;
    };
    const Case cases[] = {
        {0xD1AC, 12345, 1}, {0xD1AC, 12345, 3}, {0xD167, 512, 2}, {0xD1AC, 0x80000000u, 6}, {0xD1AC, 0, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.code << " in batch " << std::dec << c.batch);
        CanonEosCamera camera;
        camera.addProperty(c.batch, c.code, c.value);
        switchOn(camera);
        for (unsigned k = 1; k <= 7; ++k) {
            const PtpReply reply = getEvent(camera);
            ASSERT_EQ(reply.responseCode, 0x2001);
            const auto value = valueIn(reply.data, c.code);
            if (k == c.batch) {
                EXPECT_EQ(value, c.value) << "batch " << k;
            } else {
                EXPECT_FALSE(value) << "batch " << k;
                if (k > 1) {
                    EXPECT_EQ(reply.data, sim::eosEmptyBatch()) << "batch " << k;
                }
            }
        }
    }
}

TEST(CanonEosCamera, RecordsOfAnyShapeGoIntoABatchInOrder)
{
    const std::uint8_t m50Value[] = {0x10, 0, 0, 0, 0x01, 0, 0, 0, 0xE8, 0x03, 0, 0, 0xE8, 0x03, 0, 0};
    const Bytes structure = sim::EosEventBuilder().propertyBytes(0xD167, m50Value).bytes();
    CanonEosCamera camera;
    camera.addRecord(2, structure);
    camera.addProperty(2, 0xD1AC, 7);
    switchOn(camera);
    getEvent(camera);
    Bytes expected = structure;
    const Bytes rest = sim::EosEventBuilder().property(0xD1AC, 7).end().bytes();
    expected.insert(expected.end(), rest.begin(), rest.end());
    EXPECT_EQ(getEvent(camera).data, expected);
}

TEST(CanonEosCamera, EventsFlowOnlyInEventModeAndStartOverWhenItIsSwitchedOnAgain)
{
    CanonEosCamera camera;
    camera.addProperty(1, 0xD1AC, 4242);

    // Before event mode nothing is queued and no batch is used up.
    EXPECT_EQ(getEvent(camera).data, sim::eosEmptyBatch());
    EXPECT_EQ(camera.batchesServed(), 0u);

    camera.execute(0x9115, {1}, false);
    EXPECT_EQ(valueIn(getEvent(camera).data, 0xD1AC), 4242u);
    EXPECT_EQ(getEvent(camera).data, sim::eosEmptyBatch());
    camera.execute(0x9115, {0}, false);
    EXPECT_EQ(getEvent(camera).data, sim::eosEmptyBatch());

    // A second reading sees the full batch again.
    camera.execute(0x9115, {1}, false);
    EXPECT_EQ(camera.batchesServed(), 0u);
    EXPECT_EQ(valueIn(getEvent(camera).data, 0xD1AC), 4242u);
}

TEST(CanonEosCamera, ScriptedBatchesAreSentByteForByteWithTheirResponseCode)
{
    const Bytes mk3 = capture("ev_canon_eos5dmk3_initial.hex");
    const Bytes junk = {0x10, 0, 0, 0, 0x89, 0xC1};  // a record cut short
    CanonEosCamera camera;
    camera.addProperty(1, 0xD1AC, 1);  // the scripted batch wins
    camera.addProperty(4, 0xD1AC, 99);
    camera.setBatch(1, mk3);
    camera.setBatch(2, junk, 0x2019);
    switchOn(camera);

    PtpReply reply = getEvent(camera);
    EXPECT_EQ(reply.responseCode, 0x2001);
    EXPECT_EQ(reply.data, mk3);
    reply = getEvent(camera);
    EXPECT_EQ(reply.responseCode, 0x2019);
    EXPECT_EQ(reply.data, junk);
    EXPECT_EQ(getEvent(camera).data, sim::eosEmptyBatch());
    EXPECT_EQ(valueIn(getEvent(camera).data, 0xD1AC), 99u);
}

TEST(CanonEosCamera, RejectedOperationsHaveNoEffect)
{
    {
        SCOPED_TRACE("SetEventMode busy every time");
        CanonEosCamera camera;
        camera.addProperty(1, 0xD1AC, 5);
        camera.rejectOperation(0x9115, 0x2019);
        EXPECT_EQ(camera.execute(0x9114, {1}, false).responseCode, 0x2001);
        EXPECT_EQ(camera.execute(0x9115, {1}, false), (PtpReply{0x2019, {}}));
        EXPECT_FALSE(camera.eventMode());
        EXPECT_EQ(getEvent(camera).data, sim::eosEmptyBatch());
    }
    {
        SCOPED_TRACE("the second GetEvent fails");
        CanonEosCamera camera;
        camera.addProperty(2, 0xD1AC, 5);
        camera.rejectOperation(0x9116, 0x2002, 2);
        switchOn(camera);
        EXPECT_EQ(getEvent(camera).responseCode, 0x2001);
        EXPECT_EQ(getEvent(camera), (PtpReply{0x2002, {}}));
        const PtpReply third = getEvent(camera);  // the queue did not move
        EXPECT_EQ(third.responseCode, 0x2001);
        EXPECT_EQ(valueIn(third.data, 0xD1AC), 5u);
    }
    {
        SCOPED_TRACE("the closing SetEventMode is refused");
        CanonEosCamera camera;
        camera.rejectOperation(0x9115, 0x2002);
        camera.rejectOperation(0x9115, 0x2019, 2);  // wins over the rule for every one
        EXPECT_EQ(camera.execute(0x9115, {1}, false).responseCode, 0x2002);
        EXPECT_EQ(camera.execute(0x9115, {1}, false).responseCode, 0x2019);
        EXPECT_FALSE(camera.eventMode());
        EXPECT_EQ(camera.received().size(), 2u);
    }
    {
        SCOPED_TRACE("switching off refused leaves the camera in event mode");
        CanonEosCamera camera;
        camera.rejectOperation(0x9115, 0x2019, 2);
        switchOn(camera);
        EXPECT_EQ(camera.execute(0x9115, {0}, false).responseCode, 0x2019);
        EXPECT_TRUE(camera.eventMode());
    }
}

TEST(CanonEosCamera, UnknownOperationsAndMissingParameters)
{
    CanonEosCamera camera;
    for (std::uint16_t op : {0x0000, 0x1015, 0x9999, 0xFFFF})
        EXPECT_EQ(camera.execute(op, {0xD310}, true), (PtpReply{0x2005, {}})) << op;
    for (std::uint16_t op : {0x9114, 0x9115, 0x9127})
        EXPECT_EQ(camera.execute(op, {}, false).responseCode, 0x201D) << op;
    EXPECT_FALSE(camera.remoteMode());
    EXPECT_FALSE(camera.eventMode());
    EXPECT_EQ(camera.execute(0x1002, {1}, false).responseCode, 0x2001);  // sessions are the driver's
    EXPECT_EQ(camera.receivedCodes().size(), 8u);
}

TEST(CanonEosCamera, DeviceInfoCanBeAnyDatasetOrBytes)
{
    auto fields = CanonEosCamera::defaultDeviceInfo();
    std::erase(fields.operationsSupported, 0x9116);
    fields.model = u"Canon EOS 300D";
    CanonEosCamera old(fields);
    const auto info = decodeDeviceInfo(old.execute(0x1001, {}, true).data);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->model, u"Canon EOS 300D");
    EXPECT_EQ(std::count(info->operations.begin(), info->operations.end(), 0x9116), 0);

    const Bytes eos60d = capture("di_canon_eos60d.hex");
    old.setDeviceInfoBytes(eos60d);
    EXPECT_EQ(old.execute(0x1001, {}, true), (PtpReply{0x2001, eos60d}));
    EXPECT_EQ(old.deviceInfoBytes(), eos60d);
}
