// The main window: toolbar with the drive list, status bar, tree view and pie window, the
// commands of menu, toolbar and accelerator, and the ordered shut-down.
#pragma once

#include <windows.h>

#include <cstdint>

extern HWND MainToolbar;
extern HWND statusBar;
extern HWND PieWindow;
extern HWND DirTreeView;
extern HWND DriveCombo;

// Drive number (0 for A) of each item of the drive list.
extern int32_t itemDrives[26];

// Cursors of the chart: entry 0 the arrow, 1 to 4 the program's own.
extern HCURSOR waitCursor;
extern HCURSOR arrowCursor;
extern HCURSOR pieCursors[5];

bool registerMainWindowClass(HINSTANCE instance);
