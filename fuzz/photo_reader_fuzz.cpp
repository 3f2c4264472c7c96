// Any bytes as a photo file. The input is the whole file; it is read up to four ways, and each
// must end, stay inside what it was given and say something a person can trust:
//   1. readPhoto over the bytes in memory;
//   2. the resumable PhotoReader, each wanted range supplied from the input (short only where
//      the file ends): the same reading as readPhoto, and no byte asked for twice;
//   3. (half the inputs) the same, with one read coming back short at a round chosen from the
//      input's bytes (a failed read): a count, if any, is the count of the whole file;
//   4. (a quarter) the input followed by 100 MB of zeros: the reader still reads at most what
//      maxBytesRead allows, and gives no other count;
// and (a quarter) the WebAssembly boundary, the C functions, must give readPhoto's JSON for the page.
// Every reading: a count only with its source, a message without one, printable texts, a
// JSON line that reads back to the same reading, a count line that says the same.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "photo/photo_c_api.h"
#include "photo/photo_reader.h"
#include "photo/photo_text.h"

// The checks below are not what the fuzzer should steer by, and uninstrumented they cost a
// fraction of the time: coverage is taken from the reader alone.
#if defined(__clang__)
#define NOT_STEERING __attribute__((no_sanitize("coverage")))
#else
#define NOT_STEERING
#endif

namespace {

NOT_STEERING void check(bool condition)
{
    if (!condition) std::abort();
}

// What a photo may make the reader read, whatever its size: the goal is at most 1 MiB;
// the check leaves room above it so that a regression shows and a designed cap does not trip.
constexpr std::uint64_t maxBytesRead = 4u << 20;
constexpr std::uint64_t padding = 100'000'000;

NOT_STEERING bool printable(std::string_view text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) == 0x7F) return false;
    return true;
}

// A flat JSON object of strings, numbers, booleans, nulls and arrays of strings, read back
// strictly: values by key (strings unescaped, the rest as written), or nothing if it is not such
// an object.
struct JsonValue {
    enum Type { String, Number, Bool, Null, Array } type;
    std::string text;
    std::vector<std::string> items; // an Array's strings
};
using JsonObject = std::vector<std::pair<std::string, JsonValue>>;

class JsonReader {
public:
    explicit JsonReader(std::string_view json) : json_(json) {}

    NOT_STEERING std::optional<JsonObject> object()
    {
        JsonObject out;
        if (!take('{')) return std::nullopt;
        if (take('}')) return atEnd() ? std::optional(out) : std::nullopt;
        for (;;) {
            auto key = string();
            if (!key || !take(':')) return std::nullopt;
            auto value = this->value();
            if (!value) return std::nullopt;
            out.emplace_back(std::move(*key), std::move(*value));
            if (take(',')) continue;
            if (take('}')) break;
            return std::nullopt;
        }
        return atEnd() ? std::optional(out) : std::nullopt;
    }

private:
    NOT_STEERING bool take(char c)
    {
        if (pos_ < json_.size() && json_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    NOT_STEERING bool atEnd() const { return pos_ == json_.size(); }

    NOT_STEERING bool word(std::string_view w)
    {
        if (json_.substr(pos_, w.size()) != w) return false;
        pos_ += w.size();
        return true;
    }

    NOT_STEERING std::optional<JsonValue> value()
    {
        if (pos_ >= json_.size()) return std::nullopt;
        if (json_[pos_] == '"') {
            auto s = string();
            if (!s) return std::nullopt;
            return JsonValue{JsonValue::String, std::move(*s), {}};
        }
        if (take('[')) {
            JsonValue array{JsonValue::Array, {}, {}};
            if (take(']')) return array;
            for (;;) {
                auto item = string();
                if (!item) return std::nullopt;
                array.items.push_back(std::move(*item));
                if (take(',')) continue;
                if (take(']')) return array;
                return std::nullopt;
            }
        }
        if (word("null")) return JsonValue{JsonValue::Null, "null", {}};
        if (word("true")) return JsonValue{JsonValue::Bool, "true", {}};
        if (word("false")) return JsonValue{JsonValue::Bool, "false", {}};
        // Counts are whole numbers: digits without a leading zero (or "0" itself).
        const std::size_t start = pos_;
        while (pos_ < json_.size() && json_[pos_] >= '0' && json_[pos_] <= '9') ++pos_;
        if (pos_ == start || (json_[start] == '0' && pos_ - start > 1)) return std::nullopt;
        return JsonValue{JsonValue::Number, std::string(json_.substr(start, pos_ - start)), {}};
    }

    NOT_STEERING std::optional<std::string> string()
    {
        if (!take('"')) return std::nullopt;
        std::string out;
        while (pos_ < json_.size()) {
            const char c = json_[pos_++];
            if (c == '"') return out;
            if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;  // must be escaped
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (pos_ >= json_.size()) return std::nullopt;
            const char e = json_[pos_++];
            switch (e) {
            case '"': case '\\': case '/': out.push_back(e); break;
            case 'b': out.push_back('\b'); break;
            case 'f': out.push_back('\f'); break;
            case 'n': out.push_back('\n'); break;
            case 'r': out.push_back('\r'); break;
            case 't': out.push_back('\t'); break;
            case 'u': {
                if (json_.size() - pos_ < 4) return std::nullopt;
                unsigned code = 0;
                for (int i = 0; i < 4; ++i) {
                    const char h = json_[pos_++];
                    code <<= 4;
                    if (h >= '0' && h <= '9') code |= unsigned(h - '0');
                    else if (h >= 'a' && h <= 'f') code |= unsigned(h - 'a' + 10);
                    else if (h >= 'A' && h <= 'F') code |= unsigned(h - 'A' + 10);
                    else return std::nullopt;
                }
                // Only what a text of ours can hold: bytes below 0x80 come back as themselves.
                if (code >= 0x80) return std::nullopt;
                out.push_back(static_cast<char>(code));
                break;
            }
            default: return std::nullopt;
            }
        }
        return std::nullopt;
    }

    std::string_view json_;
    std::size_t pos_ = 0;
};

NOT_STEERING const JsonValue* find(const JsonObject& object, std::string_view key)
{
    for (const auto& [k, v] : object)
        if (k == key) return &v;
    return nullptr;
}

NOT_STEERING void checkText(const JsonObject& object, std::string_view key, const std::string& text)
{
    const JsonValue* v = find(object, key);
    check(v != nullptr);
    // Empty texts may be written as null or "", never as anything else.
    if (v->type == JsonValue::Null) check(text.empty());
    else check(v->type == JsonValue::String && v->text == text);
}

NOT_STEERING void checkNumber(const JsonObject& object, std::string_view key, const std::optional<std::uint32_t>& number)
{
    const JsonValue* v = find(object, key);
    check(v != nullptr);
    if (number) check(v->type == JsonValue::Number && v->text == std::to_string(*number));
    else check(v->type == JsonValue::Null);
}

NOT_STEERING const char* kindName(CountKind kind)
{
    switch (kind) {
    case CountKind::AllReleases: return "releases";
    case CountKind::MechanicalReleases: return "mechanical";
    case CountKind::Images: return "images";
    }
    return nullptr;
}

NOT_STEERING void checkJson(const PhotoReading& reading, std::string_view file, JsonFor audience = JsonFor::Tool)
{
    const std::string json = photoReadingJson(reading, file, audience);
    const auto object = JsonReader(json).object();
    check(object.has_value());

    // The keys, each once, in their order; "file" only with a file name.
    std::vector<std::string_view> keys;
    for (const auto& entry : *object) keys.push_back(entry.first);
    std::vector<std::string_view> expected{"ok",     "count",   "mechanical", "kind",    "make",
                                           "model",  "source",  "message",    "rated",   "rated_by"};
    if (audience == JsonFor::Page) expected.insert(expected.end(), {"serial", "taken", "rating"});
    if (!file.empty()) expected.insert(expected.begin(), "file");
    check(keys == expected);

    if (!file.empty()) {
        const JsonValue* name = find(*object, "file");
        check(name->type == JsonValue::String);
        // A name of printable characters comes back as it was; what becomes of control and
        // other bytes is the writer's choice, as long as the line stays JSON (checked above).
        bool plain = true;
        for (const char c : file) plain = plain && c >= 0x20 && c < 0x7F;
        if (plain) check(name->text == file);
    }
    const JsonValue* ok = find(*object, "ok");
    check(ok->type == JsonValue::Bool && ok->text == (reading.count ? "true" : "false"));
    checkNumber(*object, "count", reading.count);
    checkNumber(*object, "mechanical", reading.mechanical);
    const JsonValue* kind = find(*object, "kind");
    if (reading.count) check(kind->type == JsonValue::String && kind->text == kindName(reading.kind));
    else check(kind->type == JsonValue::Null || (kind->type == JsonValue::String && kind->text == kindName(reading.kind)));
    checkText(*object, "make", reading.make);
    checkText(*object, "model", reading.model);
    checkText(*object, "source", reading.source);
    // Without a count the message goes on with what to do next.
    std::string message = reading.message;
    if (!reading.count && reading.next != NextStep::None) message += " " + nextStepText(reading.next, audience);
    checkText(*object, "message", message);
    // A rating comes with who published it, or neither is there.
    const JsonValue* rated = find(*object, "rated");
    const JsonValue* ratedBy = find(*object, "rated_by");
    check(rated->type == JsonValue::Null || rated->type == JsonValue::Number);
    check(ratedBy->type == (rated->type == JsonValue::Null ? JsonValue::Null : JsonValue::String));
    if (audience == JsonFor::Page) {
        checkText(*object, "serial", reading.serial);
        checkText(*object, "taken", reading.taken);
        const JsonValue* rating = find(*object, "rating");
        check(rating->type == JsonValue::Array && (reading.count || rating->items.empty()));
        for (const auto& sentence : rating->items) check(!sentence.empty() && printable(sentence));
    }
}

NOT_STEERING std::string grouped(std::uint32_t n)
{
    std::string digits = std::to_string(n);
    for (std::size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, ",");
    return digits;
}

// `file`: a name for the JSON line too, and the full checks of its text; without one, the line
// is checked as the page reads it (no file).
NOT_STEERING void checkReading(const PhotoReading& reading, std::string_view file = {})
{
    if (reading.count) {
        // A number only from a place the reader can name, and never the "0" a field holds
        // when it is not usable.
        check(!reading.source.empty());
        check(*reading.count != 0);
    } else {
        check(!reading.message.empty());
        check(!reading.mechanical);
    }
    check(kindName(reading.kind) != nullptr);
    check(printable(reading.make) && printable(reading.model));
    check(printable(reading.source) && printable(reading.message));
    check(printable(reading.serial) && printable(reading.taken));
    checkJson(reading, {});
    checkJson(reading, {}, JsonFor::Page);
    if (!file.empty()) checkJson(reading, file);

    const std::string line = photoCountLine(reading);
    check(printable(line));
    if (reading.count) check(line.compare(0, grouped(*reading.count).size() + 1, grouped(*reading.count) + " ") == 0);
    else {
        const std::string next = nextStepShort(reading.next);
        check(line == "no count: " + reading.message + (next.empty() ? "" : " " + next));
    }
}

// Ranges handed to the reader so far, to see that none is asked for again.
class Supplied {
public:
    NOT_STEERING bool overlaps(std::uint64_t offset, std::uint64_t length) const
    {
        for (const auto& [start, end] : ranges_)
            if (offset < end && start < offset + length) return true;
        return false;
    }
    void add(std::uint64_t offset, std::uint64_t length) { ranges_.emplace_back(offset, offset + length); }

private:
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges_;
};

// One pass of the resumable reader over `file` (which the reader is told is `fileSize` long:
// bytes past file.size() read as zeros), the read at round `failAt` coming back with only
// `failKeep` of its bytes and every later read with none.
PhotoReading drive(std::span<const std::uint8_t> file, std::uint64_t fileSize, std::size_t failAt = SIZE_MAX,
                   std::uint32_t failKeep = 0)
{
    PhotoReader reader(fileSize);
    Supplied supplied;
    bool failed = false;
    for (std::size_t round = 0; !reader.done(); ++round) {
        const ByteRange want = reader.wanted();
        // Progress: every round asks for bytes inside the file it has not had yet, so the
        // loop ends within fileSize rounds whatever the file says.
        check(want.length > 0);
        check(want.offset < fileSize || (fileSize == 0 && round == 0));
        check(!supplied.overlaps(want.offset, want.length));
        check(reader.bytesSupplied() + want.length <= maxBytesRead || fileSize <= maxBytesRead);

        std::uint64_t available = failed ? 0 : std::min<std::uint64_t>(want.length, fileSize - want.offset);
        if (round == failAt) {
            available = std::min<std::uint64_t>(available, failKeep);
            failed = true;
        }
        // A fresh exact-size vector each round, so a read past the bytes supplied is caught;
        // zeros past the input's end.
        std::vector<std::uint8_t> bytes;
        bytes.reserve(static_cast<std::size_t>(available));
        if (want.offset < file.size()) {
            const auto from = file.begin() + static_cast<std::ptrdiff_t>(want.offset);
            bytes.assign(from, from + static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(available, file.size() - want.offset)));
        }
        bytes.resize(static_cast<std::size_t>(available));
        const std::uint64_t before = reader.bytesSupplied();
        reader.supply(bytes);
        check(reader.bytesSupplied() == before + available);
        supplied.add(want.offset, want.length);
    }
    check(reader.bytesSupplied() <= fileSize);
    return reader.reading();
}

std::string throughCApi(std::span<const std::uint8_t> file)
{
    TbPhoto* photo = tb_photo_open(static_cast<double>(file.size()));
    check(photo != nullptr);
    while (!tb_photo_done(photo)) {
        const double offset = tb_photo_wanted_offset(photo);
        const unsigned length = tb_photo_wanted_length(photo);
        check(offset >= 0 && offset < static_cast<double>(file.size()) && length > 0);
        const auto start = static_cast<std::size_t>(offset);
        const auto available = static_cast<unsigned>(std::min<std::size_t>(length, file.size() - start));
        unsigned char* buffer = tb_photo_buffer(photo, available);
        check(buffer != nullptr || available == 0);
        if (available) std::memcpy(buffer, file.data() + start, available);
        tb_photo_supply(photo, available);
    }
    check(tb_photo_bytes_supplied(photo) <= static_cast<double>(file.size()));
    std::string json = tb_photo_result_json(photo);
    tb_photo_close(photo);
    return json;
}

// A small deterministic mix of the input, to pick where a read fails without giving up
// bytes of the file for it.
NOT_STEERING std::uint64_t mix(std::span<const std::uint8_t> data)
{
    std::uint64_t h = 0xcbf29ce484222325u;
    for (const std::uint8_t b : data.first(std::min<std::size_t>(data.size(), 64))) h = (h ^ b) * 0x100000001b3u;
    return h ^ data.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // An exact-size copy, so AddressSanitizer catches a read one byte past the end.
    const std::vector<std::uint8_t> file(data, data + size);
    // The input's first bytes as a file name too: quotes, backslashes and control bytes
    // must not break the JSON line.
    const std::string name(reinterpret_cast<const char*>(file.data()), std::min<std::size_t>(size, 12));

    const PhotoReading whole = readPhoto(file);
    checkReading(whole, name.empty() ? "x" : name);
    const std::uint64_t h = mix(file);
    if (h % 16 == 0) checkJson(whole, R"(C:\photos\"best" \ one.jpg)");

    const PhotoReading resumed = drive(file, size);
    check(resumed == whole);

    // The passes below each in a share of the inputs, chosen by the input's bytes, so that a
    // run of ten million takes an hour rather than two on a shared machine.
    if (h % 4 == 0) check(throughCApi(file) == photoReadingJson(whole, {}, JsonFor::Page));

    // Most files are read in one or two rounds, so the failure falls in one of the first three.
    if (h % 2 == 1) {
        const PhotoReading failed = drive(file, size, (h >> 4) % 3, static_cast<std::uint32_t>(h >> 8) % 4096);
        if (failed != whole) checkReading(failed);
        if (failed.count) check(failed.count == whole.count && failed.kind == whole.kind);
    }

    // With a file that long every read is a full 64 KiB one.
    if ((h >> 2) % 4 == 1) {
        const PhotoReading padded = drive(file, size + padding);
        if (padded != whole) checkReading(padded);
        if (padded.count && whole.count) check(padded.count == whole.count && padded.kind == whole.kind);
    }
    return 0;
}
