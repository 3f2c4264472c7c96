#include "canon_eos_camera.h"

#include "eos_events.h"

namespace sim {

namespace {

// Settings an EOS body reports in its full batch. Beside the plain 16-byte values, a list of
// allowed values (another record type, which a reader skips) and a 1-byte value in a
// 13-byte record, after which nothing is 4-byte aligned: real bodies send both.
std::vector<std::uint8_t> ordinarySettings()
{
    const std::uint8_t isoChoices[] = {0x03, 0xD1, 0, 0,  3, 0, 0, 0,  3, 0, 0, 0,
                                       0x48, 0, 0, 0,     0x50, 0, 0, 0, 0x58, 0, 0, 0};
    const std::uint8_t oneByte[] = {0x01};
    return EosEventBuilder()
        .property(0xD101, 0x58)
        .property(0xD102, 0x6D)
        .property(0xD103, 0x48)
        .record(eosAllowedValuesRecord, isoChoices)
        .property(0xD105, 0x03)
        .propertyBytes(0xD11B, oneByte)
        .property(0xD106, 0x01)
        .property(0xD111, 0x64)
        .bytes();
}

}  // namespace

CanonEosCamera::CanonEosCamera() : CanonEosCamera(defaultDeviceInfo()) {}

CanonEosCamera::CanonEosCamera(DeviceInfoFields fields) : SimCamera(std::move(fields)) {}

DeviceInfoFields CanonEosCamera::defaultDeviceInfo()
{
    DeviceInfoFields f;
    f.operationsSupported = {0x1001, 0x1002, 0x1003, 0x1004, 0x1005, 0x1006, 0x1007, 0x1008, 0x1009, 0x100A,
                             0x100B, 0x100C, 0x100D, 0x1014, 0x1016, 0x101B, 0x9101, 0x9102, 0x9103, 0x9104,
                             0x9105, 0x9106, 0x9107, 0x9108, 0x9109, 0x910A, 0x910B, 0x910C, 0x910F, 0x9110,
                             0x9114, 0x9115, 0x9116, 0x9117, 0x911A, 0x911B, 0x9127, 0x9128, 0x9129};
    f.eventsSupported = {0x4001, 0x4002, 0x4003, 0x4004, 0x4005, 0x4006, 0x400C};
    f.devicePropertiesSupported = {0xD402, 0xD407, 0xD406, 0xD303, 0x5001};
    f.captureFormats = {0x3801, 0xB103};
    f.imageFormats = {0x3001, 0x3002, 0x3006, 0x300A, 0x3801, 0xB101, 0xB103};
    f.manufacturer = u"Canon Inc.";
    f.model = u"Canon EOS 80D";
    f.deviceVersion = u"3-1.0.3";
    f.serialNumber = u"0123456789abcdef0123456789abcdef";
    return f;
}

void CanonEosCamera::addProperty(unsigned batch, std::uint32_t code, std::uint32_t value)
{
    addRecord(batch, EosEventBuilder().property(code, value).bytes());
}

void CanonEosCamera::addRecord(unsigned batch, std::vector<std::uint8_t> record)
{
    std::lock_guard lock(mutex_);
    auto& records = added_[batch];
    records.insert(records.end(), record.begin(), record.end());
}

void CanonEosCamera::setBatch(unsigned batch, std::vector<std::uint8_t> bytes, std::uint16_t responseCode)
{
    std::lock_guard lock(mutex_);
    scripted_[batch] = {std::move(bytes), responseCode};
}

bool CanonEosCamera::remoteMode() const
{
    std::lock_guard lock(mutex_);
    return remoteMode_;
}

bool CanonEosCamera::eventMode() const
{
    std::lock_guard lock(mutex_);
    return eventMode_;
}

unsigned CanonEosCamera::batchesServed() const
{
    std::lock_guard lock(mutex_);
    return batchesServed_;
}

PtpReply CanonEosCamera::answer(std::uint16_t operationCode, const std::vector<std::uint32_t>& params)
{
    switch (operationCode) {
    case ptp::eosSetRemoteMode:
        if (params.empty())
            return {ptp::invalidParameter, {}};
        remoteMode_ = params[0] != 0;
        return {ptp::ok, {}};
    case ptp::eosSetEventMode:
        if (params.empty())
            return {ptp::invalidParameter, {}};
        eventMode_ = params[0] != 0;
        if (eventMode_)
            batchesServed_ = 0;
        return {ptp::ok, {}};
    case ptp::eosRequestDevicePropValue:
        if (params.empty())
            return {ptp::invalidParameter, {}};
        return {ptp::ok, {}};
    case ptp::eosGetEvent:
        return nextBatch();
    default:
        return {ptp::operationNotSupported, {}};
    }
}

PtpReply CanonEosCamera::nextBatch()
{
    // Outside event mode nothing is queued: the end record alone, and no batch is used up.
    if (!eventMode_)
        return {ptp::ok, eosEmptyBatch()};
    const unsigned batch = ++batchesServed_;
    if (const auto it = scripted_.find(batch); it != scripted_.end())
        return {it->second.responseCode, it->second.bytes};
    EosEventBuilder b;
    if (batch == 1)
        b.raw(ordinarySettings());
    if (const auto it = added_.find(batch); it != added_.end())
        b.raw(it->second);
    return {ptp::ok, std::move(b.end()).bytes()};
}

}  // namespace sim
