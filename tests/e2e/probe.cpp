// probe: a console program that acts on the running Tallybrook window for scripts, one action
// per run, and prints what it sees as lines of "name value" (texts in UTF-8, CR and LF as
// \r and \n). Exit code 0 on success, 1 when the window or the awaited text did not come.
//
//   probe wait [ms]              window 0x...   (the main window, once its controls exist)
//   probe state                  window/client/text/enabled/focus/style lines
//   probe click ID               BM_CLICK on control ID
//   probe waittext ID TEXT [ms]  until control ID shows TEXT
//   probe waitnot ID TEXT [ms]   until control ID no longer shows TEXT
//   probe tab | clipboard | close

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "window_probe.h"

namespace {

std::string utf8(const std::wstring& text)
{
    std::string escaped;
    for (wchar_t c : text) {
        if (c == L'\r') escaped += "\\r";
        else if (c == L'\n') escaped += "\\n";
        else {
            char bytes[8];
            const int n = WideCharToMultiByte(CP_UTF8, 0, &c, 1, bytes, sizeof bytes, nullptr, nullptr);
            escaped.append(bytes, n > 0 ? n : 0);
        }
    }
    return escaped;
}

void printRect(const char* name, int id, const RECT& r)
{
    if (id) std::printf("%s %d %ld %ld %ld %ld\n", name, id, r.left, r.top, r.right, r.bottom);
    else std::printf("%s %ld %ld %ld %ld\n", name, r.left, r.top, r.right, r.bottom);
}

void printState(HWND window)
{
    RECT frame{};
    GetWindowRect(window, &frame);
    printRect("window", 0, frame);
    const RECT client = probe::clientRect(window);
    std::printf("client %ld %ld\n", client.right - client.left, client.bottom - client.top);
    std::printf("style 0x%08lX\n", static_cast<unsigned long>(probe::style(window)));
    for (int id = 101; id <= 108; ++id) {
        std::printf("text %d %s\n", id, utf8(probe::text(window, id)).c_str());
        std::printf("enabled %d %d\n", id, probe::enabled(window, id) ? 1 : 0);
        printRect("rect", id, probe::controlRect(window, id));
    }
    std::printf("focus %d\n", probe::focusId(window));
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: probe wait|state|click|waittext|waitnot|tab|clipboard|close ...\n");
        return 2;
    }
    const std::wstring action = argv[1];
    const DWORD findMs = action == L"wait" && argc > 2 ? std::wcstoul(argv[2], nullptr, 10) : 10000;
    HWND window = probe::findMainWindow(0, findMs);
    if (!window) {
        std::printf("window none\n");
        return 1;
    }
    if (action == L"wait") {
        std::printf("window 0x%llx\n", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
    } else if (action == L"state") {
        printState(window);
    } else if (action == L"click" && argc > 2) {
        probe::click(window, _wtoi(argv[2]));
    } else if ((action == L"waittext" || action == L"waitnot") && argc > 3) {
        const DWORD ms = argc > 4 ? std::wcstoul(argv[4], nullptr, 10) : 30000;
        const bool ok = probe::waitForText(window, _wtoi(argv[2]), argv[3], ms, action == L"waittext");
        std::printf("text %d %s\n", _wtoi(argv[2]), utf8(probe::text(window, _wtoi(argv[2]))).c_str());
        return ok ? 0 : 1;
    } else if (action == L"tab") {
        probe::pressTab(window);
        std::printf("focus %d\n", probe::focusId(window));
    } else if (action == L"clipboard") {
        const auto text = probe::clipboardText();
        std::printf("clipboard %s\n", text ? utf8(*text).c_str() : "(none)");
    } else if (action == L"close") {
        probe::close(window);
    } else {
        std::fprintf(stderr, "probe: unknown action\n");
        return 2;
    }
    return 0;
}
