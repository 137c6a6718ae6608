// The main window: toolbar with the drive list, status bar, tree view and pie window, the
// commands of menu, toolbar and accelerator, and the ordered shut-down.
#pragma once

#include "pie/handles.h" // statusBar, DirTreeView and the cursors, which the chart uses too

#include <windows.h>

#include <cstdint>

extern HWND MainToolbar;
extern HWND PieWindow;
extern HWND DriveCombo;

// Drive number (0 for A) of each item of the drive list.
extern int32_t itemDrives[26];

bool registerMainWindowClass(HINSTANCE instance);
