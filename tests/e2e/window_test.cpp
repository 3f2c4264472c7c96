// The real window procedure, in this process, with the read job replaced: what the window
// does when a reading cannot start, when the clipboard is busy, and how the log scrolls.

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "app/main_window.h"
#include "reading/read_job.h"
#include "reading/reading.h"
#include "window_probe.h"

namespace {

int startsAttempted = 0;

void failingStarter(HWND)
{
    ++startsAttempted;
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

void silentStarter(HWND)
{
    ++startsAttempted;
}

void pumpMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

class MainWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        initWindowFonts(measureDpi());
        registerMainWindowClass(GetModuleHandleW(nullptr));
    }
    void SetUp() override
    {
        startsAttempted = 0;
        window = createMainWindow(GetModuleHandleW(nullptr));
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(window);
        pumpMessages();
        setReadStarter(static_cast<ReadStarter>(&startRead));
    }
    void command(int id) { SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
    std::wstring text(int id) { return probe::text(window, id); }

    HWND window = nullptr;
};

TEST_F(MainWindow, ReadingThatCannotStartLeavesTheWindowReadyToTryAgain)
{
    setReadStarter(&failingStarter);
    command(kReadButtonId);

    EXPECT_EQ(startsAttempted, 1);
    EXPECT_EQ(text(kHeadlineId), L"No reading");
    EXPECT_EQ(text(kDetailLineId), kNoThreadMessage);
    EXPECT_TRUE(probe::enabled(window, kReadButtonId));
    EXPECT_FALSE(probe::enabled(window, kResultButtonId));
    EXPECT_EQ(text(kLogBoxId), L"Tallybrook for Windows 0.1.0\r\n");

    // Not stuck as busy: the next click tries again.
    command(kReadButtonId);
    EXPECT_EQ(startsAttempted, 2);
}

TEST_F(MainWindow, SecondReadCommandWhileBusyStartsNothing)
{
    setReadStarter(&silentStarter);
    command(kReadButtonId);
    PostMessageW(window, WM_LOG_LINE, 0, reinterpret_cast<LPARAM>(new std::wstring(L"line one")));
    pumpMessages();
    command(kReadButtonId);

    EXPECT_EQ(startsAttempted, 1);
    EXPECT_EQ(text(kLogBoxId), L"Tallybrook for Windows 0.1.0\r\nline one\r\n");
    EXPECT_EQ(text(kHeadlineId), L"Reading the camera...");
}

TEST_F(MainWindow, CopyWhileAnotherProgramHoldsTheClipboardChangesNothing)
{
    ASSERT_TRUE(probe::setClipboardText(L"the user's own text"));
    HANDLE opened = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] {
        const BOOL open = OpenClipboard(nullptr);
        SetEvent(opened);
        WaitForSingleObject(release, 10000);
        if (open) CloseClipboard();
    });
    WaitForSingleObject(opened, 10000);

    command(kCopyButtonId);
    EXPECT_EQ(text(kCopyButtonId), L"Copy details");

    SetEvent(release);
    holder.join();
    CloseHandle(opened);
    CloseHandle(release);
    EXPECT_EQ(probe::clipboardText(), std::optional<std::wstring>(L"the user's own text"));

    // And once the clipboard is free, the report replaces it and the label says so.
    command(kCopyButtonId);
    EXPECT_EQ(text(kCopyButtonId), L"Copied");
    EXPECT_EQ(probe::clipboardText(), std::optional<std::wstring>(L"Tallybrook for Windows report\r\n"));
}

TEST_F(MainWindow, LogScrollsBackToItsLastLineOnEveryAppend)
{
    setReadStarter(&silentStarter);
    command(kReadButtonId);
    HWND logBox = probe::control(window, kLogBoxId);
    for (int i = 1; i <= 40; ++i)
        PostMessageW(window, WM_LOG_LINE, 0, reinterpret_cast<LPARAM>(new std::wstring(L"line " + std::to_wstring(i))));
    pumpMessages();
    const auto firstVisible = SendMessageW(logBox, EM_GETFIRSTVISIBLELINE, 0, 0);
    EXPECT_GT(firstVisible, 20);

    SendMessageW(logBox, WM_VSCROLL, SB_TOP, 0);
    ASSERT_EQ(SendMessageW(logBox, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    PostMessageW(window, WM_LOG_LINE, 0, reinterpret_cast<LPARAM>(new std::wstring(L"line 41")));
    pumpMessages();

    EXPECT_EQ(SendMessageW(logBox, EM_GETFIRSTVISIBLELINE, 0, 0), firstVisible + 1);
    DWORD selStart = 0, selEnd = 0;
    SendMessageW(logBox, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart), reinterpret_cast<LPARAM>(&selEnd));
    const auto length = static_cast<DWORD>(text(kLogBoxId).size());
    EXPECT_EQ(selStart, length);
    EXPECT_EQ(selEnd, length);
}

TEST_F(MainWindow, OnlyTheHeadlineIsDrawnInDarkGreen)
{
    HDC dc = GetDC(window);
    for (int id : {kHeadlineId, kDetailLineId, kInstructionId, kPrivacyNoteId, kLogBoxId}) {
        SetTextColor(dc, RGB(1, 2, 3));
        SetBkMode(dc, OPAQUE);
        const auto brush = SendMessageW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                        reinterpret_cast<LPARAM>(probe::control(window, id)));
        EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), GetSysColorBrush(COLOR_WINDOW)) << id;
        EXPECT_EQ(GetBkMode(dc), TRANSPARENT) << id;
        EXPECT_EQ(GetTextColor(dc), id == kHeadlineId ? RGB(27, 33, 30) : RGB(1, 2, 3)) << id;
    }
    ReleaseDC(window, dc);
}

}  // namespace

TEST_F(MainWindow, LogBoxLeavesTabAndEscToTheMessageLoop)
{
    // What IsDialogMessageW asks before it handles a key: a log box that wants Tab or every
    // key gets them, and then closes the window on Esc and keeps the focus on Tab.
    HWND logBox = probe::control(window, kLogBoxId);
    for (const WPARAM key : {VK_ESCAPE, VK_TAB, VK_RETURN}) {
        MSG keyDown{logBox, WM_KEYDOWN, key, 1, 0, {}};
        const auto code = SendMessageW(logBox, WM_GETDLGCODE, key, reinterpret_cast<LPARAM>(&keyDown));
        EXPECT_EQ(code & (DLGC_WANTALLKEYS | DLGC_WANTTAB), 0) << key;
        EXPECT_NE(code & DLGC_WANTARROWS, 0) << key;  // the arrows still move through the log
    }
}
