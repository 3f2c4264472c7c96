#pragma once
// Putting Unicode text on the clipboard without losing what the user had there.

#include <windows.h>

#include <string_view>

// Places `text` as CF_UNICODETEXT. The memory is made ready before the clipboard is opened,
// so a failure leaves the user's clipboard untouched except when SetClipboardData itself
// fails after emptying. True only when the clipboard took the text.
bool putTextOnClipboard(HWND owner, std::wstring_view text);
