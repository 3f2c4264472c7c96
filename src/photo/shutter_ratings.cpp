#include "photo/shutter_ratings.h"

namespace {
#include "shutter_ratings_table.inc"
} // namespace

const ShutterRating* findRating(std::string_view model) noexcept
{
    // Cameras pad the Exif Model field with spaces or NULs; the table's strings have neither.
    while (!model.empty() && (model.back() == ' ' || model.back() == '\0')) model.remove_suffix(1);
    if (model.empty()) return nullptr;
    for (const ShutterRating& rating : kShutterRatings)
        if (rating.model == model) return &rating;
    return nullptr;
}
