#pragma once
// Small strict decoders for checking what the simulated cameras send: a dataset or an event
// batch that is not exactly well-formed decodes to nothing.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "capture_file.h"

namespace cameras_test {

class Cursor {
public:
    explicit Cursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    bool ok() const { return ok_; }
    bool atEnd() const { return pos_ == bytes_.size(); }

    std::uint32_t number(std::size_t width)
    {
        if (!ok_ || width > bytes_.size() - pos_) {
            ok_ = false;
            return 0;
        }
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < width; ++i)
            value |= std::uint32_t{bytes_[pos_ + i]} << (8 * i);
        pos_ += width;
        return value;
    }

    std::vector<std::uint16_t> list()
    {
        const std::uint32_t count = number(4);
        if (count > (bytes_.size() - pos_) / 2) {
            ok_ = false;
            return {};
        }
        std::vector<std::uint16_t> out(count);
        for (auto& e : out)
            e = static_cast<std::uint16_t>(number(2));
        return out;
    }

    // Units without the NUL; a non-empty text must end in exactly one NUL.
    std::u16string text()
    {
        const std::uint32_t count = number(1);
        std::u16string out;
        for (std::uint32_t i = 0; i < count; ++i)
            out.push_back(static_cast<char16_t>(number(2)));
        if (count != 0) {
            if (out.back() != 0)
                ok_ = false;
            out.pop_back();
        }
        return out;
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

struct DecodedDeviceInfo {
    std::uint32_t standardVersion = 0, vendorExtensionId = 0, vendorExtensionVersion = 0, functionalMode = 0;
    std::u16string vendorExtensionDesc;
    std::vector<std::uint16_t> operations, events, properties, captureFormats, imageFormats;
    std::u16string manufacturer, model, deviceVersion, serialNumber;
};

inline std::optional<DecodedDeviceInfo> decodeDeviceInfo(std::span<const std::uint8_t> bytes)
{
    Cursor c(bytes);
    DecodedDeviceInfo d;
    d.standardVersion = c.number(2);
    d.vendorExtensionId = c.number(4);
    d.vendorExtensionVersion = c.number(2);
    d.vendorExtensionDesc = c.text();
    d.functionalMode = c.number(2);
    d.operations = c.list();
    d.events = c.list();
    d.properties = c.list();
    d.captureFormats = c.list();
    d.imageFormats = c.list();
    d.manufacturer = c.text();
    d.model = c.text();
    d.deviceVersion = c.text();
    d.serialNumber = c.text();
    if (!c.ok() || !c.atEnd())
        return std::nullopt;
    return d;
}

struct EosRecord {
    std::size_t offset = 0;
    std::uint32_t size = 0;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> payload;

    std::uint32_t word(std::size_t at) const  // a little-endian word of the payload
    {
        const std::span<const std::uint8_t> all(payload);
        Cursor c(all.subspan(std::min(at, all.size())));
        return c.number(4);
    }
};

// The records up to and including the end record (type 0, size 8). Nothing when a record
// runs past the data or there is no end record; *rest gets the bytes after the end record.
inline std::optional<std::vector<EosRecord>> eosRecords(std::span<const std::uint8_t> bytes, std::size_t* rest = nullptr)
{
    std::vector<EosRecord> records;
    std::size_t offset = 0;
    while (bytes.size() - offset >= 8) {
        Cursor c(bytes.subspan(offset));
        EosRecord r;
        r.offset = offset;
        r.size = c.number(4);
        r.type = c.number(4);
        if (r.size < 8 || r.size > bytes.size() - offset)
            return std::nullopt;
        r.payload.assign(bytes.begin() + offset + 8, bytes.begin() + offset + r.size);
        offset += r.size;
        records.push_back(std::move(r));
        if (records.back().type == 0) {
            if (records.back().size != 8)
                return std::nullopt;
            if (rest)
                *rest = bytes.size() - offset;
            return records;
        }
    }
    return std::nullopt;
}

// The 0xC189 records of a batch as (code, first value word) pairs, in order.
inline std::vector<std::pair<std::uint32_t, std::uint32_t>> eosProperties(const std::vector<EosRecord>& records)
{
    std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
    for (const auto& r : records)
        if (r.type == 0xC189)
            out.emplace_back(r.word(0), r.size >= 16 ? r.word(4) : 0);
    return out;
}

inline std::vector<std::uint8_t> capture(const std::string& name)
{
    auto bytes = sim::loadCapture(sim::defaultCapturesDir() / name);
    if (!bytes)
        throw std::runtime_error("missing capture " + name);
    return *bytes;
}

}  // namespace cameras_test
