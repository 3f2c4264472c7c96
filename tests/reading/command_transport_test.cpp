#include "device/command_transport.h"

#include "sim_fixture.h"

#include <memory>

namespace {

// A camera that answers every operation with one response code and, when the host reads a
// data phase, the same bytes.
class DataCamera final : public sim::PtpResponder {
public:
    DataCamera(std::uint16_t response, std::vector<std::uint8_t> data) : response_(response), data_(std::move(data)) {}
    sim::PtpReply execute(std::uint16_t, const std::vector<std::uint32_t>&, bool dataIn) override
    {
        return {response_, dataIn ? data_ : std::vector<std::uint8_t>{}};
    }

private:
    std::uint16_t response_;
    std::vector<std::uint8_t> data_;
};

std::vector<std::uint8_t> pattern(std::size_t size)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 % 251);
    return bytes;
}

sim::Fault sendFault(std::uint32_t command, unsigned nth = 0)
{
    sim::Fault f;
    f.call = sim::Call::SendCommand;
    f.command = command;
    f.nth = nth;
    return f;
}

constexpr HRESULT kGenFailure = static_cast<HRESULT>(0x8007001F);
constexpr HRESULT kDisconnected = static_cast<HRESULT>(0x8007048F);
constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80070490);

class TransportTest : public SimTest {
protected:
    // Serves one camera with these answers and faults, opens it, runs one operation and ends
    // the session.
    CommandResult run(std::vector<std::uint8_t> data, std::vector<sim::Fault> faults = {},
                      std::uint16_t response = 0x2001, bool expectsData = true,
                      std::vector<std::uint32_t> params = {}, sim::ServiceRules rules = {})
    {
        serve({{simDevice(L"cam", L"EOS", L"Canon Inc.", std::make_shared<DataCamera>(response, std::move(data)))},
               std::move(faults), rules});
        CameraSession session(log);
        EXPECT_EQ(session.open(L"cam"), S_OK);
        return sendOperation(session, 0x1001, params, expectsData);
    }

    static std::vector<std::uint32_t> readRequests()
    {
        std::vector<std::uint32_t> sizes;
        for (const auto& r : commands(15)) {
            sizes.push_back(r.bytesToRead.value_or(0));
            // Each request carries a buffer as large as what it asks for.
            EXPECT_EQ(r.requestBuffer, r.bytesToRead);
        }
        return sizes;
    }
};

}  // namespace

TEST_F(TransportTest, OperationWithoutDataPhase)
{
    const CommandResult r = run({}, {}, 0x2019, false, {0x9114, 1});
    EXPECT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.responseCode, 0x2019u);  // passed through, not judged
    EXPECT_TRUE(r.data.empty());
    const auto sent = sim::records(sim::Call::SendCommand);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(sent[0].vendorCategory);
    EXPECT_EQ(sent[0].command, 12u);
    EXPECT_EQ(sent[0].operation, 0x1001);
    EXPECT_EQ(sent[0].params, (std::vector<std::uint32_t>{0x9114, 1}));
    EXPECT_TRUE(lines.empty());
}

TEST_F(TransportTest, EmptyParameterListIsSentAsAnEmptyCollection)
{
    run({1, 2, 3});
    const auto executes = commands(13);
    ASSERT_EQ(executes.size(), 1u);
    EXPECT_EQ(executes[0].params, std::vector<std::uint32_t>{});
}

namespace {

// A data phase: what the camera has, the faults on the way, the read requests the transport
// makes and the bytes it keeps.
struct DataPhaseCase {
    const char* name;
    std::size_t cameraBytes;
    std::vector<sim::Fault> faults;
    std::vector<std::uint32_t> requests;
    std::size_t received;
};

} // namespace

TEST_F(TransportTest, DataPhasesReadInChunks)
{
    sim::Fault shortFirst = sendFault(15, 1);
    shortFirst.served = 100000;
    sim::Fault bytesReadZero = sendFault(15);
    bytesReadZero.bytesRead = 0;
    sim::Fault bytesReadTooLarge = sendFault(15);
    bytesReadTooLarge.bytesRead = 999999;
    const DataPhaseCase cases[] = {
        {"total 0: no read, still ended", 0, {}, {}, 0},
        {"600,000 bytes", 600000, {}, {262144, 262144, 75712}, 600000},
        {"a short read is followed by a request for the rest", 600000, {shortFirst},
         {262144, 262144, 237856}, 600000},
        {"bytes-read 0 takes the whole buffer", 1000, {bytesReadZero}, {1000}, 1000},
        {"bytes-read beyond the buffer takes the buffer", 1000, {bytesReadTooLarge}, {1000}, 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto bytes = pattern(c.cameraBytes);
        const CommandResult r = run(bytes, c.faults, 0x2001);
        EXPECT_EQ(r.hr, S_OK);
        EXPECT_EQ(r.responseCode, 0x2001u);
        EXPECT_EQ(readRequests(), c.requests);
        EXPECT_EQ(commands(17).size(), 1u);
        ASSERT_EQ(r.data.size(), c.received);
        EXPECT_TRUE(r.data == std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + c.received));
    }
}

TEST_F(TransportTest, AnnouncedSizeIsCutAt32MiB)
{
    sim::Fault huge = sendFault(13);
    huge.totalSize = 40000000;
    const CommandResult r = run({}, {huge});
    EXPECT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.responseCode, 0x2001u);
    ASSERT_EQ(r.data.size(), 33554432u);
    const auto requests = readRequests();
    EXPECT_EQ(requests, std::vector<std::uint32_t>(128, 262144));
    EXPECT_EQ(commands(17).size(), 1u);
    for (std::size_t at : {std::size_t{0}, std::size_t{262143}, std::size_t{262144}, r.data.size() - 1})
        EXPECT_EQ(r.data[at], sim::generatedByte(at)) << at;
}

TEST_F(TransportTest, ShortTransfersAreNotFailures)
{
    struct Case {
        const char* name;
        sim::Fault fault;
    };
    sim::Fault empty = sendFault(15, 2);
    empty.served = 0;  // no zero-length buffer: NUM_BYTES_READ 0 and no TRANSFER_DATA
    sim::Fault noData = sendFault(15, 2);
    noData.omit = sim::omitTransferData;
    sim::Fault noCount = sendFault(15, 2);
    noCount.omit = sim::omitNumBytesRead;  // the buffer still says how much came
    const Case cases[] = {{"nothing served", empty}, {"no buffer", noData}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CommandResult r = run(pattern(600000), {c.fault});
        EXPECT_EQ(r.hr, S_OK);
        EXPECT_EQ(r.responseCode, 0x2001u);
        EXPECT_EQ(r.data.size(), 262144u);
        EXPECT_EQ(readRequests().size(), 2u);
        EXPECT_EQ(commands(17).size(), 1u);
    }
    const CommandResult counted = run(pattern(600000), {noCount});
    EXPECT_EQ(counted.hr, S_OK);
    EXPECT_EQ(counted.data.size(), 600000u);
}

// 0xFFFFFFFF is the documented "size unknown": the data ends with the first chunk shorter
// than asked (or empty), and the service refuses a read after that.
TEST_F(TransportTest, DataPhaseOfUnknownSizeEndsWithTheFirstShortChunk)
{
    sim::Fault huge = sendFault(13);
    huge.totalSize = 40000000;
    sim::Fault shortFirst = sendFault(15, 1);
    shortFirst.served = 100000;
    sim::Fault dribble = sendFault(15);
    dribble.served = 1;
    const DataPhaseCase cases[] = {
        {"less than a chunk", 1000, {}, {262144}, 1000},
        {"exactly a chunk: an empty read tells the end", 262144, {}, {262144, 262144}, 262144},
        {"600,000 bytes", 600000, {}, {262144, 262144, 262144}, 600000},
        {"nothing at all", 0, {}, {262144}, 0},
        {"still cut at 32 MiB", 0, {huge}, std::vector<std::uint32_t>(128, 262144), 33554432},
        {"a short chunk is the end, whatever follows", 600000, {shortFirst}, {262144}, 100000},
        {"a dribbling driver: its first byte is the end", 600000, {dribble}, {262144}, 1},
    };
    sim::ServiceRules unknown;
    unknown.unknownTotalSize = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto bytes = pattern(c.cameraBytes);
        const CommandResult r = run(bytes, c.faults, 0x2001, true, {}, unknown);
        EXPECT_EQ(commands(13).at(0).totalSize, 0xFFFFFFFFu);
        EXPECT_EQ(r.hr, S_OK);
        EXPECT_EQ(r.responseCode, 0x2001u);
        EXPECT_EQ(readRequests(), c.requests);
        EXPECT_EQ(commands(17).size(), 1u);
        ASSERT_EQ(r.data.size(), c.received);
        for (std::size_t i = 0; i < r.data.size(); i += 4099)
            ASSERT_EQ(r.data[i], i < bytes.size() ? bytes[i] : sim::generatedByte(i)) << i;
    }
}

// A driver that answers each request with one byte: the reading must not go on for the 33
// million requests a 32 MiB total would take.
TEST_F(TransportTest, ReadDataCommandsAreBoundedPerOperation)
{
    sim::Fault huge = sendFault(13);
    huge.totalSize = 40000000;
    sim::Fault dribble = sendFault(15);
    dribble.served = 1;
    const CommandResult r = run({}, {huge, dribble});
    EXPECT_EQ(r.hr, S_OK);  // a short transfer, not a failure
    EXPECT_EQ(r.responseCode, 0x2001u);
    const auto requests = readRequests();
    ASSERT_EQ(requests.size(), maxReadCommands);
    EXPECT_EQ(requests.front(), 262144u);
    EXPECT_EQ(requests.back(), 262144u);  // each one asks for the rest, as after any short read
    ASSERT_EQ(r.data.size(), maxReadCommands);
    for (std::size_t i = 0; i < r.data.size(); ++i)
        ASSERT_EQ(r.data[i], sim::generatedByte(i)) << i;
    EXPECT_EQ(commands(17).size(), 1u);
}

TEST_F(TransportTest, FailuresBeforeTheDataPhase)
{
    struct Case {
        const char* name;
        sim::Fault fault;
        HRESULT hr;
    };
    sim::Fault driver = sendFault(13);
    driver.driverResult = kGenFailure;
    sim::Fault delivery = sendFault(13);
    delivery.result = kDisconnected;
    sim::Fault noContext = sendFault(13);
    noContext.omit = sim::omitTransferContext;
    sim::Fault values;
    values.call = sim::Call::CreateValues;
    values.nth = 2;  // the first is the session's client information
    values.result = E_OUTOFMEMORY;
    sim::Fault collection;
    collection.call = sim::Call::CreateCollection;
    collection.result = E_OUTOFMEMORY;
    const Case cases[] = {
        {"driver's own result 0x8007001F at the execute step", driver, kGenFailure},
        {"SendCommand fails", delivery, kDisconnected},
        {"no transfer context", noContext, kNotFound},
        {"command set cannot be made", values, E_OUTOFMEMORY},
        {"parameter collection cannot be made", collection, E_OUTOFMEMORY},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CommandResult r = run(pattern(1000), {c.fault});
        EXPECT_EQ(r.hr, c.hr);
        EXPECT_EQ(r.responseCode, 0u);
        EXPECT_TRUE(r.data.empty());
        EXPECT_TRUE(commands(15).empty());
        EXPECT_TRUE(commands(17).empty());
    }
}

TEST_F(TransportTest, DriverFailureWithoutDataPhase)
{
    sim::Fault driver = sendFault(12);
    driver.driverResult = kGenFailure;
    const CommandResult r = run({}, {driver}, 0x2001, false);
    EXPECT_EQ(r.hr, kGenFailure);
    EXPECT_EQ(r.responseCode, 0u);
}

TEST_F(TransportTest, FailuresInTheDataPhaseStillEndTheTransfer)
{
    struct Case {
        const char* name;
        std::vector<sim::Fault> faults;
        HRESULT hr;
        std::uint32_t responseCode;
        std::size_t received;
    };
    sim::Fault readFails = sendFault(15, 2);
    readFails.result = kDisconnected;
    sim::Fault readDriverFails = sendFault(15, 2);
    readDriverFails.driverResult = kGenFailure;
    sim::Fault endFails = sendFault(17);
    endFails.result = kDisconnected;
    sim::Fault endDriverFails = sendFault(17);
    endDriverFails.driverResult = kGenFailure;
    sim::Fault readValues;  // client info, execute command, one read, then this read's set
    readValues.call = sim::Call::CreateValues;
    readValues.nth = 4;
    readValues.result = E_OUTOFMEMORY;
    sim::Fault endValues;  // client info, execute command, three reads, then the end command
    endValues.call = sim::Call::CreateValues;
    endValues.nth = 6;
    endValues.result = E_OUTOFMEMORY;
    const Case cases[] = {
        {"read-data SendCommand fails", {readFails}, kDisconnected, 0x2001, 262144},
        {"read-data driver result fails", {readDriverFails}, kGenFailure, 0x2001, 262144},
        {"read-data set cannot be made", {readValues}, E_OUTOFMEMORY, 0x2001, 262144},
        {"end-transfer fails after a good read", {endFails}, kDisconnected, 0, 600000},
        {"end-transfer driver result fails", {endDriverFails}, kGenFailure, 0, 600000},
        {"end-transfer set cannot be made", {endValues}, E_OUTOFMEMORY, 0, 600000},
        {"the first failure is the one kept", {readFails, endFails}, kDisconnected, 0, 262144},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CommandResult r = run(pattern(600000), c.faults);
        EXPECT_EQ(r.hr, c.hr);
        EXPECT_EQ(r.responseCode, c.responseCode);
        EXPECT_EQ(r.data.size(), c.received);
        // The end-transfer command goes out after every failure once the context exists,
        // unless its own set could not be made.
        EXPECT_EQ(commands(17).size(), c.hr == E_OUTOFMEMORY && c.received == 600000 ? 0u : 1u);
    }
}

TEST_F(TransportTest, MissingDriverResultCountsAsSuccess)
{
    sim::Fault omitted = sendFault(13);
    omitted.omit = sim::omitCommonHresult;
    const CommandResult r = run(pattern(10), {omitted}, 0x2001);
    EXPECT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.data, pattern(10));
}
