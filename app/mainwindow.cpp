#include "app/mainwindow.h"

HWND MainToolbar;
HWND statusBar;
HWND PieWindow;
HWND DirTreeView;
HWND DriveCombo;
