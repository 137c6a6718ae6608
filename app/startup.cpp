#include "app/startup.h"

#include "app/layout.h"
#include "app/mainwindow.h"
#include "pie/piewindow.h"
#include "res/resource.h"
#include "settings/settings.h"

#include <commctrl.h>

std::string commandPath;
HWND MainWindow;

bool acceptCommandPath(const char* commandLine) {
    commandPath = commandLine ? commandLine : "";
    if (commandPath.empty())
        return true;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((commandPath + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        MessageBoxA(
            nullptr,
            "Sorry, cannot accept UNC drive specifications.\nPlease assign a logical drive-letter first.",
            ProductTitle.c_str(), MB_OK | MB_ICONHAND);
        return false;
    }
    FindClose(search);
    return true;
}

bool registerWindowClasses(HINSTANCE instance, HINSTANCE previous) {
    InitCommonControls();
    if (!previous && !registerMainWindowClass(instance))
        return false;
    appInstance = instance;
    return registerPieWindowClass(instance);
}

HWND createMainWindow() {
    const RECT screen =
        placementScreen({GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                         GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                         GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN)},
                        GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    const Placement placement =
        reachablePlacement({windowX.value, windowY.value, windowWidth.value, windowHeight.value}, screen);
    MainWindow = CreateWindowExA(0, MainClassName.c_str(), WindowTitle.c_str(), WS_OVERLAPPEDWINDOW,
                                 placement.x, placement.y, placement.width, placement.height, nullptr,
                                 nullptr, appInstance, nullptr);
    return MainWindow;
}

int runMessageLoop(HACCEL accelerators) {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0)) {
        if (!TranslateAcceleratorA(MainWindow, accelerators, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}
