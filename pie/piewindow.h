// The pie window: the chart of the current directory, its hover texts and cursors, and the
// clicks that move the view.
#pragma once

#include <windows.h>

struct PieView;

// A window of the class takes, as the parameter of its creation, the ScanSink through which its
// deletions change the tree.
bool registerPieWindowClass(HINSTANCE instance);

// What is under the point (client pixels): sets the view's hot item and actions and part 0 of
// the status bar; returns the index of the cursor to show (0 to 4).
int hitTestPie(HWND window, PieView& view, int x, int y);
// Descends into the hot directory or goes up to the parent, as the last hit test decided.
void applyClick(PieView& view);
