#include "camera_factory.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "camera_line.h"
#include "canon_eos_camera.h"
#include "eos_events.h"
#include "fujifilm_camera.h"

namespace sim {

namespace {

using cameraline::parseCode;
using cameraline::parseNumber;
using cameraline::Word;

constexpr unsigned maxBatch = 1000;

std::optional<unsigned> parseBatch(std::string_view text)
{
    const auto n = parseNumber(text, maxBatch);
    if (!n || *n == 0)
        return std::nullopt;
    return static_cast<unsigned>(*n);
}

struct Counter {
    std::vector<std::uint8_t> record;
    std::optional<unsigned> batch;  // the line's batch= when absent
};

struct Rejection {
    std::uint16_t operationCode;
    std::uint16_t responseCode;
    unsigned nth;
};

// Everything a line can say, gathered before a camera is made.
struct Description {
    std::string kind;
    std::optional<std::u16string> manufacturer, model, firmware, serial;
    std::optional<std::vector<std::uint8_t>> deviceInfo;
    std::optional<std::size_t> truncateAt;
    std::vector<std::uint16_t> dropOps, dropProps;
    std::vector<Rejection> rejections;
    // canon
    std::vector<Counter> counters;
    unsigned batch = 1;
    std::map<unsigned, std::vector<std::uint8_t>> batches;
    // fujifilm
    std::optional<std::vector<std::uint8_t>> value;
    std::optional<std::uint16_t> responseCode;
};

class Reader {
public:
    explicit Reader(const std::filesystem::path& capturesDir) : capturesDir_(capturesDir) {}

    std::optional<std::string> apply(const Word& w, Description& d)
    {
        const std::string& v = w.value;
        const bool canon = d.kind == "canon";
        const bool fuji = d.kind == "fujifilm";
        const bool repeatable = w.key == "reject" || w.key == "drop-op" || w.key == "drop-prop" || w.key == "d1ac" ||
                                w.key == "d167";
        if (!repeatable && !seen_.insert(w.key).second)
            return w.key + ": given twice";

        if (w.key == "manufacturer") return text(v, d.manufacturer);
        if (w.key == "model") return text(v, d.model);
        if (w.key == "firmware") return text(v, d.firmware);
        if (w.key == "serial") return text(v, d.serial);
        if (w.key == "deviceinfo") return source(w, d.deviceInfo);
        if (w.key == "deviceinfo-truncate") {
            const auto n = parseNumber(v, UINT32_MAX);
            if (!n) return bad(w, "a byte count");
            d.truncateAt = static_cast<std::size_t>(*n);
            return std::nullopt;
        }
        if (w.key == "drop-op" || w.key == "drop-prop") {
            const auto code = parseCode(v);
            if (!code) return bad(w, "a hexadecimal code");
            (w.key == "drop-op" ? d.dropOps : d.dropProps).push_back(*code);
            return std::nullopt;
        }
        if (w.key == "reject") return rejection(w, d);
        if (canon && (w.key == "d1ac" || w.key == "d167")) return counter(w, d);
        if (canon && w.key == "batch") {
            const auto n = parseBatch(v);
            if (!n) return bad(w, "a batch number from 1 to 1000");
            d.batch = *n;
            return std::nullopt;
        }
        if (canon && (w.key == "capture" || w.key.starts_with("events"))) {
            const auto n = w.key == "capture" ? std::optional<unsigned>(1) : parseBatch(std::string_view(w.key).substr(6));
            if (!n || w.key == "events" || w.key[6] == '0') return "unknown word \"" + w.key + "\" for canon";
            if (d.batches.count(*n)) return w.key + ": batch " + std::to_string(*n) + " given twice";
            std::optional<std::vector<std::uint8_t>> bytes;
            if (auto e = source(w, bytes)) return e;
            d.batches[*n] = std::move(*bytes);
            return std::nullopt;
        }
        if (fuji && w.key == "count") {
            const auto n = parseNumber(v, 0xFFFF);
            if (!n) return bad(w, "a count from 0 to 65535");
            const auto c = static_cast<std::uint16_t>(*n);
            d.value = std::vector<std::uint8_t>{0, 0, static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8)};
            if (seen_.count("value")) return "count: value= gives the bytes already";
            return std::nullopt;
        }
        if (fuji && w.key == "value") {
            if (seen_.count("count")) return "value: count= gives the bytes already";
            return source(w, d.value);
        }
        if (fuji && w.key == "code") {
            d.responseCode = parseCode(v);
            if (!d.responseCode) return bad(w, "a hexadecimal response code");
            return std::nullopt;
        }
        return "unknown word \"" + w.key + "\" for " + d.kind;
    }

private:
    static std::string bad(const Word& w, const char* expected)
    {
        return w.key + ": \"" + w.value + "\" is not " + expected;
    }

    static std::optional<std::string> text(const std::string& value, std::optional<std::u16string>& out)
    {
        out = utf16FromUtf8(value);
        return std::nullopt;
    }

    // hex:BYTES inline, or the name of a capture file.
    std::optional<std::string> source(const Word& w, std::optional<std::vector<std::uint8_t>>& out) const
    {
        if (w.value.starts_with("hex:")) {
            out = parseHex(std::string_view(w.value).substr(4));
            if (!out) return bad(w, "hex:BYTES in hexadecimal digit pairs");
            return std::nullopt;
        }
        if (w.value.empty()) return w.key + ": needs a capture file or hex:BYTES";
        out = loadCapture(capturesDir_ / w.value);
        if (!out) return w.key + ": cannot read the capture " + w.value;
        return std::nullopt;
    }

    // OP:CODE or OP:CODE@N
    static std::optional<std::string> rejection(const Word& w, Description& d)
    {
        std::string_view v = w.value;
        unsigned nth = 0;
        if (const auto at = v.find('@'); at != std::string_view::npos) {
            const auto n = parseNumber(v.substr(at + 1), 1000000);
            if (!n || *n == 0) return bad(w, "OP:CODE or OP:CODE@N with N from 1");
            nth = static_cast<unsigned>(*n);
            v = v.substr(0, at);
        }
        const auto colon = v.find(':');
        if (colon == std::string_view::npos) return bad(w, "OP:CODE or OP:CODE@N");
        const auto op = parseCode(v.substr(0, colon));
        const auto code = parseCode(v.substr(colon + 1));
        if (!op || !code) return bad(w, "OP:CODE or OP:CODE@N in hexadecimal");
        d.rejections.push_back({*op, *code, nth});
        return std::nullopt;
    }

    // VALUE or VALUE@N, VALUE a number (a 16-byte record) or hex:BYTES (the value bytes of a
    // longer or shorter record).
    static std::optional<std::string> counter(const Word& w, Description& d)
    {
        std::string_view v = w.value;
        Counter c;
        if (const auto at = v.find('@'); at != std::string_view::npos) {
            c.batch = parseBatch(v.substr(at + 1));
            if (!c.batch) return bad(w, "VALUE@N with a batch N from 1 to 1000");
            v = v.substr(0, at);
        }
        const std::uint32_t code = w.key == "d1ac" ? eosShutterCounter : eosShutterReleaseCounter;
        if (v.starts_with("hex:")) {
            const auto bytes = parseHex(v.substr(4));
            if (!bytes) return bad(w, "hex:BYTES in hexadecimal digit pairs");
            c.record = EosEventBuilder().propertyBytes(code, *bytes).bytes();
        } else {
            const auto n = parseNumber(v, UINT32_MAX);
            if (!n) return bad(w, "a value from 0 to 4294967295 or hex:BYTES");
            c.record = EosEventBuilder().property(code, static_cast<std::uint32_t>(*n)).bytes();
        }
        d.counters.push_back(std::move(c));
        return std::nullopt;
    }

    const std::filesystem::path& capturesDir_;
    std::set<std::string> seen_;
};

std::optional<std::string> checkCombinations(const Description& d)
{
    if (d.deviceInfo && (d.manufacturer || d.model || d.firmware || d.serial || !d.dropOps.empty() || !d.dropProps.empty()))
        return "deviceinfo= sends the dataset as given: no texts or drop-op/drop-prop with it";
    for (const Counter& c : d.counters) {
        const unsigned batch = c.batch.value_or(d.batch);
        if (d.batches.count(batch))
            return "a counter in batch " + std::to_string(batch) + ", which capture=/events" + std::to_string(batch) +
                   "= gives as it is";
    }
    return std::nullopt;
}

void remove(std::vector<std::uint16_t>& list, const std::vector<std::uint16_t>& codes)
{
    std::erase_if(list, [&](std::uint16_t c) { return std::find(codes.begin(), codes.end(), c) != codes.end(); });
}

template <class Camera>
std::shared_ptr<Camera> makeBody(const Description& d)
{
    DeviceInfoFields f = Camera::defaultDeviceInfo();
    if (d.manufacturer) f.manufacturer = *d.manufacturer;
    if (d.model) f.model = *d.model;
    if (d.firmware) f.deviceVersion = *d.firmware;
    if (d.serial) f.serialNumber = *d.serial;
    remove(f.operationsSupported, d.dropOps);
    remove(f.devicePropertiesSupported, d.dropProps);
    f.truncateAt = d.truncateAt;
    auto camera = std::make_shared<Camera>(std::move(f));
    if (d.deviceInfo) {
        std::vector<std::uint8_t> bytes = *d.deviceInfo;
        if (d.truncateAt && *d.truncateAt < bytes.size())
            bytes.resize(*d.truncateAt);
        camera->setDeviceInfoBytes(std::move(bytes));
    }
    for (const Rejection& r : d.rejections)
        camera->rejectOperation(r.operationCode, r.responseCode, r.nth);
    return camera;
}

}  // namespace

std::shared_ptr<PtpResponder> makeCamera(std::string_view line, std::string* error,
                                         const std::filesystem::path& capturesDir)
{
    auto fail = [&](std::string reason) -> std::shared_ptr<PtpResponder> {
        if (error)
            *error = std::move(reason);
        return nullptr;
    };
    Description d;
    std::vector<Word> words;
    if (auto e = cameraline::splitLine(line, d.kind, words))
        return fail(*e);
    if (d.kind != "canon" && d.kind != "fujifilm" && d.kind != "none")
        return fail("unknown camera \"" + d.kind + "\": canon, fujifilm or none");
    if (d.kind == "none") {
        if (!words.empty())
            return fail("none takes no words");
        return std::make_shared<ListedOnlyDevice>();
    }
    Reader reader(capturesDir);
    for (const Word& w : words)
        if (auto e = reader.apply(w, d))
            return fail(*e);
    if (auto e = checkCombinations(d))
        return fail(*e);

    if (d.kind == "fujifilm") {
        auto camera = makeBody<FujifilmCamera>(d);
        if (d.value || d.responseCode)
            camera->setShotCountReply(d.responseCode.value_or(ptp::ok), d.value.value_or(std::vector<std::uint8_t>{}));
        return camera;
    }
    auto camera = makeBody<CanonEosCamera>(d);
    for (const Counter& c : d.counters)
        camera->addRecord(c.batch.value_or(d.batch), c.record);
    for (const auto& [batch, bytes] : d.batches)
        camera->setBatch(batch, bytes);
    return camera;
}

}  // namespace sim
