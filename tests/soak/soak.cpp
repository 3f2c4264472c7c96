// soak APP READS WORKDIR [PREFIX]: starts Tallybrook.exe and clicks "Read camera" READS times in a
// row, the simulated service's scenario rewritten before each read (the service is loaded
// afresh for every reading): Fujifilm and Canon bodies with their counts, and failures. It
// checks every headline, pings the window all through each reading, and compares the
// process's GDI and USER objects, handles, threads and memory after the last read with what
// they were after the first few.
//
// Prints one "name before after" line per figure, the window's slowest answers and what giving
// the log box a new text costs (the window's own share of every log line); exit
// status 0 when nothing grew and every reading and every answer was as it should be.

#include <windows.h>
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "window_probe.h"

namespace {

constexpr int kHeadline = 105;
constexpr int kDetail = 106;
constexpr int kRead = 101;
constexpr int kLogBox = 104;
constexpr wchar_t kReading[] = L"Reading the camera...";
constexpr double kAnswerMs = 16.0;  // one frame at 60 Hz
constexpr unsigned kWarmUpReads = 10;

struct Sample {
    DWORD gdi = 0, user = 0, handles = 0, threads = 0, windows = 0;
    SIZE_T workingSet = 0, privateBytes = 0;
    // Under Wine the same process seen from Linux (/proc through drive Z:), where Wine's
    // GetGuiResources and handle count give nothing: resident and data memory, threads and
    // open files of the whole process.
    unsigned long long rssKiB = 0, dataKiB = 0, unixThreads = 0, files = 0;
};

std::string readFile(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

unsigned long long statusField(const std::string& status, const char* name)
{
    const auto at = status.find(std::string("\n") + name + ":");
    return at == std::string::npos ? 0 : std::strtoull(status.c_str() + at + std::strlen(name) + 2, nullptr, 10);
}

// The Linux process that runs Tallybrook.exe in this soak's prefix, or empty off Wine.
std::wstring unixProcess(const std::string& prefix)
{
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(L"Z:\\proc\\*", &entry);
    if (find == INVALID_HANDLE_VALUE) return {};
    std::wstring found;
    do {
        const std::wstring name = entry.cFileName;
        if (name.empty() || name.find_first_not_of(L"0123456789") != std::wstring::npos) continue;
        const std::wstring dir = L"Z:\\proc\\" + name;
        // The program itself, not one that names it among its arguments (as this one does).
        const std::string command = readFile(dir + L"\\cmdline");
        const std::string program = command.substr(0, command.find('\0'));
        const std::string exe = "Tallybrook.exe";
        if (program.size() < exe.size() || program.compare(program.size() - exe.size(), exe.size(), exe) != 0)
            continue;
        const std::string environment = readFile(dir + L"\\environ");
        if (environment.find(std::string("WINEPREFIX=") + prefix + '\0') == std::string::npos) continue;
        found = dir;
        break;
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return found;
}

BOOL CALLBACK countWindow(HWND, LPARAM count)
{
    ++*reinterpret_cast<DWORD*>(count);
    return TRUE;
}

Sample sample(HANDLE process, DWORD processId, HWND window, const std::wstring& unixDir)
{
    Sample s;
    EnumChildWindows(window, countWindow, reinterpret_cast<LPARAM>(&s.windows));
    if (!unixDir.empty()) {
        const std::string status = "\n" + readFile(unixDir + L"\\status");
        s.rssKiB = statusField(status, "VmRSS");
        s.dataKiB = statusField(status, "VmData");
        s.unixThreads = statusField(status, "Threads");
        WIN32_FIND_DATAW entry;
        HANDLE find = FindFirstFileW((unixDir + L"\\fd\\*").c_str(), &entry);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                if (entry.cFileName[0] != L'.') ++s.files;
            } while (FindNextFileW(find, &entry));
            FindClose(find);
        }
    }
    s.gdi = GetGuiResources(process, GR_GDIOBJECTS);
    s.user = GetGuiResources(process, GR_USEROBJECTS);
    GetProcessHandleCount(process, &s.handles);
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
        s.workingSet = memory.WorkingSetSize;
        s.privateBytes = memory.PrivateUsage;
    }
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot != INVALID_HANDLE_VALUE) {
        THREADENTRY32 entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
            if (entry.th32OwnerProcessID == processId) ++s.threads;
        CloseHandle(snapshot);
    }
    return s;
}

std::wstring grouped(unsigned long value)
{
    std::wstring digits = std::to_wstring(value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<std::size_t>(at), L",");
    return digits;
}

const char kFujifilm[] = "device usb#vid_04cb&pid_02dd#2\nname X-T3\nmanufacturer FUJIFILM\n"
                         "description Fujifilm Digital Camera\n";
const char kCanon[] = "device usb#vid_04a9&pid_3294#1\nname Canon EOS 80D\nmanufacturer Canon Inc.\n"
                      "description Canon Digital Camera\n";

// One reading: the scenario, and the headline and detail line it must end with.
struct Plan {
    std::string scenario;
    std::wstring headline;
    std::wstring detailStart;
};

// Cameras and failures in turn. The Canon body sends its counter in the first batch, so
// its reading takes one real 250 ms pause.
Plan plan(unsigned read)
{
    const unsigned count = 1000 + read;
    const std::wstring none = L"No reading";
    switch (read % 8) {
    case 0:
    case 4:
        return {std::string(kFujifilm) + "camera fujifilm model=X-T3 firmware=3.20 count=" + std::to_string(count) + "\n",
                grouped(count) + L" shutter actuations", L"X-T3   firmware 3.20"};
    case 2:
    case 6:
        return {std::string(kCanon) + "camera canon model=\"Canon EOS 80D\" firmware=1.0.3 d1ac=" +
                    std::to_string(count) + "\n",
                grouped(count) + L" shutter actuations", L"Canon EOS 80D   firmware 1.0.3"};
    case 1: return {"", none, L"No Canon or Fujifilm camera found."};
    case 3:
        return {std::string(kFujifilm) + "open 0x800700AA\ncamera fujifilm count=5\n", none,
                L"Another program is using the camera."};
    case 5:
        return {std::string(kCanon) + "camera canon d1ac=5\nfault create-manager result=0x80070005\n", none,
                L"Windows' portable device service isn't available (access denied)."};
    default:
        return {std::string(kFujifilm) + "camera fujifilm count=5\nfault send-command command=13 op=0x1001 "
                                         "driver=0x8007001F\n",
                none, L"The camera didn't answer (device stopped responding)."};
    }
}

double milliseconds(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency)
{
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void print(const char* name, unsigned long long before, unsigned long long after)
{
    std::printf("%-16s %12llu %12llu\n", name, before, after);
}

}  // namespace

// How long the window's thread takes to give `control` a new text, asked from here: the
// round trip of one WM_SETTEXT, median and slowest of `times`. The log box takes the whole
// log at every line a reading logs, so this is the window's own share of each log line.
struct TextCost {
    double median = 0, slowest = 0;
};

// Times `call` `times` times, running `between` after each.
template <typename Call, typename Between>
TextCost timeEach(unsigned times, Call call, Between between)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> ms;
    for (unsigned i = 0; i < times; ++i) {
        LARGE_INTEGER before, after;
        QueryPerformanceCounter(&before);
        call();
        QueryPerformanceCounter(&after);
        ms.push_back(milliseconds(before, after, frequency));
        between();
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

TextCost textCost(HWND control, const std::wstring& text, unsigned times)
{
    return timeEach(
        times,
        [&] {
            DWORD_PTR result = 0;
            SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL, 2000,
                                &result);
        },
        [] { Sleep(1); });
}

// The same on an EDIT of this process with the log box's style, and with that style less its
// vertical scroll bar: what Wine's edit control costs for it, Tallybrook aside.
TextCost localEditCost(DWORD style, const std::wstring& text, unsigned times)
{
    HWND frame = CreateWindowExW(0, L"STATIC", L"soak", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 600, 240, nullptr,
                                 nullptr, nullptr, nullptr);
    HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | style, 20, 20, 520, 150, frame, nullptr,
                                nullptr, nullptr);
    const TextCost cost = timeEach(
        times, [&] { SetWindowTextW(edit, text.c_str()); },
        [] {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        });
    DestroyWindow(frame);
    return cost;
}

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4 || argc > 6) {
        std::fprintf(stderr, "usage: soak APP READS WORKDIR [WINEPREFIX [no-service]]\n");
        return 2;
    }
    // Without the simulated service every reading ends at once with the service missing: what
    // the program's own readings cost (thread, messages, log), the service's DLL aside.
    const bool noService = argc == 6 && std::wstring(argv[5]) == L"no-service";
    std::string prefix;
    if (argc >= 5)
        for (const wchar_t* c = argv[4]; *c; ++c) prefix.push_back(static_cast<char>(*c));
    const std::wstring app = argv[1];
    const unsigned reads = static_cast<unsigned>(std::wcstoul(argv[2], nullptr, 10));
    const std::wstring scenarioPath = std::wstring(argv[3]) + L"\\soak-scenario.txt";
    std::ofstream(scenarioPath.c_str(), std::ios::binary) << plan(0).scenario;
    SetEnvironmentVariableW(L"TALLYBROOK_SIM_SCENARIO", scenarioPath.c_str());

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + app + L"\"";
    if (!CreateProcessW(app.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::printf("cannot start %ls\n", app.c_str());
        return 2;
    }
    const HWND window = probe::findMainWindow(process.dwProcessId, 30000);
    if (!window) {
        std::printf("no window\n");
        TerminateProcess(process.hProcess, 1);
        return 2;
    }

    const std::wstring unixDir = prefix.empty() ? std::wstring() : unixProcess(prefix);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);

    // The window's answers while nothing runs: what this machine gives at best.
    double idleSlowest = 0;
    unsigned idleSlow = 0;
    const unsigned idlePings = 500;
    for (unsigned i = 0; i < idlePings; ++i) {
        DWORD_PTR result = 0;
        LARGE_INTEGER before, after;
        QueryPerformanceCounter(&before);
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result);
        QueryPerformanceCounter(&after);
        const double ms = milliseconds(before, after, frequency);
        idleSlowest = std::max(idleSlowest, ms);
        if (ms > kAnswerMs) ++idleSlow;
        Sleep(1);
    }
    // The log box and a one-line static given a reading's log, then put back as they were.
    std::wstring log = L"Tallybrook for Windows 0.1.0\r\n";
    for (int line = 1; line < 10; ++line)
        log += L"GetDeviceInfo -> 0x2001, 391 bytes; a line of a reading's log, number " + std::to_wstring(line) +
               L"\r\n";
    const HWND logBox = probe::control(window, kLogBox);
    const HWND detailLine = probe::control(window, kDetail);
    const std::wstring logBefore = probe::text(logBox), detailBefore = probe::text(detailLine);
    const TextCost logCost = textCost(logBox, log, 50);
    const TextCost detailCost = textCost(detailLine, log.substr(0, 40), 50);
    textCost(logBox, logBefore, 1);
    textCost(detailLine, detailBefore, 1);
    constexpr DWORD kLogBoxStyle = WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY;
    const TextCost editCost = localEditCost(kLogBoxStyle, log, 50);
    const TextCost editNoScrollCost = localEditCost(kLogBoxStyle & ~WS_VSCROLL, log, 50);

    Sample first;
    unsigned wrong = 0, slow = 0, pings = 0, unanswered = 0;
    // When in a reading the slow answers came: right after the click (the worker starting, the
    // service loading), or later (exchanges, the Canon pause while the worker sleeps).
    unsigned slowEarly = 0, slowMiddle = 0, slowLate = 0;
    double slowest = 0, slowestClick = 0;
    const ULONGLONG started = GetTickCount64();
    for (unsigned read = 0; read < reads; ++read) {
        const Plan p = noService ? Plan{"", L"No reading", L"Windows' portable device service isn't available ("}
                                 : plan(read);
        std::ofstream(scenarioPath.c_str(), std::ios::binary | std::ios::trunc) << p.scenario;

        LARGE_INTEGER before, after;
        QueryPerformanceCounter(&before);
        probe::click(window, kRead);
        QueryPerformanceCounter(&after);
        slowestClick = std::max(slowestClick, milliseconds(before, after, frequency));

        const LARGE_INTEGER clicked = after;
        // Round trips through the window's queue until the reading is shown.
        const ULONGLONG deadline = GetTickCount64() + 20000;
        std::wstring headline = kReading;
        while (headline == kReading && GetTickCount64() < deadline) {
            DWORD_PTR result = 0;
            QueryPerformanceCounter(&before);
            const LRESULT answered = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result);
            QueryPerformanceCounter(&after);
            const double ms = milliseconds(before, after, frequency);
            ++pings;
            slowest = std::max(slowest, ms);
            if (!answered) ++unanswered;
            if (ms > kAnswerMs) {
                ++slow;
                const double since = milliseconds(clicked, before, frequency);
                ++(since < 50 ? slowEarly : since < 250 ? slowMiddle : slowLate);
            }
            headline = probe::text(window, kHeadline);
            Sleep(1);
        }
        // A text read while it changed can come back cut: read the shown reading once more.
        Sleep(5);
        headline = probe::text(window, kHeadline);
        const std::wstring detail = probe::text(window, kDetail);
        if (headline != p.headline || detail.rfind(p.detailStart, 0) != 0) {
            if (++wrong <= 5)
                std::printf("read %u: \"%ls\" / \"%ls\", expected \"%ls\" / \"%ls...\"\n", read + 1, headline.c_str(),
                            detail.c_str(), p.headline.c_str(), p.detailStart.c_str());
        }
        if (read + 1 == kWarmUpReads || (reads < kWarmUpReads && read == 0)) first = sample(process.hProcess, process.dwProcessId, window, unixDir);
        if ((read + 1) % 100 == 0) {
            const Sample s = sample(process.hProcess, process.dwProcessId, window, unixDir);
            std::printf("after %u reads: working set %llu KiB, rss %llu KiB, data %llu KiB, threads %llu, files %llu\n",
                        read + 1, static_cast<unsigned long long>(s.workingSet / 1024), s.rssKiB, s.dataKiB,
                        s.unixThreads, s.files);
            std::fflush(stdout);
        }
    }
    Sleep(300);  // the last worker has posted its reading; let it end
    const Sample last = sample(process.hProcess, process.dwProcessId, window, unixDir);
    const double seconds = static_cast<double>(GetTickCount64() - started) / 1000.0;

    std::printf("reads %u in %.1f s; readings not as expected: %u\n", reads, seconds, wrong);
    std::printf("window answers during readings: %u, slowest %.2f ms, over %.0f ms: %u, unanswered: %u; "
                "slowest click %.2f ms\n",
                pings, slowest, kAnswerMs, slow, unanswered, slowestClick);
    std::printf("slow answers by when they were asked after the click: under 50 ms: %u, 50 to 250 ms: %u, later: %u\n",
                slowEarly, slowMiddle, slowLate);
    std::printf("window answers while idle: %u, slowest %.2f ms, over %.0f ms: %u\n", idlePings, idleSlowest, kAnswerMs,
                idleSlow);
    std::printf("window taking a new text while idle: the log box (10 lines) median %.2f ms, slowest %.2f ms; "
                "the detail line median %.2f ms, slowest %.2f ms\n",
                logCost.median, logCost.slowest, detailCost.median, detailCost.slowest);
    std::printf("an edit of the log box's style in this process: median %.2f ms, slowest %.2f ms; "
                "the same without its scroll bar: median %.2f ms, slowest %.2f ms\n",
                editCost.median, editCost.slowest, editNoScrollCost.median, editNoScrollCost.slowest);
    std::printf("%-16s %12s %12s   (after %u reads, after the last)\n", "figure", "before", "after",
                std::min(reads, kWarmUpReads));
    print("gdi-objects", first.gdi, last.gdi);
    print("user-objects", first.user, last.user);
    print("handles", first.handles, last.handles);
    print("threads", first.threads, last.threads);
    print("child-windows", first.windows, last.windows);
    print("private-KiB", first.privateBytes / 1024, last.privateBytes / 1024);
    print("working-set-KiB", first.workingSet / 1024, last.workingSet / 1024);
    print("unix-rss-KiB", first.rssKiB, last.rssKiB);
    print("unix-data-KiB", first.dataKiB, last.dataKiB);
    print("unix-threads", first.unixThreads, last.unixThreads);
    print("unix-files", first.files, last.files);

    // What may not grow: objects, windows, threads and files not at all (a little slack for
    // handles and files Wine opens on its own). Memory is judged without the service: with it,
    // Wine loads and frees the simulated service's DLL at every reading (COM unloads it when
    // the worker leaves its apartment), which costs tens of KiB a time in Wine and mingw's
    // runtime whatever the program does. How fast the window answered is a figure for the
    // report, not a verdict.
    const auto grown = [](unsigned long long before, unsigned long long after, unsigned long long slack) {
        return after > before + slack;
    };
    const unsigned long long memorySlack = 1024;  // KiB
    const bool objectsGrew = grown(first.gdi, last.gdi, 0) || grown(first.user, last.user, 0) ||
                             grown(first.threads, last.threads, 0) || grown(first.windows, last.windows, 0) ||
                             grown(first.handles, last.handles, 8) || grown(first.unixThreads, last.unixThreads, 0) ||
                             grown(first.files, last.files, 4);
    const bool memoryGrew = grown(first.privateBytes / 1024, last.privateBytes / 1024, memorySlack) ||
                            grown(first.workingSet / 1024, last.workingSet / 1024, memorySlack) ||
                            grown(first.dataKiB, last.dataKiB, memorySlack);
    const unsigned measured = reads > kWarmUpReads ? reads - kWarmUpReads : 1;
    std::printf("memory per reading: working set %+.1f KiB, data %+.1f KiB\n",
                (static_cast<double>(last.workingSet) - static_cast<double>(first.workingSet)) / 1024.0 / measured,
                (static_cast<double>(last.dataKiB) - static_cast<double>(first.dataKiB)) / measured);
    const bool grew = objectsGrew || (noService && memoryGrew);
    if (objectsGrew) std::printf("GREW: objects, windows, threads or files\n");
    if (memoryGrew) std::printf(noService ? "GREW: memory\n" : "memory grew (the service's DLL is reloaded by every reading)\n");

    probe::close(window);
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (unixDir.empty() && !prefix.empty()) std::printf("(no Linux process found for the prefix)\n");
    return wrong || unanswered || grew ? 1 : 0;
}
