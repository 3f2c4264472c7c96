#include "app/main_window.h"

#include <commctrl.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <system_error>

#include "app/clipboard.h"
#include "app/display_text.h"
#include "link/reading_link.h"
#include "link/site.h"
#include "reading/read_job.h"
#include "reading/reading.h"

namespace {

// Texts the window shows.
constexpr wchar_t kInstructionText[] =
    L"Plug in your Canon or Fujifilm camera by USB and switch it on. Close EOS Utility if it opens. "
    L"Then click Read camera.";
constexpr wchar_t kNoReadingYet[] = L"No reading yet";
constexpr wchar_t kReadOnlyNote[] = L"Read-only. Your camera's settings stay as they are.";
constexpr wchar_t kReadCameraLabel[] = L"Read camera";
constexpr wchar_t kReadAgainLabel[] = L"Read again";
constexpr wchar_t kResultLabel[] = L"See full result on Tallybrook";
constexpr wchar_t kCopyLabel[] = L"Copy details";
constexpr wchar_t kCopiedLabel[] = L"Copied";
constexpr wchar_t kReadingHeadline[] = L"Reading the camera...";
constexpr wchar_t kReadingDetail[] = L"Keep the camera on and connected.";
constexpr wchar_t kNoReadingHeadline[] = L"No reading";
constexpr wchar_t kVersionLine[] = L"Tallybrook for Windows 0.1.0";
constexpr wchar_t kReportHeader[] = L"Tallybrook for Windows report\r\n";
constexpr wchar_t kLineEnd[] = L"\r\n";

// The headline's dark green, the same as the icon's background.
constexpr COLORREF kHeadlineColour = RGB(27, 33, 30);

enum class FontKind { Ui, Headline, Log };

struct WindowState {
    int dpi = 96;
    HFONT uiFont = nullptr;
    HFONT headlineFont = nullptr;
    HFONT logFont = nullptr;
    HWND mainWindow = nullptr;

    bool busy = false;
    Reading lastReading;
    std::wstring logText;
    HWND readButton = nullptr;
    HWND resultButton = nullptr;
    HWND copyButton = nullptr;
    HWND logBox = nullptr;
    HWND headline = nullptr;
    HWND detailLine = nullptr;
    HWND focusWhenDeactivated = nullptr;
    WNDPROC logBoxEditProc = nullptr;
    int defaultButtonId = kReadButtonId;  // pressed by Enter when the focus is on no push button

    ReadStarter readStarter = static_cast<ReadStarter>(&startRead);
};

// The one place the window keeps its state; only the window's thread touches it.
WindowState state;

HFONT fontOf(FontKind kind)
{
    switch (kind) {
    case FontKind::Headline: return state.headlineFont;
    case FontKind::Log: return state.logFont;
    case FontKind::Ui: break;
    }
    return state.uiFont;
}

// The controls in creation order, in design units.
struct ControlLayout {
    int id;
    const wchar_t* className;
    DWORD style;
    int x, y, width, height;
    FontKind font;
    HWND WindowState::*handle;  // null: not kept
};

constexpr DWORD kStaticStyle = SS_LEFT;
constexpr DWORD kReadButtonStyle = WS_TABSTOP | BS_DEFPUSHBUTTON;  // 0x00010001
constexpr DWORD kButtonStyle = WS_TABSTOP;                         // 0x00010000
constexpr DWORD kLogBoxStyle = WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY;  // 0x00A00844

constexpr ControlLayout kControls[] = {
    {kInstructionId, L"STATIC", kStaticStyle, 20, 16, 520, 40, FontKind::Ui, nullptr},
    {kHeadlineId, L"STATIC", kStaticStyle, 20, 64, 520, 40, FontKind::Headline, &WindowState::headline},
    {kDetailLineId, L"STATIC", kStaticStyle, 20, 106, 520, 36, FontKind::Ui, &WindowState::detailLine},
    {kReadButtonId, L"BUTTON", kReadButtonStyle, 20, 148, 130, 32, FontKind::Ui, &WindowState::readButton},
    {kResultButtonId, L"BUTTON", kButtonStyle, 160, 148, 230, 32, FontKind::Ui, &WindowState::resultButton},
    {kCopyButtonId, L"BUTTON", kButtonStyle, 400, 148, 140, 32, FontKind::Ui, &WindowState::copyButton},
    {kLogBoxId, L"EDIT", kLogBoxStyle, 20, 194, 520, 150, FontKind::Log, &WindowState::logBox},
    {kPrivacyNoteId, L"STATIC", kStaticStyle, 20, 352, 520, 20, FontKind::Ui, nullptr},
};

constexpr int kClientWidth = 560;
constexpr int kClientHeight = 384;

std::wstring initialText(int id)
{
    switch (id) {
    case kInstructionId: return kInstructionText;
    case kHeadlineId: return kNoReadingYet;
    case kDetailLineId: return kReadOnlyNote;
    case kReadButtonId: return kReadCameraLabel;
    case kResultButtonId: return kResultLabel;
    case kCopyButtonId: return kCopyLabel;
    case kPrivacyNoteId:
        return std::wstring(L"Nothing is uploaded. Results open on ") + resultSiteHost +
               L" only when you click the button.";
    default: return {};
    }
}

HFONT makeFont(int points, int weight, const wchar_t* face, int dpi)
{
    return CreateFontW(-MulDiv(points, dpi, 72), 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                       face);
}

HWND createControl(const wchar_t* className, const wchar_t* text, DWORD style, int x, int y, int width,
                   int height, int id, HFONT font)
{
    HWND control = CreateWindowExW(0, className, text, style | WS_CHILD | WS_VISIBLE, scaled(x), scaled(y),
                                   scaled(width), scaled(height), state.mainWindow,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                                   nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    return control;
}

void appendLog(const std::wstring& line)
{
    state.logText += line;
    state.logText += kLineEnd;
    SetWindowTextW(state.logBox, state.logText.c_str());
    const auto end = static_cast<WPARAM>(state.logText.size());
    SendMessageW(state.logBox, EM_SETSEL, end, static_cast<LPARAM>(end));
    SendMessageW(state.logBox, EM_SCROLLCARET, 0, 0);
}

// A multi-line edit asked for its dialog code by IsDialogMessageW claims every key and takes
// the dialog's part for itself: Esc posts WM_CLOSE to its parent, which would close the
// window and lose the reading, and Tab asks the parent for the next control, which a plain
// window ignores. Without those claims the message loop treats Tab and Esc as for the buttons:
// Tab moves the focus on, Esc sends IDCANCEL, which the window does not act on.
LRESULT CALLBACK logBoxProc(HWND logBox, UINT message, WPARAM wParam, LPARAM lParam)
{
    const LRESULT result = CallWindowProcW(state.logBoxEditProc, logBox, message, wParam, lParam);
    if (message == WM_GETDLGCODE) return result & ~(DLGC_WANTALLKEYS | DLGC_WANTTAB);
    return result;
}

// IsDialogMessageW treats the window as a dialog: as Tab moves the focus it takes the default
// look from every button, gives it to a focused push button, and asks the window for its
// default button (DM_GETDEFID) to give the look back to and to press on Enter. The focus moved
// by this code or by the mouse follows the same rule here, so Enter presses the button that
// looks like the default: the focused one, else "Read camera".
void showDefaultButton(HWND focus)
{
    const bool onButton =
        focus && (SendMessageW(focus, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON));
    HWND owner = onButton ? focus : GetDlgItem(state.mainWindow, state.defaultButtonId);
    for (HWND button : {state.readButton, state.resultButton, state.copyButton})
        SendMessageW(button, BM_SETSTYLE, button == owner ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void focusControl(HWND control)
{
    SetFocus(control);
    showDefaultButton(control);
}

// What a dialog's own procedure answers; a plain window's answer of 0 leaves Enter nowhere.
LRESULT onGetDefId()
{
    return MAKELRESULT(state.defaultButtonId, DC_HASDEFID);
}

LRESULT onSetDefId(WPARAM id)
{
    state.defaultButtonId = static_cast<int>(id);
    showDefaultButton(GetFocus());
    return TRUE;
}

LRESULT onCreate(HWND window)
{
    state.mainWindow = window;
    // A new window starts with no reading and an empty log.
    state.busy = false;
    state.lastReading = Reading{};
    state.logText.clear();
    for (const ControlLayout& layout : kControls) {
        const std::wstring text = initialText(layout.id);
        HWND control = createControl(layout.className, text.c_str(), layout.style, layout.x, layout.y, layout.width,
                                     layout.height, layout.id, fontOf(layout.font));
        if (layout.handle) state.*layout.handle = control;
        if (layout.id == kCopyButtonId) EnableWindow(state.resultButton, FALSE);
    }
    state.logBoxEditProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(state.logBox, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&logBoxProc)));
    state.focusWhenDeactivated = nullptr;
    state.defaultButtonId = kReadButtonId;
    focusControl(state.readButton);
    return 0;
}

// DefWindowProcW gives a reactivated window the focus itself, so no button would have it and
// Enter and Space would do nothing: keep the focused control, as dialogs do, and give it back.
LRESULT onActivate(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        state.focusWhenDeactivated = focus && IsChild(window, focus) ? focus : nullptr;
        return 0;
    }
    HWND saved = state.focusWhenDeactivated;
    if (!HIWORD(wParam) && saved && IsWindow(saved) && IsWindowEnabled(saved)) {
        focusControl(saved);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A reading that could not begin: back to a state where the user can try again.
void showReadCouldNotStart()
{
    state.busy = false;
    EnableWindow(state.readButton, TRUE);
    SetWindowTextW(state.headline, kNoReadingHeadline);
    SetWindowTextW(state.detailLine, kNoThreadMessage);
}

void onReadCommand()
{
    if (state.busy) return;
    state.busy = true;
    EnableWindow(state.readButton, FALSE);
    EnableWindow(state.resultButton, FALSE);
    SetWindowTextW(state.headline, kReadingHeadline);
    SetWindowTextW(state.detailLine, kReadingDetail);
    state.logText.clear();
    appendLog(kVersionLine);
    try {
        state.readStarter(state.mainWindow);
    } catch (const std::system_error&) {
        // No thread could be made (out of threads or memory) and no reading will arrive:
        // the window must not stay in its reading state.
        showReadCouldNotStart();
    }
}

void onResultCommand()
{
    if (!state.lastReading.ok) return;
    const std::wstring link = readingLink(state.lastReading);
    ShellExecuteW(state.mainWindow, L"open", link.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void onCopyCommand()
{
    const std::wstring report = kReportHeader + state.logText;
    if (!putTextOnClipboard(state.mainWindow, report)) return;
    SetWindowTextW(state.copyButton, kCopiedLabel);
    SetTimer(state.mainWindow, kCopyFeedbackTimer, kCopyFeedbackMs, nullptr);
}

LRESULT onCommand(WPARAM wParam)
{
    // A click into the log gives it the focus without the dialog manager's help.
    if (LOWORD(wParam) == kLogBoxId && HIWORD(wParam) == EN_SETFOCUS) {
        showDefaultButton(state.logBox);
        return 0;
    }
    switch (LOWORD(wParam)) {
    case kReadButtonId: onReadCommand(); break;
    case kResultButtonId: onResultCommand(); break;
    case kCopyButtonId: onCopyCommand(); break;
    default: break;
    }
    return 0;
}

LRESULT onTimer()
{
    KillTimer(state.mainWindow, kCopyFeedbackTimer);
    SetWindowTextW(state.copyButton, kCopyLabel);
    return 0;
}

LRESULT onCtlColorStatic(HDC dc, HWND control)
{
    SetBkMode(dc, TRANSPARENT);
    if (control == state.headline) SetTextColor(dc, kHeadlineColour);
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
}

LRESULT onLogLine(LPARAM lParam)
{
    std::unique_ptr<std::wstring> line(reinterpret_cast<std::wstring*>(lParam));
    if (line) appendLog(*line);
    return 0;
}

LRESULT onReadingDone(LPARAM lParam)
{
    std::unique_ptr<Reading> reading(reinterpret_cast<Reading*>(lParam));
    if (!reading) return 0;
    state.busy = false;
    state.lastReading = *reading;
    reading.reset();

    EnableWindow(state.readButton, TRUE);
    SetWindowTextW(state.readButton, kReadAgainLabel);
    const Reading& shown = state.lastReading;
    if (shown.ok) {
        SetWindowTextW(state.headline, countHeadline(shown.count).c_str());
        SetWindowTextW(state.detailLine, detailText(shown.model, shown.firmware).c_str());
        EnableWindow(state.resultButton, TRUE);
        focusControl(state.resultButton);
    } else {
        SetWindowTextW(state.headline, kNoReadingHeadline);
        SetWindowTextW(state.detailLine, shown.message.c_str());
    }
    return 0;
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: return onCreate(window);
    case WM_ACTIVATE: return onActivate(window, message, wParam, lParam);
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_COMMAND: return onCommand(wParam);
    case WM_TIMER: return onTimer();
    case WM_CTLCOLORSTATIC: return onCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_LOG_LINE: return onLogLine(lParam);
    case WM_READING_DONE: return onReadingDone(lParam);
    case DM_GETDEFID: return onGetDefId();
    case DM_SETDEFID: return onSetDefId(wParam);
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

int scaled(int designUnits)
{
    return MulDiv(designUnits, state.dpi, 96);
}

int measureDpi()
{
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

void initWindowFonts(int dpi)
{
    state.dpi = dpi;
    state.uiFont = makeFont(10, FW_NORMAL, L"Segoe UI", dpi);
    state.headlineFont = makeFont(20, FW_SEMIBOLD, L"Segoe UI", dpi);
    state.logFont = makeFont(9, FW_NORMAL, L"Consolas", dpi);
}

void registerMainWindowClass(HINSTANCE instance)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = 0;
    windowClass.lpfnWndProc = mainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    // The icon carries its own 16 and 24 px artwork: the caption and taskbar get the image made
    // for the system's small size rather than the large one scaled down.
    windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                        GetSystemMetrics(SM_CXSMICON),
                                                        GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    windowClass.lpszClassName = kMainWindowClass;
    RegisterClassExW(&windowClass);
}

HWND createMainWindow(HINSTANCE instance)
{
    RECT frame{0, 0, scaled(kClientWidth), scaled(kClientHeight)};
    AdjustWindowRect(&frame, kMainWindowStyle, FALSE);
    return CreateWindowExW(0, kMainWindowClass, kMainWindowTitle, kMainWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                           frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, nullptr);
}

int runMessageLoop(HWND mainWindow)
{
    // Without its window nothing would ever post WM_QUIT: the process would wait forever.
    if (!mainWindow) return 1;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(mainWindow, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

void setReadStarter(ReadStarter starter)
{
    state.readStarter = starter;
}
