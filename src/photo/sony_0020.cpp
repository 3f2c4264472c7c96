// Tag 0x0020 of Sony's 2009-2011 bodies. Its length tells its layout:
//   19154 or 19148 bytes ("FocusInfo"): the count is at 0x0846 of the block;
//   20480 bytes ("MoreInfo"): an index (entry count, data length, then an id and a start per
//   sub-block, all int16u, starts counted from the block's first byte), and the count is in
//   sub-block 0x0201, at 0x014A on the A450/A500/A550 and at 0x0125 on the others.
// The block is plain (the 0x9050 cipher is not used here) and little-endian whatever the file's
// order; counts are int32u, unaligned, of which the low 24 bits count. The A200/A300/A350/A700
// write the same FocusInfo block with something else at 0x0846, so only the exact models below give
// a number, and only from a block of the length their row names.

#include "photo/sony_0020.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::uint16_t kTag = 0x0020;
constexpr std::uint16_t kCountBlock = 0x0201;
constexpr std::uint32_t kFocusInfoA200 = 19154; // the A200 to A390 generation
constexpr std::uint32_t kFocusInfoA700 = 19148; // the A700, A850 and A900
constexpr std::uint32_t kMoreInfo = 20480;
// More index entries than this and the index is not one a camera wrote (ExifTool's limit too).
constexpr unsigned kMaxIndexEntries = 50;
// 24 bits hold up to 16.7 million; a count in the millions means a block not laid out as expected.
constexpr std::uint32_t kMostPlausible = 3'000'000;

struct OlderSonyModel {
    std::string_view model;
    std::uint32_t length; // of the 0x0020 block this body writes
    std::uint16_t at;     // of the count: in the block (FocusInfo), in sub-block 0x0201 (MoreInfo)
};

constexpr OlderSonyModel kModels[] = {
    {"DSLR-A230", kFocusInfoA200, 0x0846},
    {"DSLR-A290", kFocusInfoA200, 0x0846},
    {"DSLR-A330", kFocusInfoA200, 0x0846},
    {"DSLR-A380", kFocusInfoA200, 0x0846},
    {"DSLR-A390", kFocusInfoA200, 0x0846},
    {"DSLR-A850", kFocusInfoA700, 0x0846},
    {"DSLR-A900", kFocusInfoA700, 0x0846},
    // On these three, 0x011B and 0x0125 of sub-block 0x0201 hold something else.
    {"DSLR-A450", kMoreInfo, 0x014A},
    {"DSLR-A500", kMoreInfo, 0x014A},
    {"DSLR-A550", kMoreInfo, 0x014A},
    // 0x0125 is the shutter count; 0x011B beside it counts images.
    {"DSLR-A560", kMoreInfo, 0x0125},
    {"DSLR-A580", kMoreInfo, 0x0125},
    {"SLT-A33", kMoreInfo, 0x0125},
    {"SLT-A35", kMoreInfo, 0x0125},
    {"SLT-A55", kMoreInfo, 0x0125},
    {"SLT-A55V", kMoreInfo, 0x0125},
    {"NEX-3", kMoreInfo, 0x0125},
    {"NEX-5", kMoreInfo, 0x0125},
    {"NEX-C3", kMoreInfo, 0x0125},
    {"NEX-VG10E", kMoreInfo, 0x0125},
};

const OlderSonyModel* findModel(std::string_view model)
{
    for (const auto& m : kModels)
        if (m.model == model) return &m;
    return nullptr;
}

// The low 24 bits of the little-endian int32u at `at`, when all four bytes are there.
std::optional<std::uint32_t> count24(std::span<const std::uint8_t> bytes, std::size_t at)
{
    if (at > bytes.size() || 4 > bytes.size() - at) return {};
    return u32at(bytes, at, ByteOrder::Little) & 0xFFFFFF;
}

// Sub-block 0x0201 of a MoreInfo block: from its start to the next sub-block's start, or to the end
// of the data. Empty when the index does not hold together: too many entries, an index longer than
// the block, no 0x0201 among the entries that start inside the data, or two of them. (A re-saved
// file has been seen with this index mangled.)
std::span<const std::uint8_t> countBlock(std::span<const std::uint8_t> block)
{
    ByteReader r(block, ByteOrder::Little);
    const unsigned entries = r.u16();
    const std::size_t dataEnd = std::min<std::size_t>(r.u16(), block.size());
    if (r.failed() || entries > kMaxIndexEntries || 4u * entries > r.remaining()) return {};
    const std::size_t indexEnd = 4 + 4u * entries;

    struct Piece { std::uint16_t id, start; };
    std::array<Piece, kMaxIndexEntries> pieces{};
    std::size_t used = 0;
    for (unsigned i = 0; i < entries; ++i) {
        const std::uint16_t id = r.u16(), start = r.u16();
        // One that starts in the index itself or past the data is no sub-block.
        if (start >= indexEnd && start < dataEnd) pieces[used++] = {id, start};
    }
    const auto first = pieces.begin(), last = pieces.begin() + static_cast<std::ptrdiff_t>(used);
    const auto found = std::find_if(first, last, [](const Piece& p) { return p.id == kCountBlock; });
    if (found == last || std::find_if(found + 1, last, [](const Piece& p) { return p.id == kCountBlock; }) != last)
        return {};
    std::size_t end = dataEnd;
    for (auto p = first; p != last; ++p)
        if (p->start > found->start) end = std::min<std::size_t>(end, p->start);
    return block.subspan(found->start, end - found->start);
}

} // namespace

bool keepsCountIn0020(std::string_view model) { return findModel(model) != nullptr; }

void readSony0020(FileView& file, const Ifd& note, PhotoReading& reading)
{
    const OlderSonyModel* model = findModel(reading.model);
    if (!model) return setNoCount(reading, NoCount::UnknownModel);
    const IfdEntry* entry = note.find(kTag);
    // A block of another length is laid out in a way the row does not describe: no guess.
    if (!entry || entry->type != 7 || entry->size != model->length) return setNoCount(reading, NoCount::NotUsable);
    const auto block = entryBytes(file, *entry, model->length);
    if (block.size() != model->length) return setNoCount(reading, NoCount::Damaged);

    std::span<const std::uint8_t> holder = block;
    std::string source = "Sony maker note 0x0020";
    if (model->length == kMoreInfo) {
        holder = countBlock(block);
        if (holder.empty()) return setNoCount(reading, NoCount::Damaged);
        source += ", block 0x0201";
    }
    const auto count = count24(holder, model->at);
    if (!count) return setNoCount(reading, NoCount::Damaged);
    // The shot that made the file is itself counted, so 0 is no count.
    if (*count == 0 || *count > kMostPlausible) return setNoCount(reading, NoCount::NotUsable);

    reading.count = count;
    reading.kind = CountKind::AllReleases;
    reading.source = source + " at offset " + hexText(model->at);
    reading.message.clear();
}
