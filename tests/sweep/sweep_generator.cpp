// The seeded generator of the scenario sweep: device lists and their texts, open results,
// datasets, event batches, shot-count replies and faults at any call, drawn from one
// 64-bit seed so that a failing case can be run again from its number alone.

#include "sim/cameras/capture_file.h"
#include "sim/cameras/device_info_builder.h"
#include "sim/cameras/eos_events.h"
#include "sweep_case.h"

#include <map>
#include <random>
#include <sstream>

namespace sweep {
namespace {

class Rng {
public:
    explicit Rng(std::uint64_t seed) : g_(seed) {}
    std::uint64_t next() { return g_(); }
    std::uint32_t below(std::uint64_t n) { return n ? static_cast<std::uint32_t>(next() % n) : 0; }
    bool chance(unsigned percent) { return below(100) < percent; }
    template <typename T>
    const T& pick(const std::vector<T>& v) { return v[below(v.size())]; }

private:
    std::mt19937_64 g_;
};

const std::vector<std::int32_t>& failures()
{
    static const std::vector<std::int32_t> codes = {
        static_cast<std::int32_t>(0x80070005), static_cast<std::int32_t>(0x8007001F),
        static_cast<std::int32_t>(0x80070032), static_cast<std::int32_t>(0x800700AA),
        static_cast<std::int32_t>(0x8007048F), static_cast<std::int32_t>(0x80004001),
        static_cast<std::int32_t>(0x80004005), static_cast<std::int32_t>(0x8007000E),
        static_cast<std::int32_t>(0x80042002), static_cast<std::int32_t>(0x80070490),
        static_cast<std::int32_t>(0x80000000), static_cast<std::int32_t>(0xFFFFFFFF)};
    return codes;
}

std::int32_t failure(Rng& rng)
{
    if (rng.chance(10)) return static_cast<std::int32_t>(0x80000000u | rng.below(0x80000000u));
    return rng.pick(failures());
}

std::uint16_t responseCode(Rng& rng, unsigned okPercent)
{
    if (rng.chance(okPercent)) return 0x2001;
    static const std::vector<std::uint16_t> codes = {0x2002, 0x2005, 0x200A, 0x2019, 0x201D, 0x0000, 0xFFFF};
    return rng.pick(codes);
}

std::vector<std::uint8_t> capture(const std::string& name)
{
    static std::map<std::string, std::vector<std::uint8_t>> cache;
    auto it = cache.find(name);
    if (it == cache.end())
        it = cache.emplace(name, sim::loadCapture(sim::defaultCapturesDir() / name).value_or(std::vector<std::uint8_t>{}))
                 .first;
    return it->second;
}

std::vector<std::uint8_t> randomBytes(Rng& rng, std::size_t n)
{
    std::vector<std::uint8_t> b(n);
    for (auto& x : b) x = static_cast<std::uint8_t>(rng.next());
    return b;
}

// --- Device texts, as the service reports them ---------------------------------------------

std::wstring longText(Rng& rng)
{
    std::wstring t;
    const std::size_t n = 255 + rng.below(3000);
    while (t.size() < n) t += L"Long name \u00E9\u65E5 ";
    return t;
}

std::wstring dress(Rng& rng, std::wstring text)
{
    switch (rng.below(12)) {
    case 0: return {};
    case 1: return longText(rng) + text;
    case 2:  // accents, CJK, full-width, Greek; then line breaks, an escape, NEL, a separator, an override
        return text + L" \u00E9\u00F1\u65E5\u672C\uFF23\uFF41\u03A9 \r\n\t\x1B\u0085\u2028\u202E";
    case 3: return text + L" \U0001F4F7";                                  // a surrogate pair
    case 4: return text + std::wstring(1, L'\0') + L"Canon FUJIFILM Nikon";  // the text ends at the zero
    case 5: return std::wstring(1, L'\0') + text;
    default: return text;
    }
}

enum class Kind { Canon, Fujifilm, OtherBrand, NotACamera };

sim::DeviceSpec deviceSpec(Rng& rng, Kind kind, std::size_t index)
{
    static const std::vector<std::wstring> canonMakers = {L"Canon Inc.", L"CANON", L"canon", L"", L"Canon"};
    static const std::vector<std::wstring> canonNames = {L"Canon EOS 80D", L"EOS R5", L"", L"EOS Kiss X10i",
                                                         L"canon eos m50"};
    static const std::vector<std::wstring> fujiMakers = {L"FUJIFILM", L"Fujifilm Corporation", L"fuji", L""};
    static const std::vector<std::wstring> fujiNames = {L"X-T3", L"FUJIFILM X-H1", L"Fuji X100V", L""};
    static const std::vector<std::wstring> otherMakers = {L"Nikon Corporation", L"SONY", L"Pentax", L"RICOH IMAGING",
                                                          L"Sony Corporation"};
    static const std::vector<std::wstring> otherNames = {L"D850", L"ILCE-7M3", L"Z 6", L"GR III", L"Nikon Z f"};
    static const std::vector<std::wstring> plainMakers = {L"Apple Inc.", L"Samsung Electronics", L"", L"Microsoft",
                                                          L"Garmin"};
    static const std::vector<std::wstring> plainNames = {L"iPhone", L"Galaxy S21", L"Zune", L"", L"Forerunner"};
    sim::DeviceSpec d;
    d.id = L"\\\\?\\usb#vid_" + std::to_wstring(1000 + rng.below(9000)) + L"#" + std::to_wstring(index) +
           (rng.chance(10) ? L"#\u00E9\u65E5" : L"");
    switch (kind) {
    case Kind::Canon:
        d.manufacturer = rng.pick(canonMakers);
        d.friendlyName = rng.pick(canonNames);
        break;
    case Kind::Fujifilm:
        d.manufacturer = rng.pick(fujiMakers);
        d.friendlyName = rng.pick(fujiNames);
        break;
    case Kind::OtherBrand:
        d.manufacturer = rng.pick(otherMakers);
        d.friendlyName = rng.pick(otherNames);
        break;
    case Kind::NotACamera:
        d.manufacturer = rng.pick(plainMakers);
        d.friendlyName = rng.pick(plainNames);
        break;
    }
    d.manufacturer = dress(rng, d.manufacturer);
    d.friendlyName = dress(rng, d.friendlyName);
    d.description = dress(rng, rng.chance(50) ? L"Camera" : L"Portable device");
    const auto openResult = [&]() -> std::int32_t {
        if (rng.chance(85)) return 0;
        if (rng.chance(15)) return 1;  // S_FALSE: a success all the same
        return failure(rng);
    };
    d.openReadWrite = openResult();
    d.openReadOnly = rng.chance(50) ? 0 : openResult();
    return d;
}

// --- Camera bytes --------------------------------------------------------------------------

std::u16string units(Rng& rng)
{
    static const std::vector<char16_t> odd = {0x00E9, 0x65E5, 0xD83D, 0xDCF7, 0xFFFF, 0x0080, 0x00FF,
                                              0x0000, 0x0001, 0x0009, 0x000A, 0x000D, 0x001B, 0x007F};
    std::u16string t;
    const std::size_t n = rng.chance(5) ? 200 + rng.below(60) : rng.below(24);
    const unsigned oddPercent = rng.chance(20) ? 30 : 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (rng.chance(oddPercent)) t.push_back(rng.pick(odd));
        else t.push_back(static_cast<char16_t>(0x20 + rng.below(0x5F)));  // printable ASCII
    }
    return t;
}

std::vector<std::uint16_t> codeList(Rng& rng, std::vector<std::uint16_t> must, std::uint16_t wanted, unsigned percent)
{
    if (rng.chance(percent)) must.push_back(wanted);
    const std::size_t extra = rng.chance(3) ? 4096 - must.size() - rng.below(2) : rng.below(40);
    for (std::size_t i = 0; i < extra; ++i) must.push_back(static_cast<std::uint16_t>(0x1000 + rng.below(0xC000)));
    for (std::size_t i = must.size(); i > 1; --i) std::swap(must[i - 1], must[rng.below(i)]);
    return must;
}

std::vector<std::uint8_t> deviceInfo(Rng& rng, bool canonLike)
{
    switch (rng.below(20)) {
    case 0: return {};
    case 1: return randomBytes(rng, rng.below(120));
    case 2:
    case 3: {
        auto b = capture(canonLike ? "di_canon_eos60d.hex" : "di_fuji_xh1.hex");
        if (rng.chance(50)) b.resize(rng.below(b.size() + 1));
        return b;
    }
    default: break;
    }
    sim::DeviceInfoFields f;
    f.vendorExtensionDesc = rng.chance(30) ? u"fujifilm.co.jp: 1.0; " : u"";
    f.operationsSupported = codeList(rng, {0x1001, 0x1002, 0x9114, 0x9115, 0x9127}, 0x9116, canonLike ? 90 : 5);
    f.eventsSupported = codeList(rng, {0x4002}, 0x4006, 50);
    f.devicePropertiesSupported = codeList(rng, {0x5001}, 0xD310, canonLike ? 5 : 85);
    f.captureFormats = codeList(rng, {}, 0x3801, 50);
    f.imageFormats = codeList(rng, {}, 0x3801, 50);
    f.manufacturer = canonLike ? u"Canon Inc." : u"FUJIFILM";
    if (rng.chance(30)) f.manufacturer = units(rng);
    f.model = units(rng);
    f.deviceVersion = units(rng);
    f.serialNumber = units(rng);
    if (rng.chance(6)) {
        const auto list = static_cast<sim::DeviceInfoList>(rng.below(5));
        f.announcedCounts[list] = 4097 + rng.below(rng.chance(50) ? 10 : 0x7FFFFFFF);
    }
    if (rng.chance(10)) f.trailingBytes = randomBytes(rng, 1 + rng.below(40));
    auto bytes = sim::buildDeviceInfo(f);
    if (rng.chance(12)) bytes.resize(rng.below(bytes.size()));
    return bytes;
}

std::uint32_t counterValue(Rng& rng)
{
    switch (rng.below(6)) {
    case 0: return 0;
    case 1: return 0x80000000u + rng.below(0x80000000u);  // 2^31 and more: never negative
    case 2: return 0xFFFFFFFFu;
    default: return 1 + rng.below(500000);
    }
}

// One GetEvent reply. Counters may stand anywhere: first, last, after the end record, after
// a broken record, in a record of the wrong width.
sim::PtpReply eventReply(Rng& rng, CameraScript& script)
{
    sim::PtpReply reply;
    reply.responseCode = responseCode(rng, 90);
    switch (rng.below(20)) {
    case 0: return reply;  // no data at all
    case 1: reply.data = randomBytes(rng, rng.below(8)); return reply;
    case 2: reply.data = randomBytes(rng, rng.below(300)); return reply;
    case 3:
    case 4: {
        static const std::vector<std::string> names = {"ev_canon_eos5dmk3_initial.hex", "ev_canon_eosm50_initial.hex",
                                                       "ev_canon_eos1300d_vcam_with_trailing.hex",
                                                       "ev_canon_eos60d_empty.hex"};
        const std::string& name = rng.pick(names);
        reply.data = capture(name);
        if (rng.chance(30)) reply.data.resize(rng.below(reply.data.size() + 1));
        if (name == names[0]) script.plainCounters.insert({0xD1AC, 52754});
        if (name == names[2]) script.plainCounters.insert({0xD1AC, 39337});
        return reply;
    }
    default: break;
    }
    sim::EosEventBuilder b;
    const unsigned items = rng.below(rng.chance(10) ? 200 : 12);
    for (unsigned i = 0; i < items; ++i) {
        switch (rng.below(20)) {
        case 0:
        case 1:
        case 2: {
            const std::uint32_t code = rng.chance(50) ? 0xD1AC : 0xD167;
            const std::uint32_t value = counterValue(rng);
            b.property(code, value);
            script.plainCounters.insert({code, value});
            break;
        }
        case 3: {  // a counter code with a value that is not one 32-bit number
            static const std::vector<std::size_t> widths = {0, 1, 2, 3, 5, 8, 16};
            b.propertyBytes(rng.chance(50) ? 0xD1AC : 0xD167, randomBytes(rng, rng.pick(widths)));
            break;
        }
        case 4: b.record(0xC18A, randomBytes(rng, rng.below(40))); break;
        case 5: b.record(0xC180 + rng.below(32), randomBytes(rng, rng.below(24))); break;
        case 6: b.header(8 + rng.below(8), 0xC189).raw(randomBytes(rng, rng.below(8))); break;  // short value record
        case 7:
            if (rng.chance(25)) b.end();
            else if (rng.chance(50)) b.header(rng.below(8), 0xC189);                          // size below 8
            else b.header(rng.chance(50) ? 0xFFFFFFFFu : 0x10000 + rng.below(0x10000), 0xC189);  // past the end
            break;
        default: {
            const std::uint32_t code = 0xD100 + rng.below(0x100);  // now and then a counter's code
            const auto value = static_cast<std::uint32_t>(rng.next());
            b.property(code, value);
            if (code == 0xD1AC || code == 0xD167) script.plainCounters.insert({code, value});
            break;
        }
        }
    }
    if (rng.chance(85)) b.end();
    if (rng.chance(10)) b.raw(randomBytes(rng, 1 + rng.below(120)));
    reply.data = std::move(b).bytes();
    if (rng.chance(10)) reply.data.resize(rng.below(reply.data.size() + 1));
    return reply;
}

CameraScript cameraScript(Rng& rng, bool canonLike)
{
    CameraScript s;
    s.deviceInfo.responseCode = responseCode(rng, 90);
    s.deviceInfo.data = deviceInfo(rng, canonLike);
    s.remoteModeCode = responseCode(rng, 85);
    s.eventModeCode = responseCode(rng, 85);
    s.requestCode = responseCode(rng, 85);
    const unsigned replies = rng.below(8);
    for (unsigned i = 0; i < replies; ++i) s.events.push_back(eventReply(rng, s));
    s.shotCount.responseCode = responseCode(rng, 80);
    switch (rng.below(5)) {
    case 0: s.shotCount.data = randomBytes(rng, rng.below(9)); break;
    case 1: s.shotCount.data = {}; break;
    default: {
        const std::uint32_t count = rng.chance(10) ? 0 : rng.below(0x10000);
        s.shotCount.data = {static_cast<std::uint8_t>(rng.next()), 0, static_cast<std::uint8_t>(count),
                            static_cast<std::uint8_t>(count >> 8)};
        if (rng.chance(20)) s.shotCount.data.resize(rng.below(4));
        if (rng.chance(20)) s.shotCount.data.push_back(0x77);
    }
    }
    return s;
}

// --- Faults --------------------------------------------------------------------------------

sim::Fault fault(Rng& rng, const Case& c)
{
    sim::Fault f;
    static const std::vector<std::uint16_t> ops = {0x1001, 0x9114, 0x9115, 0x9127, 0x9116, 0x1015};
    const auto anyDevice = [&]() -> std::wstring {
        if (c.scenario.devices.empty() || rng.chance(50)) return {};
        return c.scenario.devices[rng.below(c.scenario.devices.size())].id;
    };
    switch (rng.below(24)) {
    case 0: f.call = sim::Call::CreateManager; f.result = failure(rng); break;
    case 1: f.call = sim::Call::CreateDevice; f.result = failure(rng); break;
    case 2: f.call = sim::Call::CreateValues; f.result = failure(rng); f.nth = 1 + rng.below(40); break;
    case 3: f.call = sim::Call::CreateCollection; f.result = failure(rng); f.nth = 1 + rng.below(14); break;
    case 4: f.call = sim::Call::RefreshDeviceList; f.result = failure(rng); break;
    case 5:
        f.call = sim::Call::GetDevices;
        f.nth = rng.below(3);
        if (rng.chance(50)) f.result = failure(rng);
        else f.count = rng.chance(10) ? 1000 + rng.below(60000) : rng.below(8);
        break;
    case 6: {
        static const std::vector<sim::Call> texts = {sim::Call::GetDeviceFriendlyName, sim::Call::GetDeviceManufacturer,
                                                     sim::Call::GetDeviceDescription};
        f.call = rng.pick(texts);
        f.device = anyDevice();
        f.nth = rng.below(3);
        if (rng.chance(40)) f.result = failure(rng);
        else f.count = rng.chance(50) ? rng.below(4) : 4000 + rng.below(60000);
        break;
    }
    case 7: f.call = sim::Call::Open; f.device = anyDevice(); f.nth = rng.below(3); f.result = failure(rng); break;
    case 8: f.call = sim::Call::Close; f.result = failure(rng); break;
    default: {
        f.call = sim::Call::SendCommand;
        if (rng.chance(80)) f.operation = rng.pick(ops);
        static const std::vector<std::uint32_t> commands = {12, 13, 15, 17};
        if (rng.chance(80)) f.command = rng.pick(commands);
        f.nth = rng.below(4);
        switch (rng.below(9)) {
        case 0: f.result = failure(rng); break;
        case 1: f.result = 1; break;  // S_FALSE
        case 2: f.driverResult = failure(rng); break;
        case 3: f.responseCode = responseCode(rng, 30); break;
        case 4: f.omit = 1u << rng.below(7); break;
        case 5: {
            const unsigned pick = rng.below(10);
            f.totalSize = pick == 0 ? 40000000 : pick < 4 ? rng.below(16) : rng.below(20000);
            break;
        }
        case 6: f.served = rng.below(2) ? 0 : 1 + rng.below(600); break;
        case 7: f.bytesRead = rng.chance(30) ? 0 : rng.chance(50) ? 0xFFFFFFFFu : 1 + rng.below(600); break;
        default: f.driverResult = 1; break;
        }
        // A few bytes per read over a whole 32 MB transfer would be millions of commands.
        if (f.served && *f.served > 0 && f.nth == 0) f.served = *f.served + 4096;
        break;
    }
    }
    return f;
}

}  // namespace

Case generate(std::uint64_t seed)
{
    Rng rng(seed);
    Case c;
    c.seed = seed;
    const unsigned n = rng.chance(5) ? 0 : 1 + rng.below(rng.chance(10) ? 12 : 4);
    for (unsigned i = 0; i < n; ++i) {
        const auto kind = static_cast<Kind>(rng.below(4));
        c.scenario.devices.push_back(deviceSpec(rng, kind, i));
        const bool canonLike = kind == Kind::Canon ? !rng.chance(10) : kind == Kind::Fujifilm ? rng.chance(10)
                                                                                             : rng.chance(50);
        if (rng.chance(kind == Kind::Canon || kind == Kind::Fujifilm ? 92 : 30))
            c.cameras.push_back(cameraScript(rng, canonLike));
        else
            c.cameras.push_back(std::nullopt);
    }
    const unsigned faults = rng.chance(35) ? 0 : 1 + rng.below(3);
    for (unsigned i = 0; i < faults; ++i) c.scenario.faults.push_back(fault(rng, c));
    // The service's undocumented corners, either way (drawn last, so the cases above keep
    // their seeds).
    c.scenario.rules.readOnlyCommands = rng.chance(50);
    c.scenario.rules.responseParamsNever = rng.chance(30);
    c.scenario.rules.unknownTotalSize = rng.chance(30);
    return c;
}

std::string describe(const Case& c)
{
    std::ostringstream out;
    out << "seed " << c.seed << ": " << c.scenario.devices.size() << " devices";
    for (std::size_t i = 0; i < c.scenario.devices.size(); ++i) {
        const auto& d = c.scenario.devices[i];
        out << "\n  device " << i + 1 << " manufacturer of " << d.manufacturer.size() << " chars, name of "
            << d.friendlyName.size() << " chars, open " << std::hex << d.openReadWrite << "/" << d.openReadOnly
            << std::dec;
        if (const auto& cam = c.cameras[i]) {
            out << "; camera: dataset " << cam->deviceInfo.data.size() << " bytes (0x" << std::hex
                << cam->deviceInfo.responseCode << std::dec << "), " << cam->events.size() << " event replies (";
            for (const auto& e : cam->events) out << e.data.size() << " ";
            out << "bytes), D310 reply of " << cam->shotCount.data.size() << " bytes";
        }
    }
    out << "\n  read-only commands " << (c.scenario.rules.readOnlyCommands ? "allowed" : "refused")
        << ", response parameters " << (c.scenario.rules.responseParamsNever ? "never" : "when OK") << ", total size "
        << (c.scenario.rules.unknownTotalSize ? "unknown" : "known");
    for (const auto& f : c.scenario.faults) {
        out << "\n  fault " << sim::callName(f.call) << " nth " << f.nth;
        if (f.command) out << " command " << *f.command;
        if (f.operation) out << " op 0x" << std::hex << *f.operation << std::dec;
        if (f.result) out << " result 0x" << std::hex << static_cast<std::uint32_t>(*f.result) << std::dec;
        if (f.driverResult) out << " driver 0x" << std::hex << static_cast<std::uint32_t>(*f.driverResult) << std::dec;
        if (f.responseCode) out << " response 0x" << std::hex << *f.responseCode << std::dec;
        if (f.omit) out << " omit " << f.omit;
        if (f.totalSize) out << " total " << *f.totalSize;
        if (f.served) out << " served " << *f.served;
        if (f.bytesRead) out << " bytesRead " << *f.bytesRead;
        if (f.count) out << " count " << *f.count;
    }
    return out.str();
}

}  // namespace sweep
