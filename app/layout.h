// The panes of the main window in fixed pixel bands, and the divider between the tree and the
// chart, dragged with the mouse.
#pragma once

#include <windows.h>

#include <cstdint>

extern int32_t splitPos; // width of the tree pane in pixels

// Geometry of the bands, kept free of windows so the tests check the same numbers.
constexpr int32_t toolbarHeight = 27;
constexpr int32_t statusHeight = 20;
constexpr int32_t paneTop = 27;
constexpr int32_t paneHeightLoss = 46; // pane height = client height - 46
constexpr int32_t dividerWidth = 4;
constexpr int32_t dragMargin = 50;

// Where the main window opens: the stored values, or the system's choice where they would hide
// it. CW_USEDEFAULT in a value leaves it to the system.
struct Placement {
    int32_t x, y, width, height;
};
constexpr int32_t minWindowWidth = 200;
constexpr int32_t minWindowHeight = 150;
constexpr int32_t titleGrip = 40; // pixels of the title bar that must stay on the screen
Placement reachablePlacement(Placement stored, const RECT& screen);
// The screen a stored place is checked against: the virtual screen of all monitors, or the
// primary screen where the system has no virtual-screen metrics (Windows 95 and NT 4.0 give 0).
RECT placementScreen(const RECT& virtualScreen, int32_t primaryWidth, int32_t primaryHeight);

// The divider position a drag ends on for a mouse x, in a client area width wide.
int32_t clampedDividerX(int32_t mouseX, int32_t width);
// Right edges of the three status bar parts for a client width.
void statusPartEdges(int32_t width, int edges[3]);

void layoutPanes(HWND mainWindow);
void onSize(HWND mainWindow);
void onLButtonDown(HWND mainWindow, LPARAM lParam);
void onMouseMove(LPARAM lParam);
void onLButtonUp(LPARAM lParam);
