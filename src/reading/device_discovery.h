#pragma once
// Which listed portable device gets read, decided from the texts the service reports for it.
// Platform-free: the service only produces the texts.

#include <cstdint>
#include <string>
#include <string_view>

// A device text as the service reported it, fit for one log line and a message: printable
// characters are kept, every other one becomes "?" (control characters, lone surrogate
// halves, line and paragraph separators, and the marks that reverse or embed text direction).
std::wstring printableText(std::wstring_view text);

// True when needle occurs in text with both folded by towlower, character by character.
// An empty needle is in every text.
bool containsNoCase(std::wstring_view text, std::wstring_view needle);

// Scans the device list in order: the first Canon or Fujifilm camera is chosen, and the first
// camera of a brand that is not read over USB is remembered for the user's message.
class CameraPicker {
public:
    // Called once per listed device, in list order.
    void consider(std::int32_t index, std::wstring_view friendlyName, std::wstring_view manufacturer);

    bool found() const noexcept { return chosenIndex_ >= 0; }
    std::int32_t chosenIndex() const noexcept { return chosenIndex_; }
    // The Canon reader runs when the chosen device passed the Canon test, Fujifilm's too or not.
    bool chosenIsCanon() const noexcept { return chosenIsCanon_; }
    const std::wstring& otherBrandManufacturer() const noexcept { return otherBrand_; }

    // The user's message when nothing was chosen.
    std::wstring noCameraMessage() const;

private:
    std::int32_t chosenIndex_ = -1;
    bool chosenIsCanon_ = false;
    std::wstring otherBrand_;
};
