// The entry procedure of Tarvale.
#include "app/startup.h"
#include "res/resource.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    // A scan touching a drive without a medium must never raise a system dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS);
    if (!acceptCommandPath(commandLine))
        return 0;
    if (!registerWindowClasses(instance, previous))
        return 0;
    HWND window = createMainWindow();
    HACCEL accelerators = LoadAcceleratorsA(appInstance, MAKEINTRESOURCEA(IDR_MAINMENU));
    if (!window)
        return 0;
    ShowWindow(window, show);
    UpdateWindow(window);
    int result = runMessageLoop(accelerators);
    // Scans still running are not waited for. Ending the process here stops their threads before
    // anything is torn down, so that no global they read is destroyed under them.
    ExitProcess(static_cast<UINT>(result));
}
