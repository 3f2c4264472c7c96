#pragma once
// From a file's first bytes to the TIFF structure that holds its Exif data: JPEG (APP1 "Exif"),
// TIFF-based raws (header at byte 0), HEIF (the Exif item), CR3 (the CMT boxes) and RAF (the JPEG
// inside it).

#include <optional>

#include "photo/maker_note.h"

struct ExifLocation {
    Container container = Container::Jpeg;
    Block tiff; // begin = the TIFF header, end = the end of what holds it (segment, item, file)
    // CR3 keeps IFD0, the Exif IFD and the maker note as three TIFFs of their own.
    std::optional<Block> cr3Exif, cr3Note;
};

struct Located {
    std::optional<ExifLocation> exif;
    NoCount why = NoCount::NotPhoto; // when there is no Exif
};

Located locateExif(FileView& file);
