#pragma once
// What every brand's maker-note reader gets: where the note is, what the file around it says, and
// the reading to fill in. Each brand has its own file with the same shape: recognise the header,
// set the offset base, find the tag, decode, and a table of models with their layout.

#include <optional>
#include <string>

#include "photo/photo_reader.h"
#include "photo/photo_text.h"
#include "photo/tiff.h"

enum class Container { Jpeg, TiffRaw, Heif, Cr3, Raf };

struct MakerNote {
    Block block;               // the note's bytes; base and order those of the Exif TIFF around it
    bool completeTiff = false; // CR3's CMT3: a TIFF with its own header, offsets from that header
};

struct NoteContext {
    IfdWalker& walker;
    const MakerNote& note;
    Container container;
    const Ifd* exif = nullptr; // the Exif IFD the note was found through, when there is one
    ByteOrder exifOrder = ByteOrder::Little;
};

// Whether the Exif Flash tag (0x9209) says the flash fired (its bit 0). Some counters beside the
// count are not kept up on a flash shot.
inline bool flashFired(const NoteContext& context)
{
    const IfdEntry* e = context.exif ? context.exif->find(0x9209) : nullptr;
    if (!e) return false;
    const auto flash = entryNumber(context.walker.file(), *e, context.exifOrder);
    return flash && (*flash & 1) != 0;
}

// Nesting of a maker note's own directory below IFD0 and the Exif IFD.
inline constexpr int kNoteDepth = 2;

// Each sets count, kind, mechanical and source, or a reason through setNoCount, and may add a
// caveat to `message` beside a count. `reading.make` and `reading.model` are already set.
void readNikonNote(const NoteContext& context, PhotoReading& reading);
void readSonyNote(const NoteContext& context, PhotoReading& reading);
void readPentaxNote(const NoteContext& context, PhotoReading& reading);
void readCanonNote(const NoteContext& context, PhotoReading& reading);
void readFujifilmNote(const NoteContext& context, PhotoReading& reading);
