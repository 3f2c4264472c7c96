#pragma once
// The texts the main window shows for a reading that gave a count.

#include <cstdint>
#include <string>

// "12,345 shutter actuations": a comma before every group of three digits from the right.
std::wstring countHeadline(std::uint32_t count);

// The model, then "   firmware " and the version when the camera gave one.
std::wstring detailText(const std::string& model, const std::string& firmware);
