// The real Tallybrook.exe, started under Wine beside the simulated portable-device service,
// used as a person uses it: click, wait, read what the window shows, copy, open the link.
// run-e2e prepares the prefix (fonts, browser recorder) and names what this needs in the
// environment: TB_E2E_APP, TB_E2E_SIM_DLL, TB_E2E_DIR and TB_E2E_LINKS.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "window_probe.h"

namespace {

constexpr int kRead = 101, kResult = 102, kCopy = 103, kLog = 104, kHeadline = 105, kDetail = 106;
constexpr int kInstruction = 107, kPrivacy = 108;

constexpr wchar_t kVersionLine[] = L"Tallybrook for Windows 0.1.0\r\n";
constexpr wchar_t kReportHeader[] = L"Tallybrook for Windows report\r\n";
constexpr wchar_t kReading[] = L"Reading the camera...";
constexpr DWORD kReadingMs = 30000;  // generous: the machine may be busy

std::wstring environment(const wchar_t* name)
{
    wchar_t value[1024] = {};
    const DWORD n = GetEnvironmentVariableW(name, value, 1024);
    return n > 0 && n < 1024 ? value : L"";
}

// The simulated service, registered in the prefix as regsvr32 would, or taken away.
void registerService(bool on)
{
    HMODULE dll = LoadLibraryW(environment(L"TB_E2E_SIM_DLL").c_str());
    ASSERT_NE(dll, nullptr) << "TB_E2E_SIM_DLL";
    auto entry = reinterpret_cast<HRESULT(WINAPI*)()>(
        GetProcAddress(dll, on ? "DllRegisterServer" : "DllUnregisterServer"));
    ASSERT_NE(entry, nullptr);
    EXPECT_GE(entry(), 0);
    FreeLibrary(dll);
}

void setDpi(DWORD dpi)
{
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", REG_DWORD, &dpi, sizeof dpi);
}

std::wstring readLinks()
{
    std::ifstream file(environment(L"TB_E2E_LINKS").c_str());
    std::stringstream text;
    text << file.rdbuf();
    const std::string bytes = text.str();
    return std::wstring(bytes.begin(), bytes.end());
}

std::size_t occurrences(const std::wstring& text, const std::wstring& part)
{
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::wstring::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// Devices the service lists, one scenario file per case.
constexpr char kCanonDevice[] =
    "device usb#vid_04a9&pid_3294#1\n"
    "name Canon EOS 80D\n"
    "manufacturer Canon Inc.\n"
    "description Canon Digital Camera\n";
constexpr char kCanon[] = "camera canon manufacturer=\"Canon Inc.\" model=\"Canon EOS 80D\" firmware=1.0.3 "
                          "serial=0123 d1ac=12345 batch=2\n";
// A body that never sends its counter: six polls with 250 ms between them, time enough to
// see the reading state.
constexpr char kSlowCanon[] = "camera canon manufacturer=\"Canon Inc.\" model=\"Canon EOS 80D\" firmware=1.0.3\n";
constexpr char kFujifilm[] =
    "device usb#vid_04cb&pid_02dd#2\n"
    "name X-T3\n"
    "manufacturer FUJIFILM\n"
    "description Fujifilm Digital Camera\n"
    "camera fujifilm manufacturer=FUJIFILM model=X-T3 firmware=3.20 serial=5935 count=13531\n";
constexpr char kNikon[] =
    "device usb#vid_04b0&pid_0440#3\n"
    "name D750\n"
    "manufacturer Nikon Corporation\n"
    "description Nikon DSC D750\n"
    "camera none\n";

class Tallybrook : public ::testing::Test {
protected:
    void SetUp() override { registerService(true); }  // also after a test that took it away

    void TearDown() override
    {
        if (process.hProcess) {
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, 5000);
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
        setDpi(96);
    }

    // Writes the scenario and points the service at it, for this start and later readings.
    void scenario(const std::string& text)
    {
        const std::wstring path = environment(L"TB_E2E_DIR") + L"\\scenario-" +
                                  std::to_wstring(GetCurrentProcessId()) + L".txt";
        std::ofstream(path.c_str(), std::ios::binary) << text;
        SetEnvironmentVariableW(L"TALLYBROOK_SIM_SCENARIO", path.c_str());
    }

    void start(const std::string& scenarioText, DWORD dpi = 96)
    {
        scenario(scenarioText);
        setDpi(dpi);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring app = environment(L"TB_E2E_APP");
        std::wstring commandLine = L"\"" + app + L"\"";
        ASSERT_TRUE(CreateProcessW(app.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &process))
            << "TB_E2E_APP";
        window = probe::findMainWindow(process.dwProcessId, 20000);
        ASSERT_NE(window, nullptr);
    }

    std::wstring text(int id) { return probe::text(window, id); }
    bool enabled(int id) { return probe::enabled(window, id); }

    // Clicks "Read camera" and waits for the reading to be shown.
    void read()
    {
        probe::click(window, kRead);
        ASSERT_TRUE(probe::waitForText(window, kHeadline, kReading, kReadingMs, false)) << "the reading never ended";
    }

    void expectNoCount(const std::wstring& message)
    {
        EXPECT_EQ(text(kHeadline), L"No reading");
        EXPECT_EQ(text(kDetail), message);
        EXPECT_EQ(text(kRead), L"Read again");
        EXPECT_TRUE(enabled(kRead));
        EXPECT_FALSE(enabled(kResult));
        EXPECT_NE(probe::focusId(window), kResult);
    }

    std::vector<int> tabOrder(int presses)
    {
        std::vector<int> seen;
        for (int i = 0; i < presses; ++i) {
            probe::pressTab(window);
            seen.push_back(probe::focusId(window));
        }
        return seen;
    }

    PROCESS_INFORMATION process{};
    HWND window = nullptr;
};

class TallybrookAtDpi : public Tallybrook, public ::testing::WithParamInterface<int> {};

TEST_P(TallybrookAtDpi, StartsFixedSizeWithEveryControlScaledFromItsDesignUnits)
{
    const int dpi = GetParam();
    start("", dpi);
    const auto px = [dpi](int designUnits) { return MulDiv(designUnits, dpi, 96); };

    const RECT client = probe::clientRect(window);
    EXPECT_EQ(client.right - client.left, px(560));
    EXPECT_EQ(client.bottom - client.top, px(384));

    const LONG style = probe::style(window);
    EXPECT_EQ(style & 0x00CA0000, 0x00CA0000);  // caption, system menu, minimise box
    EXPECT_EQ(style & WS_MAXIMIZEBOX, 0);
    EXPECT_EQ(style & WS_THICKFRAME, 0);
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    EXPECT_STREQ(title, L"Tallybrook for Windows");

    const struct {
        int id, x, y, width, height;
        LONG style;  // the control's own bits, besides WS_CHILD | WS_VISIBLE
    } controls[] = {
        {kInstruction, 20, 16, 520, 40, 0},         {kHeadline, 20, 64, 520, 40, 0},
        {kDetail, 20, 106, 520, 36, 0},             {kRead, 20, 148, 130, 32, 0x00010001},
        {kResult, 160, 148, 230, 32, 0x00010000},   {kCopy, 400, 148, 140, 32, 0x00010000},
        {kLog, 20, 194, 520, 150, 0x00A00844},      {kPrivacy, 20, 352, 520, 20, 0},
    };
    for (const auto& c : controls) {
        const RECT r = probe::controlRect(window, c.id);
        EXPECT_EQ(r.left, px(c.x)) << c.id;
        EXPECT_EQ(r.top, px(c.y)) << c.id;
        EXPECT_EQ(r.right - r.left, px(c.width)) << c.id;
        EXPECT_EQ(r.bottom - r.top, px(c.height)) << c.id;
        HWND control = probe::control(window, c.id);
        const LONG own = probe::style(control) & ~(WS_CHILD | WS_VISIBLE | WS_DISABLED);
        // The edit control takes WS_BORDER out of its style and draws the border itself.
        const LONG expected = c.id == kLog ? c.style & ~WS_BORDER : c.style;
        EXPECT_EQ(own & expected, expected) << c.id;
        EXPECT_EQ(own & WS_TABSTOP, c.style & WS_TABSTOP) << c.id;
    }
}

INSTANTIATE_TEST_SUITE_P(Dpi, TallybrookAtDpi, ::testing::Values(96, 144));

TEST_F(Tallybrook, StartState)
{
    start("");
    EXPECT_EQ(text(kInstruction), L"Plug in your Canon or Fujifilm camera by USB and switch it on. Close EOS "
                                  L"Utility if it opens. Then click Read camera.");
    EXPECT_EQ(text(kHeadline), L"No reading yet");
    EXPECT_EQ(text(kDetail), L"Read-only. Your camera's settings stay as they are.");
    EXPECT_EQ(text(kRead), L"Read camera");
    EXPECT_EQ(text(kResult), L"See full result on Tallybrook");
    EXPECT_EQ(text(kCopy), L"Copy details");
    EXPECT_EQ(text(kLog), L"");
    EXPECT_EQ(text(kPrivacy), L"Nothing is uploaded. Results open on tallybrook.app only when you click the button.");
    EXPECT_TRUE(enabled(kRead));
    EXPECT_FALSE(enabled(kResult));
    EXPECT_TRUE(enabled(kCopy));
    EXPECT_EQ(probe::focusId(window), kRead);

    // Tab moves among the enabled buttons only, never into the log box.
    EXPECT_EQ(tabOrder(4), (std::vector<int>{kCopy, kRead, kCopy, kRead}));
}

TEST_F(Tallybrook, ReadsASimulatedCanonEndToEnd)
{
    start(std::string(kCanonDevice) + kCanon);
    probe::click(window, kRead);

    // The read command has been handled when the click returns: the reading state.
    EXPECT_EQ(text(kHeadline), kReading);
    EXPECT_EQ(text(kDetail), L"Keep the camera on and connected.");
    EXPECT_FALSE(enabled(kRead));
    EXPECT_FALSE(enabled(kResult));
    EXPECT_TRUE(enabled(kCopy));
    EXPECT_EQ(text(kLog).rfind(kVersionLine, 0), 0u);

    ASSERT_TRUE(probe::waitForText(window, kHeadline, kReading, kReadingMs, false));
    EXPECT_EQ(text(kHeadline), L"12,345 shutter actuations");
    EXPECT_EQ(text(kDetail), L"Canon EOS 80D   firmware 1.0.3");
    EXPECT_EQ(text(kRead), L"Read again");
    EXPECT_TRUE(enabled(kRead));
    EXPECT_TRUE(enabled(kResult));
    EXPECT_EQ(probe::focusId(window), kResult);

    // The log: the version line, then the reading's lines in the order they were logged,
    // each ending in CR LF. (Byte counts are the simulated camera's business: only the start
    // of the lines that carry them is compared.)
    const std::wstring log = text(kLog);
    const std::vector<std::wstring> expectedStarts = {
        L"Tallybrook for Windows 0.1.0",
        L"Portable devices found: 1",
        L"  1. Canon EOS 80D  [Canon Inc.]  Canon Digital Camera",
        L"Opened through Windows' camera driver",
        L"GetDeviceInfo -> 0x2001, ",
        L"Model: Canon EOS 80D  firmware 1.0.3  ops ",
        L"SetRemoteMode(1) -> 0x2001",
        L"SetEventMode(1) -> 0x2001",
        L"RequestDevicePropValue(D1AC) -> 0x2001",
        L"GetEvent #1: ",
        L"GetEvent #2: ",
        L"D1AC ShutterCounter: 12345",
        L"D167 ShutterReleaseCounter: not sent",
    };
    std::vector<std::wstring> lines;
    for (std::size_t at = 0, end; (end = log.find(L"\r\n", at)) != std::wstring::npos; at = end + 2)
        lines.push_back(log.substr(at, end - at));
    EXPECT_EQ(lines.size(), expectedStarts.size()) << "lines in the log";
    for (std::size_t i = 0; i < std::min(lines.size(), expectedStarts.size()); ++i)
        EXPECT_EQ(lines[i].rfind(expectedStarts[i], 0), 0u) << "line " << i + 1;
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log.substr(log.size() - 2), L"\r\n");

    // Copy details: the header and exactly what the log box shows.
    probe::click(window, kCopy);
    EXPECT_EQ(probe::clipboardText(), kReportHeader + log);

    // See full result: the reading, as JSON, percent-encoded in the link's fragment.
    const std::wstring before = readLinks();
    probe::click(window, kResult);
    const std::wstring expected =
        L"https://tallybrook.app/#reading="
        L"%7B%22v%22%3A1%2C%22make%22%3A%22Canon%20Inc.%22%2C%22model%22%3A%22Canon%20EOS%2080D%22%2C"
        L"%22count%22%3A12345%2C%22firmware%22%3A%221.0.3%22%2C%22serial%22%3A%220123%22%2C"
        L"%22source%22%3A%22Canon%20USB%200xD1AC%22%7D\n";
    std::wstring links;
    for (int i = 0; i < 1000 && (links = readLinks()).size() <= before.size(); ++i) Sleep(10);
    EXPECT_EQ(links.substr(before.size()), expected);

    // For the site's browser test: the link as opened, beside what the window showed.
    const auto narrow = [](const std::wstring& w) { return std::string(w.begin(), w.end()); };
    std::ofstream opened((environment(L"TB_E2E_DIR") + L"\\opened-link.txt").c_str());
    opened << "link " << narrow(links.substr(before.size())) << "headline " << narrow(text(kHeadline))
        << "\ndetail " << narrow(text(kDetail)) << "\n";

    // With the result button enabled (and focused by the click), Tab takes it in.
    EXPECT_EQ(tabOrder(3), (std::vector<int>{kCopy, kRead, kResult}));
}

TEST_F(Tallybrook, ReadsASimulatedFujifilm)
{
    start(kFujifilm);
    read();
    EXPECT_EQ(text(kHeadline), L"13,531 shutter actuations");
    EXPECT_EQ(text(kDetail), L"X-T3   firmware 3.20");
    EXPECT_TRUE(enabled(kResult));
    EXPECT_EQ(probe::focusId(window), kResult);
    EXPECT_NE(text(kLog).find(L"GetDevicePropValue(D310) -> 0x2001, 4 bytes\r\n"), std::wstring::npos);
}

TEST_F(Tallybrook, OtherBrandIsNamedByItsManufacturerText)
{
    start(kNikon);
    read();
    expectNoCount(L"Found a Nikon Corporation camera. That brand records the count in its photos, so drop a "
                  L"photo on tallybrook.app instead.");
    EXPECT_EQ(text(kLog), std::wstring(kVersionLine) + L"Portable devices found: 1\r\n"
                          L"  1. D750  [Nikon Corporation]  Nikon DSC D750\r\n");
}

TEST_F(Tallybrook, NoDevice)
{
    start("");
    read();
    expectNoCount(L"No Canon or Fujifilm camera found. Check that it's switched on, the cable carries data, and "
                  L"EOS Utility is closed. Then click Read camera again.");
    EXPECT_EQ(text(kLog), std::wstring(kVersionLine) + L"Portable devices found: 0\r\n");
}

TEST_F(Tallybrook, ServiceMissing)
{
    registerService(false);
    start("");
    read();
    expectNoCount(L"Windows' portable device service isn't available (0x80040154). This app needs Windows 10 or 11.");
    EXPECT_EQ(text(kLog), std::wstring(kVersionLine) + L"PortableDeviceManager unavailable: 0x80040154\r\n");
}

// The user clicks into the log to select a line and presses Esc, then Tab: the window, its
// log and its reading stay, and Tab takes the focus back to the buttons.
TEST_F(Tallybrook, EscInTheLogKeepsTheWindowAndTabLeavesTheLog)
{
    start(kNikon);
    read();
    const std::wstring log = text(kLog);
    probe::clickInto(window, kLog);
    ASSERT_EQ(probe::focusId(window), kLog);

    probe::pressKey(window, VK_ESCAPE);
    probe::pressTab(window);
    EXPECT_EQ(probe::focusId(window), kRead) << "Tab stayed in the log";
    // Each Tab is posted after the previous one was handled: by the time this one has moved
    // the focus, anything the Esc made the window post to itself (a WM_CLOSE) has run too.
    probe::pressTab(window);
    EXPECT_EQ(probe::focusId(window), kCopy);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "Esc ended the program";
    ASSERT_TRUE(IsWindow(window));
    EXPECT_EQ(text(kLog), log);
    EXPECT_EQ(text(kHeadline), L"No reading");
}

// Switching to another program and back gives the focus back to the button that had it, so
// Enter and Space work at once.
struct Reactivation {
    int tabs;     // presses of Tab before switching away
    int focused;  // the button focused before and after
    UINT key;     // pressed after coming back
};

void PrintTo(const Reactivation& r, std::ostream* out)
{
    *out << (r.key == VK_RETURN ? "Enter" : "Space") << " on control " << r.focused << " after " << r.tabs << " Tab";
}

class FocusOnReactivation : public Tallybrook, public ::testing::WithParamInterface<Reactivation> {};

// Pumps this thread's own window while waiting: activation talks to it.
template <typename Done>
bool pumpUntil(Done done)
{
    const ULONGLONG deadline = GetTickCount64() + 5000;
    for (;;) {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
        if (done()) return true;
        if (GetTickCount64() >= deadline) return false;
        Sleep(10);
    }
}

// Another program's window comes to the front, then `window` again, as Alt+Tab does it; returns
// once the focus is back on `focused` (or after five seconds).
void switchAwayAndBack(HWND window, int focused)
{
    HWND other = CreateWindowExW(0, L"STATIC", L"another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(other, nullptr);
    SetForegroundWindow(other);
    EXPECT_TRUE(pumpUntil([&] { return GetForegroundWindow() == other; })) << "could not switch away";
    SetForegroundWindow(window);
    EXPECT_TRUE(pumpUntil([&] { return GetForegroundWindow() == window; })) << "could not switch back";
    pumpUntil([&] { return probe::focusId(window) == focused; });
    DestroyWindow(other);
}

bool looksDefault(HWND window, int id) { return (probe::style(probe::control(window, id)) & BS_TYPEMASK) == BS_DEFPUSHBUTTON; }

TEST_P(FocusOnReactivation, ReturnsToTheButtonThatHadIt)
{
    const Reactivation c = GetParam();
    start("");
    // The controls exist a moment before WM_CREATE gives the focus to "Read camera".
    ASSERT_TRUE(pumpUntil([&] { return probe::focusId(window) == kRead; }));
    for (int i = 0; i < c.tabs; ++i) probe::pressTab(window);
    ASSERT_EQ(probe::focusId(window), c.focused);

    switchAwayAndBack(window, c.focused);
    EXPECT_EQ(probe::focusId(window), c.focused);

    probe::pressKey(window, c.key);
    if (c.key == VK_RETURN) {
        EXPECT_TRUE(probe::waitForText(window, kHeadline, L"No reading yet", 5000, false)) << "Enter read nothing";
    } else {
        EXPECT_TRUE(probe::waitForText(window, kCopy, L"Copied", 5000)) << "Space copied nothing";
    }
}

INSTANTIATE_TEST_SUITE_P(Buttons, FocusOnReactivation,
                         ::testing::Values(Reactivation{0, kRead, VK_RETURN}, Reactivation{1, kCopy, VK_SPACE}),
                         [](const auto& info) {
                             return info.param.key == VK_RETURN ? "ReadWithEnter" : "CopyWithSpace";
                         });

// Enter with the keyboard in the log, or on "Read camera" after the log had it, reads: the
// window keeps "Read camera" its default button as a dialog does, however the focus moved.
struct EnterAfterTheLog {
    const char* name;
    int tabs;     // presses of Tab after clicking into the log
    bool switched; // switched to another program and back before Enter
    int focused;  // where the keyboard is when Enter is pressed
};

void PrintTo(const EnterAfterTheLog& c, std::ostream* out) { *out << c.name; }

class EnterKey : public Tallybrook, public ::testing::WithParamInterface<EnterAfterTheLog> {};

TEST_P(EnterKey, AfterTheLogReads)
{
    const EnterAfterTheLog c = GetParam();
    start("");
    ASSERT_TRUE(pumpUntil([&] { return probe::focusId(window) == kRead; }));
    probe::clickInto(window, kLog);
    ASSERT_EQ(probe::focusId(window), kLog);
    for (int i = 0; i < c.tabs; ++i) probe::pressTab(window);
    if (c.switched) switchAwayAndBack(window, c.focused);
    ASSERT_EQ(probe::focusId(window), c.focused);
    EXPECT_TRUE(looksDefault(window, kRead)) << "\"Read camera\" no longer looks like the default button";

    probe::pressKey(window, VK_RETURN);
    EXPECT_TRUE(probe::waitForText(window, kHeadline, L"No reading", 5000)) << "Enter read nothing";
}

INSTANTIATE_TEST_SUITE_P(Focus, EnterKey,
                         ::testing::Values(EnterAfterTheLog{"InTheLog", 0, false, kLog},
                                           EnterAfterTheLog{"TabToReadCamera", 1, false, kRead},
                                           EnterAfterTheLog{"TabToReadCameraThenSwitchBack", 1, true, kRead},
                                           EnterAfterTheLog{"TabToCopyAndBack", 3, false, kRead}),
                         [](const auto& info) { return std::string(info.param.name); });

// After a count the keyboard is on "See full result": Enter opens it, and reads nothing again.
TEST_F(Tallybrook, EnterAfterACountOpensTheResult)
{
    start(kFujifilm);
    read();
    ASSERT_EQ(probe::focusId(window), kResult);
    EXPECT_TRUE(looksDefault(window, kResult));
    EXPECT_FALSE(looksDefault(window, kRead));

    const std::wstring before = readLinks();
    const std::wstring log = text(kLog);
    probe::pressKey(window, VK_RETURN);
    std::wstring links;
    for (int i = 0; i < 500 && (links = readLinks()).size() <= before.size(); ++i) Sleep(10);
    EXPECT_EQ(links.rfind(L"https://tallybrook.app/#reading=", before.size()), before.size()) << "Enter opened nothing";
    EXPECT_EQ(text(kLog), log) << "Enter read the camera again";

    // Tab back to "Read camera": Enter there reads again.
    probe::pressTab(window);
    probe::pressTab(window);
    ASSERT_EQ(probe::focusId(window), kRead);
    EXPECT_TRUE(looksDefault(window, kRead));
    EXPECT_FALSE(looksDefault(window, kResult));
    probe::pressKey(window, VK_RETURN);
    EXPECT_TRUE(probe::waitForText(window, kLog, log, 5000, false)) << "Enter read nothing";
}

// After a reading without a count the focus is where it was; Enter reads again.
TEST_F(Tallybrook, EnterAfterNoCountReadsAgain)
{
    start(std::string(kCanonDevice) + kSlowCanon);
    read();
    ASSERT_EQ(text(kHeadline), L"No reading");
    probe::pressKey(window, VK_RETURN);
    EXPECT_TRUE(probe::waitForText(window, kHeadline, kReading, 5000)) << "Enter read nothing";
}

// The caption and the taskbar get the icon's own small artwork at the system's small-icon
// size, not the large image scaled down. The class is registered by the window's own code in
// window_tests (which carries the same icon), started here at each DPI; it reports what it saw.
class SmallIconAtDpi : public Tallybrook, public ::testing::WithParamInterface<int> {};

TEST_P(SmallIconAtDpi, IsTheSystemsSmallSize)
{
    const int dpi = GetParam();
    setDpi(dpi);
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring exe = self;
    exe = exe.substr(0, exe.find_last_of(L'\\') + 1) + L"window_tests.exe";
    const std::wstring report = environment(L"TB_E2E_DIR") + L"\\small-icon-" + std::to_wstring(dpi) + L".xml";
    DeleteFileW(report.c_str());
    std::wstring commandLine =
        L"\"" + exe + L"\" --gtest_filter=MainWindowClass.SmallIconIsTheSystemsSmallIconSize --gtest_output=xml:" +
        report;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    ASSERT_TRUE(CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process))
        << "window_tests.exe beside e2e_tests.exe";
    ASSERT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    EXPECT_EQ(code, 0u);

    std::ifstream file(report.c_str());
    std::stringstream xml;
    xml << file.rdbuf();
    for (const std::string& seen : {"<property name=\"dpi\" value=\"" + std::to_string(dpi) + "\"/>",
                                    "<property name=\"smallIconPx\" value=\"" + std::to_string(MulDiv(16, dpi, 96)) +
                                        "\"/>"})
        EXPECT_NE(xml.str().find(seen), std::string::npos) << seen << "\n" << xml.str();
}

INSTANTIATE_TEST_SUITE_P(Dpi, SmallIconAtDpi, ::testing::Values(96, 144));

// A driver's texts with control characters in them: no line of the driver's making in the log
// or the report, and none in the message that names the other brand.
TEST_F(Tallybrook, DeviceTextsWithLineBreaksStayOnTheirLine)
{
    start("device usb#vid_04b0&pid_0440#3\n"
          "name D750\\u000D\\u000APortable devices found: 9\n"
          "manufacturer Nikon\\u000D\\u000ACorporation\n"
          "description Nikon DSC\\u0009D750\\u001B[2J\n"
          "camera none\n");
    read();
    expectNoCount(L"Found a Nikon??Corporation camera. That brand records the count in its photos, so drop a "
                  L"photo on tallybrook.app instead.");
    const std::wstring log = std::wstring(kVersionLine) + L"Portable devices found: 1\r\n"
                             L"  1. D750??Portable devices found: 9  [Nikon??Corporation]  Nikon DSC?D750?[2J\r\n";
    EXPECT_EQ(text(kLog), log);
    probe::click(window, kCopy);
    EXPECT_EQ(probe::clipboardText(), kReportHeader + log);
}

TEST_F(Tallybrook, CopyBeforeAnyReadingIsTheHeaderAloneAndTheLabelComesBack)
{
    start("");
    probe::setClipboardText(L"something else");
    const ULONGLONG clicked = GetTickCount64();
    probe::click(window, kCopy);
    EXPECT_EQ(probe::clipboardText(), std::wstring(kReportHeader));
    EXPECT_EQ(text(kCopy), L"Copied");

    ASSERT_TRUE(probe::waitForText(window, kCopy, L"Copy details", 10000));
    // The timer never fires early; tick granularity allows a little slack.
    EXPECT_GE(GetTickCount64() - clicked, 1450u);
}

TEST_F(Tallybrook, CopyingAgainKeepsCopiedUntilAfterTheLastCopy)
{
    start("");
    probe::click(window, kCopy);
    Sleep(1000);
    const bool secondInTime = text(kCopy) == L"Copied";
    const ULONGLONG second = GetTickCount64();
    probe::click(window, kCopy);
    EXPECT_EQ(text(kCopy), L"Copied");
    ASSERT_TRUE(probe::waitForText(window, kCopy, L"Copy details", 10000));
    if (secondInTime) EXPECT_GE(GetTickCount64() - second, 1450u) << "the first copy's timer was not replaced";
}

TEST_F(Tallybrook, SecondClickDuringAReadingStartsNothingAndCopyTakesTheLinesSoFar)
{
    start(std::string(kCanonDevice) + kSlowCanon);
    probe::click(window, kRead);
    ASSERT_EQ(text(kHeadline), kReading);
    probe::click(window, kRead);
    probe::postCommand(window, kRead);
    probe::click(window, kCopy);
    const auto during = probe::clipboardText();
    ASSERT_TRUE(during.has_value());
    EXPECT_EQ(during->rfind(std::wstring(kReportHeader) + kVersionLine, 0), 0u);

    ASSERT_TRUE(probe::waitForText(window, kHeadline, kReading, kReadingMs, false));
    Sleep(500);  // time for a second job, had one started, to finish too
    const std::wstring log = text(kLog);
    EXPECT_EQ(occurrences(log, kVersionLine), 1u);
    EXPECT_EQ(occurrences(log, L"Portable devices found: "), 1u) << "a second reading ran";
    EXPECT_EQ(log.rfind(during->substr(std::wstring(kReportHeader).size()), 0), 0u);
    EXPECT_EQ(text(kHeadline), L"No reading");
}

TEST_F(Tallybrook, FailedReadingAfterASuccessfulOneDisablesTheResult)
{
    // The service stays loaded between readings and refuses its second manager; were it
    // loaded afresh, the emptied scenario would list no camera. Either way the second fails.
    start(std::string(kCanonDevice) + kCanon + "fault create-manager nth=2 result=0x80070005\n");
    read();
    ASSERT_TRUE(enabled(kResult));

    scenario("");
    read();
    EXPECT_EQ(text(kHeadline), L"No reading");
    EXPECT_FALSE(enabled(kResult));

    // Even sent straight to the window, the result command opens nothing now.
    const std::wstring before = readLinks();
    probe::postCommand(window, kResult);
    Sleep(1000);
    EXPECT_EQ(readLinks(), before);
}

// Windows refuses read/write access (access control, Group Policy); the program opens the
// camera read-only. Whether the camera's commands then pass is not documented, so both
// answers are shown, for both brands: the reading ends in a row of the outcome table, says
// what happened, and the program gives back every object and block of the service.
std::vector<std::string> simLogLines(const std::wstring& path)
{
    std::ifstream file(path.c_str());
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
}

TEST_F(Tallybrook, ReadOnlyConnectionForEachBrandAndEachAnswerOfTheService)
{
    const std::string canon = std::string(kCanonDevice) + "open 0x80070005\nopen-read-only 0\n" + kCanon;
    std::string fujifilm = kFujifilm;
    fujifilm.insert(fujifilm.find("camera "), "open 0x80070005\nopen-read-only 0\n");
    const std::wstring refused =
        L"The camera didn't answer (access denied). Unplug it, plug it back in and try again.";
    const struct {
        const char* name;
        std::string scenario;
        std::wstring deviceLine;
        bool allowed;
        std::wstring headline, detail;
    } cases[] = {
        {"Canon, commands refused", canon, L"  1. Canon EOS 80D  [Canon Inc.]  Canon Digital Camera", false,
         L"No reading", refused},
        {"Canon, commands allowed", canon, L"  1. Canon EOS 80D  [Canon Inc.]  Canon Digital Camera", true,
         L"12,345 shutter actuations", L"Canon EOS 80D   firmware 1.0.3"},
        {"Fujifilm, commands refused", fujifilm, L"  1. X-T3  [FUJIFILM]  Fujifilm Digital Camera", false,
         L"No reading", refused},
        {"Fujifilm, commands allowed", fujifilm, L"  1. X-T3  [FUJIFILM]  Fujifilm Digital Camera", true,
         L"13,531 shutter actuations", L"X-T3   firmware 3.20"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring simLog = environment(L"TB_E2E_DIR") + L"\\sim-read-only.log";
        DeleteFileW(simLog.c_str());
        SetEnvironmentVariableW(L"TALLYBROOK_SIM_LOG", simLog.c_str());
        start(c.scenario + (c.allowed ? "read-only-commands allowed\n" : ""));
        SetEnvironmentVariableW(L"TALLYBROOK_SIM_LOG", nullptr);
        read();
        EXPECT_EQ(text(kHeadline), c.headline);
        EXPECT_EQ(text(kDetail), c.detail);
        EXPECT_EQ(enabled(kResult), c.allowed);

        const std::wstring log = text(kLog);
        const std::wstring opening = std::wstring(kVersionLine) + L"Portable devices found: 1\r\n" + c.deviceLine +
                                     L"\r\nOpen with read/write access was denied, retrying read-only\r\n"
                                     L"Opened through Windows' camera driver\r\n";
        EXPECT_EQ(log.rfind(opening, 0), 0u) << "the log begins otherwise";
        if (!c.allowed) {
            EXPECT_EQ(log, opening + L"GetDeviceInfo -> error access denied\r\n");
        }

        // The service saw the read-only Open, refused (or ran) the commands, and got back every
        // object and every block it handed out.
        const auto lines = simLogLines(simLog);
        std::size_t readOnlyOpens = 0, refusals = 0, released = 0, notFreed = 0;
        for (const auto& line : lines) {
            readOnlyOpens += line.rfind("open ", 0) == 0 && line.find("access=0x80000000 -> 0x00000000") != std::string::npos;
            refusals += line.rfind("send-command ", 0) == 0 && line.find("-> 0x80070005") != std::string::npos;
            if (line.rfind("all objects released; handed-out blocks not freed: ", 0) == 0) {
                ++released;
                notFreed += line != "all objects released; handed-out blocks not freed: 0";
            }
        }
        EXPECT_EQ(readOnlyOpens, 1u);
        EXPECT_EQ(refusals, c.allowed ? 0u : 1u);  // GetDeviceInfo, and nothing after it
        EXPECT_GE(released, 1u);
        EXPECT_EQ(notFreed, 0u);

        TearDown();
        process = {};
    }
}

TEST_F(Tallybrook, ClosingDuringAReadingEndsTheProcessAtOnce)
{
    start(std::string(kCanonDevice) + kSlowCanon);
    const ULONGLONG clicked = GetTickCount64();
    probe::click(window, kRead);
    ASSERT_EQ(text(kHeadline), kReading);
    probe::close(window);
    ASSERT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
    // This camera keeps a reading going for six 250 ms pauses; the process did not wait.
    EXPECT_LT(GetTickCount64() - clicked, 1500u);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    EXPECT_EQ(code, 0u);
}

}  // namespace
