// The main window and the controls it owns; scans and the chart reach them through these handles.
#pragma once

#include <windows.h>

extern HWND MainToolbar;
extern HWND statusBar;
extern HWND PieWindow;
extern HWND DirTreeView;
extern HWND DriveCombo;
