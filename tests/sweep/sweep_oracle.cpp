// What a correct readCamera gives for a scenario, worked out step by step from the
// scenario: the faults counted as the simulated service counts them, each camera answering
// from its script, and the camera's bytes read with a decoder and a record walk of the tests'
// own.

#include "sweep_case.h"

#include <algorithm>
#include <map>

namespace sweep {
namespace {

constexpr std::int32_t kAccessDenied = static_cast<std::int32_t>(0x80070005);
constexpr std::int32_t kBusy = static_cast<std::int32_t>(0x800700AA);
constexpr std::int32_t kNotImpl = static_cast<std::int32_t>(0x80004001);
constexpr std::int32_t kNotSupported = static_cast<std::int32_t>(0x80070032);
constexpr std::int32_t kNotFound = static_cast<std::int32_t>(0x80070490);
constexpr std::int32_t kTransactionOpen = kBusy;  // the driver's answer while a data phase is open
constexpr std::uint64_t kChunk = 0x40000;
constexpr std::uint64_t kCap = 0x2000000;
constexpr unsigned kMaxReads = 1024;

bool failed(std::int32_t hr) { return hr < 0; }

std::wstring lower(std::wstring_view text)
{
    std::wstring out(text);
    for (auto& c : out)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return out;
}

bool contains(std::wstring_view text, std::wstring_view needle)
{
    return lower(text).find(needle) != std::wstring::npos;
}

// A device text as the log and the messages show it: characters that would break or reorder a
// line (C0 and C1 controls, DEL, line and paragraph separators, direction embeddings, overrides
// and isolates) and surrogate halves without their partner each become "?".
std::wstring shown(std::wstring_view text)
{
    std::wstring out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned c = static_cast<std::uint16_t>(text[i]);
        const bool high = c >= 0xD800 && c < 0xDC00, low = c >= 0xDC00 && c < 0xE000;
        if (high && i + 1 < text.size() && static_cast<std::uint16_t>(text[i + 1]) >= 0xDC00 &&
            static_cast<std::uint16_t>(text[i + 1]) < 0xE000) {
            out += text.substr(i++, 2);
            continue;
        }
        const bool breaks = c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029 ||
                            (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
        out += breaks || high || low ? L'?' : text[i];
    }
    return out;
}

// The fault list as the simulated service applies it: every matching call counts, the faults
// whose turn it is merge in order.
class Faults {
public:
    explicit Faults(const std::vector<sim::Fault>& faults) : faults_(faults), hits_(faults.size(), 0) {}

    sim::Fault effect(sim::Call call, const std::wstring& device = {}, std::optional<std::uint32_t> command = {},
                      std::optional<std::uint16_t> operation = {})
    {
        sim::Fault merged;
        merged.call = call;
        for (std::size_t i = 0; i < faults_.size(); ++i) {
            const sim::Fault& f = faults_[i];
            if (f.call != call || (!f.device.empty() && f.device != device)) continue;
            if (f.command && f.command != command) continue;
            if (f.operation && f.operation != operation) continue;
            const unsigned n = ++hits_[i];
            if (f.nth != 0 && f.nth != n) continue;
            if (f.result) merged.result = f.result;
            if (f.driverResult) merged.driverResult = f.driverResult;
            if (f.responseCode) merged.responseCode = f.responseCode;
            merged.omit |= f.omit;
            if (f.totalSize) merged.totalSize = f.totalSize;
            if (f.served) merged.served = f.served;
            if (f.bytesRead) merged.bytesRead = f.bytesRead;
            if (f.count) merged.count = f.count;
        }
        return merged;
    }

    // A CoCreateInstance: its failure, or 0.
    std::int32_t create(sim::Call call)
    {
        const sim::Fault f = effect(call);
        return f.result && failed(*f.result) ? *f.result : 0;
    }

private:
    const std::vector<sim::Fault>& faults_;
    std::vector<unsigned> hits_;
};

struct Outcome {
    std::int32_t hr = 0;
    std::uint32_t responseCode = 0;
    std::vector<std::uint8_t> data;
};

// One open device: the camera script it answers from and the transport to it. The service
// answers as Windows does: nothing on a read-only connection unless the scenario lets
// commands through, one transaction at a time, a data phase of unknown size ending with its
// first short chunk.
class Link {
public:
    Link(Faults& faults, const std::wstring& device, const std::optional<CameraScript>& camera,
         const sim::ServiceRules& rules, bool readOnly)
        : faults_(faults), device_(device), camera_(camera), rules_(rules),
          refused_(readOnly && !rules.readOnlyCommands)
    {
    }

    Outcome operation(std::uint16_t op, std::vector<std::uint32_t> params, bool dataIn)
    {
        Outcome out;
        if (const auto hr = faults_.create(sim::Call::CreateValues)) return out.hr = hr, out;
        if (const auto hr = faults_.create(sim::Call::CreateCollection)) return out.hr = hr, out;
        if (refused_) return out.hr = kAccessDenied, out;  // before any fault counts it
        const std::uint32_t command = dataIn ? 13 : 12;
        const sim::Fault f = faults_.effect(sim::Call::SendCommand, device_, command, op);
        if (f.result && failed(*f.result)) return out.hr = *f.result, out;

        // What the results set holds (the driver's result is always put in, unless left out).
        std::int32_t driver = 0;
        std::optional<std::uint32_t> response;
        bool transfer = false;
        std::vector<std::uint8_t> data;
        std::uint64_t total = 0;
        std::uint16_t cameraResponse = 0;
        if (f.driverResult && failed(*f.driverResult)) {
            driver = *f.driverResult;  // never reached the camera
        } else if (transferOpen_) {
            driver = kTransactionOpen;  // an earlier data phase was never ended
        } else {
            const sim::PtpReply reply = run(op, params, dataIn);
            if (!dataIn) {
                response = f.responseCode.value_or(reply.responseCode);
            } else {
                transfer = true;
                transferOpen_ = true;
                total = f.totalSize.value_or(reply.data.size());
                data = reply.data;
                if (data.size() > total) data.resize(static_cast<std::size_t>(total));
                cameraResponse = reply.responseCode;
            }
        }
        if (f.omit & sim::omitCommonHresult) driver = 0;  // a results set without it counts as success
        if (f.omit & sim::omitResponseCode) response.reset();
        const bool context = transfer && !(f.omit & sim::omitTransferContext);
        const bool totalKnown = transfer && !(f.omit & sim::omitTotalDataSize);
        const std::uint64_t announced = rules_.unknownTotalSize ? sim::kUnknownTotalSize : total;

        if (failed(driver)) return out.hr = driver, out;
        if (!dataIn) {
            out.responseCode = response.value_or(0);
            return out;
        }
        if (!context) return out.hr = kNotFound, out;

        // The data phase.
        const bool sizeUnknown = totalKnown && announced == sim::kUnknownTotalSize;
        const std::uint64_t want = std::min<std::uint64_t>(totalKnown ? announced : 0, kCap);
        std::uint64_t offset = 0;  // the service's position in the transfer
        bool ended = false;        // unknown size: the service has served a short chunk
        for (unsigned reads = 0; out.data.size() < want && reads < kMaxReads; ++reads) {
            const auto chunk = static_cast<std::uint32_t>(std::min<std::uint64_t>(want - out.data.size(), kChunk));
            if (const auto hr = faults_.create(sim::Call::CreateValues)) {
                out.hr = hr;
                break;
            }
            const sim::Fault r = faults_.effect(sim::Call::SendCommand, device_, 15, op);
            if (r.result && failed(*r.result)) {
                out.hr = *r.result;
                break;
            }
            std::int32_t readDriver = 0;
            std::uint32_t bytesRead = 0;
            std::optional<std::vector<std::uint8_t>> buffer;
            if (r.driverResult && failed(*r.driverResult)) {
                readDriver = *r.driverResult;
            } else if (ended) {
                readDriver = sim::kReadPastEnd;
            } else {
                std::uint64_t n = std::min<std::uint64_t>(chunk, total - offset);
                if (r.served) n = std::min<std::uint64_t>(n, *r.served);
                std::vector<std::uint8_t> piece(static_cast<std::size_t>(n));
                for (std::size_t i = 0; i < piece.size(); ++i) {
                    const std::uint64_t at = offset + i;
                    piece[i] = at < data.size() ? data[static_cast<std::size_t>(at)] : sim::generatedByte(at);
                }
                offset += n;
                ended = rules_.unknownTotalSize && n < chunk;
                bytesRead = r.bytesRead.value_or(static_cast<std::uint32_t>(n));
                if (n != 0) buffer = std::move(piece);  // no zero-length buffers
            }
            if (r.omit & sim::omitCommonHresult) readDriver = 0;
            if (r.omit & sim::omitNumBytesRead) bytesRead = 0;  // a missing count reads as 0
            if (r.omit & sim::omitTransferData) buffer.reset();
            if (failed(readDriver)) {
                out.hr = readDriver;
                break;
            }
            if (!buffer) break;
            const std::uint32_t size = static_cast<std::uint32_t>(buffer->size());
            const std::uint32_t read = bytesRead;
            const std::uint32_t taken = std::min(read != 0 && read <= size ? read : size, chunk);
            if (taken == 0) break;
            out.data.insert(out.data.end(), buffer->begin(), buffer->begin() + taken);
            if (sizeUnknown && taken < chunk) break;
        }

        // End of the transfer; its response is the operation's.
        std::int32_t endHr = faults_.create(sim::Call::CreateValues);
        std::optional<std::uint32_t> endResponse;
        if (!failed(endHr)) {
            const sim::Fault e = faults_.effect(sim::Call::SendCommand, device_, 17, op);
            if (e.result && failed(*e.result)) {
                endHr = *e.result;
            } else {
                transferOpen_ = false;  // even a failing driver ends it
                std::int32_t endDriver = 0;
                if (e.driverResult && failed(*e.driverResult))
                    endDriver = *e.driverResult;
                else
                    endResponse = e.responseCode.value_or(cameraResponse);
                if (e.omit & sim::omitCommonHresult) endDriver = 0;
                if (e.omit & sim::omitResponseCode) endResponse.reset();
                if (failed(endDriver)) endHr = endDriver;
            }
        }
        if (failed(endHr)) {
            if (!failed(out.hr)) out.hr = endHr;
        } else {
            out.responseCode = endResponse.value_or(0);
        }
        return out;
    }

private:
    sim::PtpReply run(std::uint16_t op, const std::vector<std::uint32_t>& params, bool dataIn)
    {
        if (!camera_) return {0x2005, {}};
        // The same answers as ScriptedCamera::execute, worked out here on a copy of the script.
        ScriptedCamera& camera = scripted();
        return camera.execute(op, params, dataIn);
    }

    ScriptedCamera& scripted()
    {
        if (!instance_) instance_ = std::make_unique<ScriptedCamera>(*camera_);
        return *instance_;
    }

    Faults& faults_;
    std::wstring device_;
    const std::optional<CameraScript>& camera_;
    const sim::ServiceRules& rules_;
    const bool refused_;
    bool transferOpen_ = false;
    std::unique_ptr<ScriptedCamera> instance_;
};

// The DeviceInfo dataset, decoded as the tests read the contract.
struct Info {
    bool ok = false;
    std::vector<std::uint16_t> operations, properties;
    std::string manufacturer, model, version, serial;
};

class Bytes {
public:
    explicit Bytes(const std::vector<std::uint8_t>& b) : b_(b) {}
    bool bad = false;
    std::uint64_t take(int width)
    {
        if (b_.size() - pos_ < static_cast<std::size_t>(width)) {
            bad = true;
            pos_ = b_.size();
            return 0;
        }
        std::uint64_t v = 0;
        for (int i = 0; i < width; ++i) v |= std::uint64_t{b_[pos_ + i]} << (8 * i);
        pos_ += width;
        return v;
    }
    std::string text()
    {
        if (pos_ == b_.size()) {
            bad = true;
            return {};
        }
        const unsigned units = b_[pos_++];
        std::string out;
        for (unsigned i = 0; i < units && !bad; ++i) {
            const auto unit = take(2);
            if (bad) break;
            if (unit == 0) continue;
            out.push_back(unit >= 0x20 && unit < 0x7F ? static_cast<char>(unit) : '?');
        }
        return out;
    }
    std::vector<std::uint16_t> list()
    {
        const auto count = take(4);
        std::vector<std::uint16_t> out;
        if (bad && count == 0) return out;
        if (count > 4096) {
            bad = true;
            return out;
        }
        for (std::uint64_t i = 0; i < count && !bad; ++i) out.push_back(static_cast<std::uint16_t>(take(2)));
        return out;
    }

private:
    const std::vector<std::uint8_t>& b_;
    std::size_t pos_ = 0;
};

Info decodeInfo(const std::vector<std::uint8_t>& data)
{
    Info info;
    Bytes in(data);
    in.take(4);
    in.take(4);
    in.text();
    in.take(2);
    info.operations = in.list();
    in.list();
    info.properties = in.list();
    in.list();
    in.list();
    info.manufacturer = in.text();
    info.model = in.text();
    info.version = in.text();
    info.serial = in.text();
    info.ok = !in.bad;
    return info;
}

struct Value {
    std::uint32_t value;
    std::uint32_t recordSize;
};

// The EOS record walk: records that lie whole in the data, up to the first end or bad one.
int walk(const std::vector<std::uint8_t>& b, std::map<std::uint32_t, Value>& map)
{
    const auto word = [&](std::uint64_t at) {
        return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 |
               std::uint32_t{b[at + 3]} << 24;
    };
    int taken = 0;
    for (std::uint64_t at = 0; at + 8 <= b.size();) {
        const std::uint64_t size = word(at);
        const std::uint32_t type = word(at + 4);
        if (size < 8 || type == 0 || at + size > b.size()) break;
        if (type == 0xC189 && size >= 16) {
            map[word(at + 8)] = Value{word(at + 12), static_cast<std::uint32_t>(size)};
            ++taken;
        }
        at += size;
    }
    return taken;
}

std::optional<std::uint32_t> plain(const std::map<std::uint32_t, Value>& map, std::uint32_t code)
{
    const auto it = map.find(code);
    if (it == map.end() || it->second.recordSize != 16) return std::nullopt;
    return it->second.value;
}

std::wstring widenText(const std::string& s) { return std::wstring(s.begin(), s.end()); }

const std::wstring kSupport = L"support@tallybrook.app";
const std::wstring kSite = L"tallybrook.app";

Reading canon(Link& link, const Info& info, std::vector<std::wstring>& log, unsigned& pauses)
{
    Reading reading;
    if (std::find(info.operations.begin(), info.operations.end(), 0x9116) == info.operations.end()) {
        reading.message = L"This Canon doesn't offer the EOS event channel, so it can't report a shutter count over USB.";
        log.push_back(L"EOS event channel (0x9116): not listed");
        return reading;
    }
    const struct {
        const wchar_t* prefix;
        std::uint16_t op;
        std::uint32_t param;
    } setup[] = {{L"SetRemoteMode(1) -> ", 0x9114, 1},
                 {L"SetEventMode(1) -> ", 0x9115, 1},
                 {L"RequestDevicePropValue(D1AC) -> ", 0x9127, 0xD1AC}};
    for (const auto& s : setup) {
        const Outcome r = link.operation(s.op, {s.param}, false);
        log.push_back(s.prefix + hex(r.responseCode, 4) + (failed(r.hr) ? L" error " + phrase(r.hr) : L""));
    }
    std::map<std::uint32_t, Value> map;
    for (int k = 1; k <= 6; ++k) {
        const Outcome r = link.operation(0x9116, {}, true);
        if (failed(r.hr)) {
            log.push_back(L"GetEvent failed: " + phrase(r.hr));
            break;
        }
        const int n = walk(r.data, map);
        log.push_back(L"GetEvent #" + std::to_wstring(k) + L": " + std::to_wstring(r.data.size()) + L" bytes, " +
                      std::to_wstring(n) + L" property values");
        if (plain(map, 0xD1AC) && k >= 2) break;
        ++pauses;
    }
    link.operation(0x9115, {0}, false);
    link.operation(0x9114, {0}, false);
    for (const auto& [code, name] : {std::pair{0xD1ACu, L"D1AC ShutterCounter: "},
                                     std::pair{0xD167u, L"D167 ShutterReleaseCounter: "}}) {
        const auto it = map.find(code);
        if (it == map.end())
            log.push_back(std::wstring(name) + L"not sent");
        else if (it->second.recordSize != 16)
            log.push_back(std::wstring(name) + L"not a count (" + std::to_wstring(it->second.recordSize - 12) +
                          L"-byte value)");
        else
            log.push_back(std::wstring(name) + std::to_wstring(it->second.value));
    }
    if (const auto v = plain(map, 0xD1AC); v && *v) {
        reading.ok = true;
        reading.count = *v;
        reading.source = "Canon USB 0xD1AC";
    } else if (const auto w = plain(map, 0xD167); w && *w) {
        reading.ok = true;
        reading.count = *w;
        reading.source = "Canon USB 0xD167";
    } else {
        reading.message =
            L"The camera connected but didn't send its shutter counter. Click Copy details and email it to " +
            kSupport + L".";
    }
    return reading;
}

Reading fujifilm(Link& link, const Info& info, std::vector<std::wstring>& log)
{
    Reading reading;
    if (std::find(info.properties.begin(), info.properties.end(), 0xD310) == info.properties.end()) {
        log.push_back(L"Fujifilm TotalShotCount (D310) not listed");
        reading.message = L"This Fujifilm body doesn't report a shot count over USB. Try a photo on " + kSite + L" instead.";
        return reading;
    }
    const Outcome r = link.operation(0x1015, {0xD310}, true);
    log.push_back(L"GetDevicePropValue(D310) -> " + hex(r.responseCode, 4) + L", " + std::to_wstring(r.data.size()) +
                  L" bytes");
    const unsigned upper = r.data.size() >= 4 ? r.data[2] | r.data[3] << 8 : 0;
    if (failed(r.hr) || r.responseCode != 0x2001 || upper == 0) {
        reading.message = L"The camera connected but didn't send a shot count.";
        return reading;
    }
    reading.ok = true;
    reading.count = upper;
    reading.source = "Fujifilm USB 0xD310";
    return reading;
}

// The two-call text query, with the text cut at its first zero.
std::wstring deviceText(Faults& faults, sim::Call call, const sim::DeviceSpec& d, const std::wstring& value)
{
    const std::uint32_t needed = static_cast<std::uint32_t>(value.size() + 1);
    sim::Fault f = faults.effect(call, d.id);
    if (f.result && failed(*f.result)) return {};
    // A claimed length beyond a counted string's 32,767 characters is read into that many.
    const std::uint32_t chars = std::min<std::uint32_t>(f.count ? *f.count : needed, 32767);
    if (chars == 0) return {};
    f = faults.effect(call, d.id);
    if (f.result && failed(*f.result)) return {};
    if (chars < needed) return {};  // the service says the buffer is too small
    return value.substr(0, value.find(L'\0'));
}

}  // namespace

std::wstring hex(std::uint32_t value, int digits)
{
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring out;
    do {
        out.insert(out.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value);
    while (static_cast<int>(out.size()) < digits) out.insert(out.begin(), L'0');
    return L"0x" + out;
}

std::wstring phrase(std::int32_t hr)
{
    switch (static_cast<std::uint32_t>(hr)) {
    case 0x80070005: return L"access denied";
    case 0x8007001F: return L"device stopped responding";
    case 0x80070032: return L"not supported by the driver";
    case 0x800700AA: return L"device busy";
    case 0x8007048F: return L"device disconnected";
    default: return hex(static_cast<std::uint32_t>(hr), 8);
    }
}

Expected predict(const Case& c)
{
    Expected e;
    auto& log = e.lines;
    Faults faults(c.scenario.faults);
    const auto& devices = c.scenario.devices;

    if (const auto hr = faults.create(sim::Call::CreateManager)) {
        log.push_back(L"PortableDeviceManager unavailable: " + phrase(hr));
        e.reading.message = L"Windows' portable device service isn't available (" + phrase(hr) +
                            L"). This app needs Windows 10 or 11.";
        return e;
    }
    faults.effect(sim::Call::RefreshDeviceList);

    std::uint32_t count = 0;
    sim::Fault f = faults.effect(sim::Call::GetDevices);
    if (!(f.result && failed(*f.result))) count = f.count ? *f.count : static_cast<std::uint32_t>(devices.size());
    count = std::min<std::uint32_t>(count, 4096);  // no PC has more devices than this
    if (count != 0) {
        f = faults.effect(sim::Call::GetDevices);
        if (f.result && failed(*f.result)) {
            count = 0;
        } else {
            std::uint32_t filled = std::min<std::uint32_t>(count, static_cast<std::uint32_t>(devices.size()));
            if (f.count) filled = std::min<std::uint32_t>(filled, *f.count);
            count = filled;
        }
    }
    log.push_back(L"Portable devices found: " + std::to_wstring(count));

    int chosen = -1;
    bool chosenIsCanon = false;
    std::wstring otherBrand;
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto& d = devices[i];
        const std::wstring name = shown(deviceText(faults, sim::Call::GetDeviceFriendlyName, d, d.friendlyName));
        const std::wstring maker = shown(deviceText(faults, sim::Call::GetDeviceManufacturer, d, d.manufacturer));
        const std::wstring description =
            shown(deviceText(faults, sim::Call::GetDeviceDescription, d, d.description));
        log.push_back(L"  " + std::to_wstring(i + 1) + L". " + name + L"  [" + maker + L"]  " + description);
        const bool isCanon = contains(maker, L"canon") || contains(name, L"canon");
        const bool isFujifilm = contains(maker, L"fuji") || contains(name, L"fujifilm");
        if ((isCanon || isFujifilm) && chosen < 0) {
            chosen = static_cast<int>(i);
            chosenIsCanon = isCanon;
        } else if (otherBrand.empty()) {
            for (const wchar_t* brand : {L"nikon", L"sony", L"pentax", L"ricoh"})
                if (contains(maker, brand)) {
                    otherBrand = maker;
                    break;
                }
        }
    }
    if (chosen < 0) {
        if (otherBrand.empty())
            e.reading.message = L"No Canon or Fujifilm camera found. Check that it's switched on, the cable carries "
                                L"data, and EOS Utility is closed. Then click Read camera again.";
        else
            e.reading.message = L"Found a " + otherBrand +
                                L" camera. That brand records the count in its photos, so drop a photo on " + kSite +
                                L" instead.";
        return e;
    }

    // Opening: the client information, the device object, Open and its read-only retry.
    const auto& d = devices[static_cast<std::size_t>(chosen)];
    std::int32_t opened = faults.create(sim::Call::CreateValues);
    bool readOnly = false;
    if (!opened) opened = faults.create(sim::Call::CreateDevice);
    if (!opened) {
        const auto open = [&](bool readOnly) {
            const sim::Fault o = faults.effect(sim::Call::Open, d.id);
            return o.result.value_or(readOnly ? d.openReadOnly : d.openReadWrite);
        };
        opened = open(false);
        if (opened == kAccessDenied) {
            log.push_back(L"Open with read/write access was denied, retrying read-only");
            opened = open(true);
            readOnly = true;
        }
    }
    if (failed(opened)) {
        if (opened == kAccessDenied || opened == kBusy)
            e.reading.message = L"Another program is using the camera. Close EOS Utility, Photos or any import "
                                L"window, then try again.";
        else
            e.reading.message =
                L"Couldn't open the camera (" + phrase(opened) + L"). Unplug it, plug it back in and try again.";
        log.push_back(L"Open failed: " + phrase(opened));
        return e;
    }
    log.push_back(L"Opened through Windows' camera driver");

    Link link(faults, d.id, c.cameras[static_cast<std::size_t>(chosen)], c.scenario.rules, readOnly);
    const Outcome r = link.operation(0x1001, {}, true);
    Info info;
    if (!failed(r.hr)) {
        info = decodeInfo(r.data);
        log.push_back(L"GetDeviceInfo -> " + hex(r.responseCode, 4) + L", " + std::to_wstring(r.data.size()) +
                      L" bytes");
    } else {
        log.push_back(L"GetDeviceInfo -> error " + phrase(r.hr));
    }
    if (!info.ok) {
        if (r.hr == kNotImpl || r.hr == kNotSupported)
            e.reading.message = L"Windows' camera driver on this PC won't pass camera commands through. Click Copy "
                                L"details and email it to " +
                                kSupport + L".";
        else
            e.reading.message =
                L"The camera didn't answer (" + phrase(r.hr) + L"). Unplug it, plug it back in and try again.";
        return e;
    }
    log.push_back(L"Model: " + widenText(info.model) + L"  firmware " + widenText(info.version) + L"  ops " +
                  std::to_wstring(info.operations.size()) + L"  props " + std::to_wstring(info.properties.size()));
    e.reading = chosenIsCanon ? canon(link, info, log, e.pauses) : fujifilm(link, info, log);
    e.reading.make = info.manufacturer;
    e.reading.model = info.model;
    e.reading.firmware = info.version;
    e.reading.serial = info.serial;
    return e;
}

sim::PtpReply ScriptedCamera::execute(std::uint16_t code, const std::vector<std::uint32_t>& params, bool)
{
    received_.push_back(code);
    switch (code) {
    case 0x1001: return script_.deviceInfo;
    case 0x9114: return {script_.remoteModeCode, {}};
    case 0x9115: return {script_.eventModeCode, {}};
    case 0x9127: return {script_.requestCode, {}};
    case 0x9116:
        if (eventsServed_ < script_.events.size()) return script_.events[eventsServed_++];
        return {0x2001, {8, 0, 0, 0, 0, 0, 0, 0}};
    case 0x1015:
        if (params.size() == 1 && params[0] == 0xD310) return script_.shotCount;
        return {0x200A, {}};
    default: return {0x2005, {}};
    }
}

sim::Scenario liveScenario(const Case& c)
{
    sim::Scenario s = c.scenario;
    for (std::size_t i = 0; i < s.devices.size(); ++i)
        if (c.cameras[i]) s.devices[i].responder = std::make_shared<ScriptedCamera>(*c.cameras[i]);
    return s;
}

}  // namespace sweep
