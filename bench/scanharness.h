// What the scan benchmarks share: the windows a scan talks to, as the program has them (a frame
// holding a real tree view and a real status bar, which the benchmark's own thread serves while a
// scan thread fills them), and the clock they are timed by.
#pragma once

#include "app/mainwindow.h"
#include "app/treeview.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdint>

// The performance counter's ticks per second, read once.
inline double ticksPerMs() {
    static const double perMs = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1000.0;
    }();
    return perMs;
}

inline double msOf(int64_t ticks) {
    return static_cast<double>(ticks) / ticksPerMs();
}

inline double nowMs() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return msOf(now.QuadPart);
}

// Runs work on a thread of its own while this thread serves its windows, as a scanner runs;
// returns the milliseconds it took.
inline double timedThread(LPTHREAD_START_ROUTINE work, void* param) {
    const double start = nowMs();
    HANDLE thread = CreateThread(nullptr, 0, work, param, 0, nullptr);
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
    CloseHandle(thread);
    return nowMs() - start;
}

// Starts the common controls, and makes the frame, of a class of the given name and window procedure, with DirTreeView and
// statusBar in it; returns the frame.
inline HWND makeScanWindows(const char* className, const char* title, WNDPROC frameProc) {
    SetErrorMode(SEM_FAILCRITICALERRORS);
    InitCommonControls();
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
