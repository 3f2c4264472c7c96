#pragma once
// Sony's 2009-2011 bodies (DSLR-A230 to A900, A450 to A580, SLT-A33/A35/A55, the first NEX): their
// count is not in the enciphered 0x9050 block but in maker-note tag 0x0020, a plain little-endian
// block inherited from Minolta, whose length tells its layout.

#include <string_view>

#include "photo/maker_note.h"

// Whether this exact model keeps its count in tag 0x0020 (one of the rows of sony_0020.cpp).
bool keepsCountIn0020(std::string_view model);

// The count from tag 0x0020 of the note's directory `note`, for a model keepsCountIn0020 accepts.
void readSony0020(FileView& file, const Ifd& note, PhotoReading& reading);
