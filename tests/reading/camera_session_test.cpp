#include "device/camera_session.h"

#include "sim_fixture.h"

namespace {

constexpr std::int32_t kAccessDenied = static_cast<std::int32_t>(0x80070005);
constexpr std::int32_t kBusy = static_cast<std::int32_t>(0x800700AA);
constexpr std::int32_t kDisconnected = static_cast<std::int32_t>(0x8007048F);
constexpr std::uint32_t kGenericRead = 0x80000000;
constexpr wchar_t kRetryLine[] = L"Open with read/write access was denied, retrying read-only";

using SessionTest = SimTest;

std::vector<std::optional<std::uint32_t>> desiredAccesses()
{
    std::vector<std::optional<std::uint32_t>> out;
    for (const auto& r : sim::records(sim::Call::Open))
        out.push_back(r.client->desiredAccess);
    return out;
}

}  // namespace

TEST_F(SessionTest, OpenAnswers)
{
    struct Case {
        const char* name;
        std::int32_t readWrite;
        std::int32_t readOnly;
        HRESULT expected;
        std::vector<std::wstring> lines;
        std::vector<std::optional<std::uint32_t>> access;  // per Open call
    };
    const Case cases[] = {
        {"opens at once", S_OK, kAccessDenied, S_OK, {}, {std::nullopt}},
        {"read-only retry", kAccessDenied, S_OK, S_OK, {kRetryLine}, {std::nullopt, kGenericRead}},
        {"refused twice", kAccessDenied, kAccessDenied, kAccessDenied, {kRetryLine}, {std::nullopt, kGenericRead}},
        {"busy is not retried", kBusy, S_OK, kBusy, {}, {std::nullopt}},
        {"vanished is not retried", kDisconnected, S_OK, kDisconnected, {}, {std::nullopt}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto device = simDevice(L"\\\\?\\usb#cam", L"EOS", L"Canon Inc.");
        device.openReadWrite = c.readWrite;
        device.openReadOnly = c.readOnly;
        serve({{device}, {}});
        {
            CameraSession session(log);
            EXPECT_EQ(session.open(L"\\\\?\\usb#cam"), c.expected);
            EXPECT_TRUE(session.device);
        }
        EXPECT_EQ(lines, c.lines);
        EXPECT_EQ(desiredAccesses(), c.access);
        // Ending the session closes the device object, opened or not, and releases it.
        EXPECT_EQ(sim::records(sim::Call::Close).size(), 1u);
        EXPECT_EQ(sim::liveObjects(sim::ObjectKind::Device), 0);
    }
}

TEST_F(SessionTest, ClientInformation)
{
    auto device = simDevice(L"cam", L"EOS", L"Canon Inc.");
    device.openReadWrite = kAccessDenied;
    serve({{device}, {}});
    CameraSession session(log);
    ASSERT_EQ(session.open(L"cam"), S_OK);
    const auto opens = sim::records(sim::Call::Open);
    ASSERT_EQ(opens.size(), 2u);
    const sim::ClientInfo& first = *opens[0].client;
    EXPECT_EQ(first.name, L"Tallybrook");
    EXPECT_EQ(first.majorVersion, 0u);
    EXPECT_EQ(first.minorVersion, 1u);
    EXPECT_EQ(first.revision, 0u);
    EXPECT_EQ(first.securityQualityOfService, 0x20000u);
    EXPECT_EQ(first.keyOrder, (std::vector<std::uint32_t>{2, 3, 4, 5, 8}));
    EXPECT_EQ(first.otherKeys, 0u);
    // The retry uses the same set, with the desired access added.
    EXPECT_EQ(opens[1].client->keyOrder, (std::vector<std::uint32_t>{2, 3, 4, 5, 8, 9}));
}

TEST_F(SessionTest, CreationFailures)
{
    struct Case {
        const char* name;
        sim::Call call;
        bool deviceCreated;
    };
    const Case cases[] = {
        {"client information", sim::Call::CreateValues, false},
        {"device object", sim::Call::CreateDevice, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Fault fault;
        fault.call = c.call;
        fault.result = static_cast<std::int32_t>(0x80040154);
        serve({{simDevice(L"cam", L"EOS", L"Canon Inc.")}, {fault}});
        {
            CameraSession session(log);
            EXPECT_EQ(session.open(L"cam"), static_cast<HRESULT>(0x80040154));
            EXPECT_FALSE(session.device);
        }
        EXPECT_TRUE(sim::records(sim::Call::Open).empty());
        EXPECT_TRUE(sim::records(sim::Call::Close).empty());
        EXPECT_TRUE(lines.empty());
    }
}
