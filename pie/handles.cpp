#include "pie/handles.h"

HINSTANCE appInstance;
HWND statusBar;
HWND DirTreeView;
HCURSOR waitCursor;
HCURSOR arrowCursor;
HCURSOR pieCursors[5];
