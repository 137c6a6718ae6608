#include "app/startup.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

int main(int argc, char** argv) {
    // A drive without a medium must never stop a test with a system dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS);
    InitCommonControls();
    appInstance = GetModuleHandleA(nullptr);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
