#pragma once
// Acting on Tallybrook's main window from another process, as a person would: find it, click,
// read texts, enabled state, focus, rectangles and the clipboard, press Tab, close it.

#include <windows.h>

#include <optional>
#include <string>

namespace probe {

inline constexpr wchar_t kWindowClass[] = L"TallybrookWnd";
inline constexpr int kLastControlId = 108;  // made last on WM_CREATE: when it exists, all do

// The main window of process `processId` (0: of any process), once all its controls exist.
HWND findMainWindow(DWORD processId, DWORD timeoutMs);

HWND control(HWND mainWindow, int id);

// WM_GETTEXT: cross-process GetWindowTextW returns nothing for an EDIT.
std::wstring text(HWND window);
std::wstring text(HWND mainWindow, int id);

bool enabled(HWND mainWindow, int id);

// The control id holding keyboard focus in the window's thread; 0 for the main window itself,
// -1 for none.
int focusId(HWND mainWindow);

RECT clientRect(HWND mainWindow);
// A control's rectangle in the main window's client coordinates.
RECT controlRect(HWND mainWindow, int id);
LONG style(HWND window);

// BM_CLICK, as the mouse does it; returns once the window has handled it.
void click(HWND mainWindow, int id);
// WM_COMMAND for `id` posted to the main window, as a keyboard accelerator would send it.
void postCommand(HWND mainWindow, int id);
// Tab pressed in the control that has the focus.
void pressTab(HWND mainWindow);
// A key pressed and released in the control that has the focus (the main window when none
// has it), as the keyboard sends it. Returns at once: the keys are posted, not yet handled.
void pressKey(HWND mainWindow, UINT virtualKey);
// The left mouse button pressed and released inside control `id`, which takes the focus as
// under a real click; returns once the focus is there, or after two seconds.
void clickInto(HWND mainWindow, int id);

// CF_UNICODETEXT, or nothing when the clipboard holds no text.
std::optional<std::wstring> clipboardText();
// Puts `text` on the clipboard (to see later whether something replaced or emptied it).
bool setClipboardText(const std::wstring& text);

// Polls text(mainWindow, id) every 10 ms until it equals (or, with `equal` false, differs
// from) `expected`; true when that happened within `timeoutMs`.
bool waitForText(HWND mainWindow, int id, const std::wstring& expected, DWORD timeoutMs, bool equal = true);

void close(HWND mainWindow);

}  // namespace probe
