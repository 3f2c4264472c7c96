#include "photo/tiff.h"

#include <algorithm>

namespace {

std::uint64_t typeWidth(std::uint16_t type) noexcept
{
    switch (type) {
    case 1: case 2: case 6: case 7: return 1;  // BYTE, ASCII, SBYTE, UNDEFINED
    case 3: case 8: return 2;                  // SHORT, SSHORT
    case 4: case 9: case 11: case 13: return 4; // LONG, SLONG, FLOAT, IFD
    case 5: case 10: case 12: return 8;        // RATIONAL, SRATIONAL, DOUBLE
    default: return 0;
    }
}

} // namespace

std::optional<std::uint64_t> Block::at(std::int64_t offset, std::uint64_t size) const noexcept
{
    // base + offset cannot overflow: base is a file position (< 2^62) less at most 2^32, and
    // offset comes from a 32-bit field.
    const std::int64_t pos = base + offset;
    if (pos < 0 || static_cast<std::uint64_t>(pos) < begin || static_cast<std::uint64_t>(pos) > end) return {};
    if (size > end - static_cast<std::uint64_t>(pos)) return {};
    return static_cast<std::uint64_t>(pos);
}

const IfdEntry* Ifd::find(std::uint16_t tag) const noexcept
{
    for (const auto& e : entries)
        if (e.tag == tag) return &e;
    return nullptr;
}

// An offset that leads past the file's end, not merely out of its block, is a file cut short.
void IfdWalker::notePastEnd(const Block& block, std::int64_t offset, std::uint64_t size)
{
    const std::int64_t pos = block.base + offset;
    if (pos >= 0 && static_cast<std::uint64_t>(pos) >= block.begin) file_.fits(static_cast<std::uint64_t>(pos), size);
}

std::optional<Ifd> IfdWalker::read(const Block& block, std::int64_t offset, int depth)
{
    if (depth > kMaxDepth) return {};
    const auto countPos = block.at(offset, 2);
    if (!countPos) {
        notePastEnd(block, offset, 2);
        return {};
    }
    if (std::find(visited_.begin(), visited_.end(), *countPos) != visited_.end()) return {};

    const auto head = file_.get(*countPos, 2);
    if (head.empty()) return {};
    const std::uint16_t n = u16at(head, 0, block.order);
    if (n == 0 || n > kMaxEntries) return {};
    const std::uint64_t tableSize = 2 + 12ull * n;
    if (!block.at(offset, tableSize)) {
        notePastEnd(block, offset, tableSize);
        return {};
    }
    const auto table = file_.get(*countPos, tableSize);
    if (table.empty()) return {};
    visited_.push_back(*countPos);

    Ifd ifd;
    ifd.pos = *countPos;
    ifd.entries.reserve(n);
    ByteReader r(table, block.order);
    r.skip(2);
    for (unsigned i = 0; i < n; ++i) {
        IfdEntry e;
        e.tag = r.u16();
        e.type = r.u16();
        e.count = r.u32();
        const std::uint64_t inlinePos = *countPos + r.pos();
        const std::uint32_t valueOffset = r.u32();
        e.size = typeWidth(e.type) * e.count;
        if (e.size != 0 && e.size <= 4) {
            e.valuePos = inlinePos;
            e.valueInside = true;
        } else if (e.size > 4) {
            const auto pos = block.at(valueOffset, e.size);
            e.valueInside = pos.has_value();
            e.valuePos = pos.value_or(0);
            if (!pos) notePastEnd(block, valueOffset, e.size);
        }
        ifd.entries.push_back(e);
    }
    return ifd;
}

std::span<const std::uint8_t> entryBytes(FileView& file, const IfdEntry& entry, std::uint64_t limit)
{
    if (!entry.valueInside || entry.size == 0) return {};
    return file.get(entry.valuePos, std::min(entry.size, limit));
}

std::optional<std::uint32_t> entryNumber(FileView& file, const IfdEntry& entry, ByteOrder order)
{
    if (entry.count == 0) return {};
    if (entry.type == 3 || entry.type == 8) {
        const auto b = file.get(entry.valuePos, 2);
        if (!entry.valueInside || b.empty()) return {};
        return u16at(b, 0, order);
    }
    if (entry.type == 4 || entry.type == 9 || entry.type == 13) {
        const auto b = file.get(entry.valuePos, 4);
        if (!entry.valueInside || b.empty()) return {};
        return u32at(b, 0, order);
    }
    return {};
}

std::string entryText(FileView& file, const IfdEntry& entry)
{
    std::string text;
    if (entry.type != 2 && entry.type != 1 && entry.type != 7) return text;
    for (const std::uint8_t c : entryBytes(file, entry, 256)) {
        if (c == 0) break;
        if (c >= 0x20 && c < 0x7F && text.size() < 64) text.push_back(static_cast<char>(c));
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

std::optional<TiffHeader> parseTiffHeader(std::span<const std::uint8_t> eight)
{
    if (eight.size() < 8) return {};
    ByteOrder order;
    if (eight[0] == 'I' && eight[1] == 'I') order = ByteOrder::Little;
    else if (eight[0] == 'M' && eight[1] == 'M') order = ByteOrder::Big;
    else return {};
    const std::uint16_t magic = u16at(eight, 2, order);
    if (magic != 42 && magic != 0x55 && magic != 0x4F52 && magic != 0x5352) return {};
    return TiffHeader{order, u32at(eight, 4, order)};
}
