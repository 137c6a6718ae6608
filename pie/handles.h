// The handles the chart works with. The application makes them and sets them here: the program's
// instance (the string table's texts), the status bar the chart writes to, the tree view in which
// it selects, and the cursors it shows. The chart names no other window of the application, and
// nothing below the chart names a window at all.
#pragma once

#include <windows.h>

extern HINSTANCE appInstance;
extern HWND statusBar;
extern HWND DirTreeView;

// The wait cursor, the arrow, and the chart's five: entry 0 the arrow, 1 to 4 the program's own.
extern HCURSOR waitCursor;
extern HCURSOR arrowCursor;
extern HCURSOR pieCursors[5];
