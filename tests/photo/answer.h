#pragma once
// What a built file must give, and the check of it, for the tables of model rules.

#include <cstdint>
#include <variant>

#include <gtest/gtest.h>

#include "photo/photo_reader.h"
#include "photo/photo_text.h"

namespace fixture {

// This count, or no count for this reason.
using Answer = std::variant<std::uint32_t, NoCount>;

inline void expectAnswer(const PhotoReading& r, const Answer& answer)
{
    if (const auto* count = std::get_if<std::uint32_t>(&answer)) {
        EXPECT_EQ(r.count, *count) << r.message;
        EXPECT_FALSE(r.source.empty());
    } else {
        EXPECT_FALSE(r.count.has_value()) << *r.count << " from " << r.source;
        EXPECT_EQ(r.message, noCountText(std::get<NoCount>(answer)));
    }
}

}  // namespace fixture
