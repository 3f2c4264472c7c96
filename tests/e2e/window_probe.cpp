#include "window_probe.h"

#include <vector>

namespace probe {
namespace {

constexpr UINT kSendTimeoutMs = 10000;

struct Search {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM lParam)
{
    auto* search = reinterpret_cast<Search*>(lParam);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (std::wstring(className) != kWindowClass) return TRUE;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (search->processId != 0 && owner != search->processId) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

HWND findMainWindow(DWORD processId, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    do {
        Search search{processId, nullptr};
        EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
        // FindWindow can win the race with WM_CREATE: wait for the last control too.
        if (search.found && GetDlgItem(search.found, kLastControlId)) return search.found;
        Sleep(20);
    } while (GetTickCount64() < deadline);
    return nullptr;
}

HWND control(HWND mainWindow, int id)
{
    return GetDlgItem(mainWindow, id);
}

std::wstring text(HWND window)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &length)) return {};
    std::vector<wchar_t> buffer(length + 1);
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                        SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied);
    return std::wstring(buffer.data(), copied);
}

std::wstring text(HWND mainWindow, int id)
{
    return text(control(mainWindow, id));
}

bool enabled(HWND mainWindow, int id)
{
    return IsWindowEnabled(control(mainWindow, id)) != FALSE;
}

int focusId(HWND mainWindow)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(mainWindow, nullptr), &info) || !info.hwndFocus) return -1;
    if (info.hwndFocus == mainWindow) return 0;
    return GetDlgCtrlID(info.hwndFocus);
}

RECT clientRect(HWND mainWindow)
{
    RECT rect{};
    GetClientRect(mainWindow, &rect);
    return rect;
}

RECT controlRect(HWND mainWindow, int id)
{
    RECT rect{};
    GetWindowRect(control(mainWindow, id), &rect);
    MapWindowPoints(nullptr, mainWindow, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

LONG style(HWND window)
{
    return GetWindowLongW(window, GWL_STYLE);
}

void click(HWND mainWindow, int id)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutW(control(mainWindow, id), BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
}

void postCommand(HWND mainWindow, int id)
{
    PostMessageW(mainWindow, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control(mainWindow, id)));
}

void pressKey(HWND mainWindow, UINT virtualKey)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(mainWindow, nullptr), &info);
    HWND target = info.hwndFocus ? info.hwndFocus : mainWindow;
    const UINT scan = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    PostMessageW(target, WM_KEYDOWN, virtualKey, 1 | (scan << 16));
    PostMessageW(target, WM_KEYUP, virtualKey, 1 | (scan << 16) | (1u << 30) | (1u << 31));
}

void pressTab(HWND mainWindow)
{
    const int before = focusId(mainWindow);
    pressKey(mainWindow, VK_TAB);
    // Posted keys are taken after any sent message, so no round trip tells when they were
    // handled: wait for the focus to move (it stays only when nothing else can take it).
    const ULONGLONG deadline = GetTickCount64() + 2000;
    while (focusId(mainWindow) == before && GetTickCount64() < deadline) Sleep(10);
}

void clickInto(HWND mainWindow, int id)
{
    HWND target = control(mainWindow, id);
    const LPARAM at = MAKELPARAM(4, 4);  // inside the border, on the first line
    PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(target, WM_LBUTTONUP, 0, at);
    const ULONGLONG deadline = GetTickCount64() + 2000;
    while (focusId(mainWindow) != id && GetTickCount64() < deadline) Sleep(10);
}

namespace {

bool openClipboardRetrying()
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (OpenClipboard(nullptr)) return true;
        Sleep(10);
    }
    return false;
}

}  // namespace

std::optional<std::wstring> clipboardText()
{
    if (!openClipboardRetrying()) return std::nullopt;
    std::optional<std::wstring> result;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            result = std::wstring(chars);
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return result;
}

bool setClipboardText(const std::wstring& text)
{
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    if (!memory) return false;
    auto* chars = static_cast<wchar_t*>(GlobalLock(memory));
    std::copy(text.begin(), text.end(), chars);
    chars[text.size()] = L'\0';
    GlobalUnlock(memory);
    if (!openClipboardRetrying()) {
        GlobalFree(memory);
        return false;
    }
    EmptyClipboard();
    const bool placed = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    if (!placed) GlobalFree(memory);
    CloseClipboard();
    return placed;
}

bool waitForText(HWND mainWindow, int id, const std::wstring& expected, DWORD timeoutMs, bool equal)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if ((text(mainWindow, id) == expected) == equal) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(10);
    }
}

void close(HWND mainWindow)
{
    PostMessageW(mainWindow, WM_CLOSE, 0, 0);
}

}  // namespace probe
