// Nikon: since about 2002 ("type 3") the maker note is "Nikon\0", a version, two zero bytes and then
// a complete TIFF of its own at +10, whose byte order may differ from the file's. Offsets inside
// count from that inner header. The count is tag 0x00A7, a plain int32u on every body that writes
// it, so Nikon needs no table of models; older Coolpix and the D1 write notes without it.

#include <cstring>

#include "photo/maker_note.h"

namespace {

constexpr std::uint16_t kShutterCount = 0x00A7;
constexpr std::uint16_t kMechanicalShutterCount = 0x0037;
constexpr std::uint32_t kNotAvailable = 0xFFFFF7FF; // what a body writes when it has no value

std::optional<std::uint32_t> plainCount(FileView& file, const Ifd& ifd, std::uint16_t tag, ByteOrder order)
{
    const IfdEntry* e = ifd.find(tag);
    if (!e || e->type != 4 || e->count != 1) return {};
    const auto value = entryNumber(file, *e, order);
    if (!value || *value == 0 || *value == kNotAvailable) return {};
    return value;
}

} // namespace

void readNikonNote(const NoteContext& context, PhotoReading& reading)
{
    FileView& file = context.walker.file();
    const Block& note = context.note.block;
    if (note.length() < 18) return setNoCount(reading, NoCount::NotRecorded);
    const auto head = file.get(note.begin, 18);
    if (head.empty()) return setNoCount(reading, NoCount::Damaged);
    // Type 1 ("Nikon\0\x01\0") and bare directories are the older bodies' notes: no count in them.
    if (std::memcmp(head.data(), "Nikon\0", 6) != 0 || head[6] != 2)
        return setNoCount(reading, NoCount::NotRecorded);
    const auto tiff = parseTiffHeader(head.subspan(10, 8));
    if (!tiff) return setNoCount(reading, NoCount::Damaged);

    const Block inner{note.begin, note.end, static_cast<std::int64_t>(note.begin) + 10, tiff->order};
    const auto ifd = context.walker.read(inner, tiff->firstIfd, kNoteDepth);
    if (!ifd) return setNoCount(reading, NoCount::Damaged);

    const IfdEntry* entry = ifd->find(kShutterCount);
    if (!entry) return setNoCount(reading, NoCount::NotRecorded);
    const auto count = plainCount(file, *ifd, kShutterCount, tiff->order);
    if (!count) return setNoCount(reading, NoCount::NotUsable);

    reading.count = count;
    reading.kind = CountKind::AllReleases;
    reading.mechanical = plainCount(file, *ifd, kMechanicalShutterCount, tiff->order);
    reading.source = "Nikon maker note 0x00A7";
    reading.message.clear();
}
