#pragma once
// The main window: its class, its creation and its procedure. Everything here runs on the
// window's thread; the read job reaches it only through WM_LOG_LINE and WM_READING_DONE.

#include <windows.h>

inline constexpr wchar_t kMainWindowClass[] = L"TallybrookWnd";
inline constexpr wchar_t kMainWindowTitle[] = L"Tallybrook for Windows";

// WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX: fixed size, no maximise box, no sizing border.
inline constexpr DWORD kMainWindowStyle = 0x00CA0000;

// Control identifiers, as the probe and the tests see them too.
enum ControlId : int {
    kReadButtonId = 101,
    kResultButtonId = 102,
    kCopyButtonId = 103,
    kLogBoxId = 104,
    kHeadlineId = 105,
    kDetailLineId = 106,
    kInstructionId = 107,
    kPrivacyNoteId = 108,
};

inline constexpr UINT_PTR kCopyFeedbackTimer = 1;
inline constexpr UINT kCopyFeedbackMs = 1500;

// The screen's vertical logical DPI, read once at start-up.
int measureDpi();

// Makes the three fonts for `dpi` and remembers both; called once before the window exists.
void initWindowFonts(int dpi);

// Registers "TallybrookWnd"; its result is not needed by anyone.
void registerMainWindowClass(HINSTANCE instance);

// Creates the fixed-size main window with all its controls (they are built on WM_CREATE).
HWND createMainWindow(HINSTANCE instance);

// GetMessageW until WM_QUIT, each message offered to IsDialogMessageW first (Tab, Shift+Tab, Enter);
// returns 0. With no window (its creation failed) it returns 1 at once.
int runMessageLoop(HWND mainWindow);

// How the read command starts the job; startRead unless a test puts in its own.
using ReadStarter = void (*)(HWND mainWindow);
void setReadStarter(ReadStarter starter);

// Design units (pixels at 96 DPI) to pixels at the measured DPI, rounded to nearest.
int scaled(int designUnits);
