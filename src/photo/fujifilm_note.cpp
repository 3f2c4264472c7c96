// Fujifilm: the maker note is "FUJIFILM", a little-endian offset to its IFD, and the IFD, always
// little-endian, with offsets from the note's first byte. Tag 0x1438 counts images; its top bit is
// a flag, not part of the number. Every X-series body since about 2014 writes it, so the tag's
// presence decides and there is no table of models. Counters that are not it: 0x1032 (exposures
// in this one image), 0x1101 (place in a burst), 0x1105 (pixel-shift shots), 0x1151/0x1152
// (images in a composite), 0x2001 (image in a multi-image raw).

#include <cstring>

#include "photo/maker_note.h"

namespace {

constexpr std::uint16_t kImageCount = 0x1438;
// 1 when the camera developed this file again from a raw: the note, count included, is the
// original shot's.
constexpr std::uint16_t kImageGeneration = 0x1436;

} // namespace

void readFujifilmNote(const NoteContext& context, PhotoReading& reading)
{
    FileView& file = context.walker.file();
    const Block& note = context.note.block;
    if (note.length() < 12) return setNoCount(reading, NoCount::Damaged);
    const auto head = file.get(note.begin, 12);
    if (head.empty()) return setNoCount(reading, NoCount::Damaged);
    if (std::memcmp(head.data(), "FUJIFILM", 8) != 0) return setNoCount(reading, NoCount::NotRecorded);

    const Block block{note.begin, note.end, static_cast<std::int64_t>(note.begin), ByteOrder::Little};
    const auto ifd = context.walker.read(block, u32at(head, 8, ByteOrder::Little), kNoteDepth);
    if (!ifd) return setNoCount(reading, NoCount::Damaged);

    const IfdEntry* entry = ifd->find(kImageCount);
    if (!entry) return setNoCount(reading, NoCount::NotRecorded);
    const auto raw = entry->type == 3 ? entryNumber(file, *entry, ByteOrder::Little) : std::nullopt;
    // Sanitised test files carry 0x8000: the flag and no count.
    if (!raw || (*raw & 0x7FFF) == 0) return setNoCount(reading, NoCount::NotUsable);

    reading.count = *raw & 0x7FFF;
    reading.kind = CountKind::Images;
    reading.source = "Fujifilm maker note 0x1438";
    reading.message = caveatText(Caveat::FujifilmFirmwareReset);
    if (const IfdEntry* generation = ifd->find(kImageGeneration);
        generation && entryNumber(file, *generation, ByteOrder::Little) == 1u)
        reading.message = caveatText(Caveat::FujifilmRedeveloped) + " " + reading.message;
}
