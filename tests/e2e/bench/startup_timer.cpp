// startup_timer EXE CLASS RUNS: starts EXE RUNS times and prints, for each start, the
// milliseconds until a visible window of CLASS belonging to it exists, then closes it;
// last line "median N".

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

struct Search {
    DWORD processId;
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK match(HWND window, LPARAM lParam)
{
    auto* search = reinterpret_cast<Search*>(lParam);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    if (owner != search->processId || std::wcscmp(name, search->className) != 0 || !IsWindowVisible(window))
        return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: startup_timer EXE CLASS RUNS\n");
        return 2;
    }
    const int runs = _wtoi(argv[3]);
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        std::wstring commandLine = std::wstring(L"\"") + argv[1] + L"\"";
        LARGE_INTEGER frequency, begin, now;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&begin);
        if (!CreateProcessW(argv[1], commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process)) {
            std::fprintf(stderr, "startup_timer: cannot start the program\n");
            return 1;
        }
        Search search{process.dwProcessId, argv[2], nullptr};
        for (int i = 0; i < 30000 && !search.found; ++i) {
            EnumWindows(match, reinterpret_cast<LPARAM>(&search));
            if (!search.found) Sleep(1);
        }
        QueryPerformanceCounter(&now);
        const double ms = 1000.0 * static_cast<double>(now.QuadPart - begin.QuadPart) / frequency.QuadPart;
        if (search.found) PostMessageW(search.found, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        if (!search.found) {
            std::fprintf(stderr, "startup_timer: no window appeared\n");
            return 1;
        }
        times.push_back(ms);
        std::printf("run %d %.1f\n", run + 1, ms);
    }
    std::sort(times.begin(), times.end());
    std::printf("median %.1f\n", times[times.size() / 2]);
    return 0;
}
