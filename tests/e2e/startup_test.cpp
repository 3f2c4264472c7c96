// Start-up pieces of the window's code, in this process: the class it registers and the
// message loop. This executable carries Tallybrook's icon as resource 1 (window_tests.rc), so
// the class gets the same images as in Tallybrook.exe. e2e_tests also starts it at 144 DPI.

#include <windows.h>

#include <gtest/gtest.h>

#include "app/main_window.h"

namespace {

int iconWidth(HICON icon)
{
    ICONINFO info{};
    if (!icon || !GetIconInfo(icon, &info)) return 0;
    BITMAP bitmap{};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return bitmap.bmWidth;
}

}  // namespace

TEST(MainWindowClass, SmallIconIsTheSystemsSmallIconSize)
{
    SetProcessDPIAware();  // as Tallybrook.exe's manifest makes it
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    registerMainWindowClass(instance);  // a no-op when the window tests registered it already
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    ASSERT_TRUE(GetClassInfoExW(instance, kMainWindowClass, &windowClass));

    const int dpi = measureDpi();
    const int small = iconWidth(windowClass.hIconSm);
    RecordProperty("dpi", dpi);
    RecordProperty("smallIconPx", small);
    EXPECT_EQ(small, MulDiv(16, dpi, 96));
    EXPECT_EQ(small, GetSystemMetrics(SM_CXSMICON));
    EXPECT_EQ(iconWidth(windowClass.hIcon), GetSystemMetrics(SM_CXICON));
}

TEST(MessageLoop, WithoutAWindowEndsAtOnceWithAFailure)
{
    // A loop that went on to wait for messages would take this quit and end with 0.
    PostQuitMessage(0);
    EXPECT_NE(runMessageLoop(nullptr), 0);
    MSG left;
    PeekMessageW(&left, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
}
