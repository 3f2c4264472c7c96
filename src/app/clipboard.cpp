#include "app/clipboard.h"

#include <cstring>

namespace {

// A moveable global block that is freed unless the clipboard took it over.
struct GlobalBlock {
    HGLOBAL handle = nullptr;
    ~GlobalBlock()
    {
        if (handle) GlobalFree(handle);
    }
};

}  // namespace

bool putTextOnClipboard(HWND owner, std::wstring_view text)
{
    GlobalBlock block;
    block.handle = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    if (!block.handle) return false;
    auto* target = static_cast<wchar_t*>(GlobalLock(block.handle));
    if (!target) return false;
    std::memcpy(target, text.data(), text.size() * sizeof(wchar_t));
    target[text.size()] = L'\0';
    GlobalUnlock(block.handle);

    if (!OpenClipboard(owner)) return false;
    bool placed = false;
    if (EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, block.handle)) {
        block.handle = nullptr;  // the clipboard owns it now
        placed = true;
    }
    CloseClipboard();
    return placed;
}
