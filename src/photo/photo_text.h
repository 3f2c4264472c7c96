#pragma once
// Every text a person reads about a photo, in one place: why there is no count, the caveats a
// count carries, the one-line summary and the JSON object.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
    FujifilmRedeveloped,    // developed again in the camera from a raw: the original shot's count
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

// Sets the reading to "no count" for `why` (keeping make and model), with the next step for it.
void setNoCount(PhotoReading& reading, NoCount why);

// What to do without a count: Canon and Fujifilm keep it in the camera, other brands without a
// count in their photos have no known way at all, a damaged or stripped photo has a better sibling.
NextStep nextStepFor(NoCount why, std::string_view make);
// The next step as a sentence for the page or for photo-count's JSON, and in a few words for its
// text output. Empty for NextStep::None.
std::string nextStepText(NextStep next, JsonFor audience);
std::string nextStepShort(NextStep next);

// The count that the maker's rating can be set against: the mechanical one (Nikon 0x0037 beside
// the total, or a count that is itself mechanical).
std::optional<std::uint32_t> mechanicalCount(const PhotoReading& reading);

// What is said beside a count about the model's rated shutter life: the figure and who published
// it, the mechanical count's share of it (no share for a count that may include electronic
// releases), or that the body has no mechanical shutter; then what a rating is. Nothing for a
// model without a row.
std::vector<std::string> ratingSentences(std::string_view model, std::optional<std::uint32_t> mechanical);
// The sentences as a JSON array of strings, for the page.
std::string ratingJson(std::string_view model, std::optional<std::uint32_t> mechanical);
// The same in a few words for photo-count's text output; empty without a row.
std::string ratingShort(std::string_view model, std::optional<std::uint32_t> mechanical);
