#pragma once
// Owners for strings and buffers that the portable-device service hands out: they come from
// the COM task allocator and go back to it, on every path.

#include <windows.h>
#include <objbase.h>

#include <memory>

struct CoTaskMemDeleter {
    void operator()(void* block) const noexcept { CoTaskMemFree(block); }
};

using CoTaskString = std::unique_ptr<wchar_t, CoTaskMemDeleter>;
using CoTaskBuffer = std::unique_ptr<BYTE, CoTaskMemDeleter>;
