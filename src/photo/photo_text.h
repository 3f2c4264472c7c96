#pragma once
// Every text a person reads about a photo, in one place: why there is no count, the caveats a
// count carries, the one-line summary and the JSON object.

#include <string>
#include <string_view>

#include "photo/photo_reader.h"

enum class NoCount {
    NotPhoto,         // not a file format we read
    CutShort,         // the file ends before its metadata
    Damaged,          // the metadata is there but does not hold together
    NoExif,           // a photo without camera data at all
    MakerNoteMissing, // Exif survived, the maker note did not (re-saved by software that drops it)
    NotRecorded,      // this make or model does not write its count into photos
    NotUsable,        // the count field is there but holds no usable value
    UnknownModel,     // a brand with per-model layouts and a model we have no layout for
};

enum class Caveat {
    None,
    FujifilmFirmwareReset,
    CanonMayBeInvalid,      // EOS-1D Mark III class: the field is valid only on some bodies
    CanonSettingsFileChange, // EOS-1Ds Mark II: the value was seen to change with a settings file
    SonyWrapsAt65536         // ILCE-7R: the counter starts again after 65,535
};

// Makes and models are written in any case ("NIKON CORPORATION", "Nikon"): compare without it.
bool startsWithNoCase(std::string_view text, std::string_view prefix);

std::string noCountText(NoCount why);
std::string caveatText(Caveat caveat);

// "0x00A7" for a tag (four digits), "0x3A" for an offset: as tag tables write them.
std::string hexTag(unsigned tag);
std::string hexText(unsigned value);

// Sets the reading to "no count" for `why` (keeping make and model).
void setNoCount(PhotoReading& reading, NoCount why);
