// The windows a scan talks to, as the program has them: a frame holding a real tree view and a
// real status bar, which the benchmarks' own thread serves while a scan thread fills them.
#pragma once

#include "app/mainwindow.h"
#include "app/treeview.h"

#include <windows.h>
#include <commctrl.h>

// Makes the frame, of a class of the given name and window procedure, with DirTreeView and
// statusBar in it; returns the frame.
inline HWND makeScanWindows(const char* className, const char* title, WNDPROC frameProc) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = frameProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = className;
    RegisterClassA(&wc);
    HWND frame = CreateWindowExA(0, className, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 800, 600, nullptr,
                                 nullptr, wc.hInstance, nullptr);
    DirTreeView = CreateWindowExA(WS_EX_CLIENTEDGE, WC_TREEVIEWA, "",
                                  WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                                      TVS_SHOWSELALWAYS,
                                  0, 0, 300, 550, frame, nullptr, wc.hInstance, nullptr);
    statusBar = CreateStatusWindowA(WS_CHILD | WS_VISIBLE, "", frame, 1);
    return frame;
}
