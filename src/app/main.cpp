// Tallybrook.exe: start-up and the message loop. No command line, no settings: the window
// lives until it is closed, and a reading still running is not waited for.

#include <windows.h>

#include <commctrl.h>

#include "app/main_window.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand)
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    initWindowFonts(measureDpi());
    registerMainWindowClass(instance);
    HWND mainWindow = createMainWindow(instance);
    ShowWindow(mainWindow, showCommand);
    return runMessageLoop(mainWindow);
}
