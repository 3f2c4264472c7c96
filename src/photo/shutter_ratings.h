#pragma once
// The makers' rated shutter durability per camera model, compiled in from shutter-ratings.tsv
// (cmake/shutter_ratings.cmake writes the table at build time). Looked up by the model string
// the camera writes into its photos and sends over USB; no row means nothing is shown, never a
// sibling model's figure.

#include <cstdint>
#include <string_view>

struct ShutterRating {
    std::string_view make;     // the brand, as people name it ("Nikon")
    std::string_view model;    // the camera's own model string ("NIKON D850")
    std::uint32_t rated = 0;   // actuations; 0 for a body without a mechanical shutter
    std::string_view ratedBy;  // the maker, or the site of the publication that quoted it
    bool quoted = false;       // ratedBy is a publication quoting the maker
    bool floor = false;        // the maker says "over" this figure

    bool mechanicalShutter() const noexcept { return rated != 0; }
};

// The row for a model string, compared exactly after dropping trailing spaces and NULs; nullptr
// when the table has none.
const ShutterRating* findRating(std::string_view model) noexcept;
