#include "app/layout.h"

#include "app/mainwindow.h"
#include "settings/settings.h"

#include <commctrl.h>

#include <algorithm>

int32_t splitPos;

// A settings file edited by hand, or written on a larger screen, can hold a window the user could
// never reach or one too small to use; the window then opens where the system puts new windows,
// and closing it saves that place.
Placement reachablePlacement(Placement stored, const RECT& screen) {
    Placement placement = stored;
    const int64_t screenWidth = int64_t{screen.right} - screen.left;
    const int64_t screenHeight = int64_t{screen.bottom} - screen.top;
    if (placement.width != CW_USEDEFAULT) {
        if (placement.width < minWindowWidth || placement.height < minWindowHeight) {
            placement.width = placement.height = CW_USEDEFAULT;
        } else {
            placement.width = static_cast<int32_t>(std::min<int64_t>(placement.width, screenWidth));
            placement.height = static_cast<int32_t>(std::min<int64_t>(placement.height, screenHeight));
        }
    }
    if (placement.x != CW_USEDEFAULT) {
        const int64_t width = placement.width == CW_USEDEFAULT ? minWindowWidth : placement.width;
        const int64_t x = placement.x, y = placement.y;
        const bool reachable = x < screen.right - titleGrip && x + width > screen.left + titleGrip &&
                               y >= screen.top && y < screen.bottom - titleGrip;
        if (!reachable)
            placement.x = placement.y = CW_USEDEFAULT;
    }
    return placement;
}

RECT placementScreen(const RECT& virtualScreen, int32_t primaryWidth, int32_t primaryHeight) {
    if (virtualScreen.right > virtualScreen.left && virtualScreen.bottom > virtualScreen.top)
        return virtualScreen;
    return {0, 0, primaryWidth, primaryHeight};
}

namespace {

// The drag: the bar's x, top, the client width at the press (right) and the bar's height.
struct DragBar {
    int32_t x, top, right, height;
};
DragBar dragBar;
HDC dragDC;
HWND dragWindow;

int32_t mouseX(LPARAM lParam) {
    return static_cast<int16_t>(LOWORD(lParam));
}

void drawBar() {
    PatBlt(dragDC, dragBar.x, paneTop, dividerWidth, dragBar.height, DSTINVERT);
}

} // namespace

int32_t clampedDividerX(int32_t x, int32_t width) {
    return std::min(std::max(x - 2, dragMargin), width - dragMargin);
}

void statusPartEdges(int32_t width, int edges[3]) {
    edges[0] = (width - 60) / 2;
    edges[1] = width - 60;
    edges[2] = -1;
}

void layoutPanes(HWND mainWindow) {
    RECT client;
    GetClientRect(mainWindow, &client);
    const int32_t width = client.right, height = client.bottom;
    HDWP positions = BeginDeferWindowPos(4);
    positions = DeferWindowPos(positions, MainToolbar, nullptr, 0, 0, width, toolbarHeight,
                               SWP_NOMOVE | SWP_NOZORDER);
    positions = DeferWindowPos(positions, DirTreeView, nullptr, 0, 0, splitPos, height - paneHeightLoss,
                               SWP_NOMOVE | SWP_NOZORDER);
    positions = DeferWindowPos(positions, PieWindow, nullptr, splitPos + dividerWidth, paneTop,
                               width - splitPos - dividerWidth, height - paneHeightLoss, SWP_NOZORDER);
    positions = DeferWindowPos(positions, statusBar, nullptr, 0, height - statusHeight, width, statusHeight,
                               SWP_NOZORDER);
    EndDeferWindowPos(positions);
}

void onSize(HWND mainWindow) {
    layoutPanes(mainWindow);
    RECT client;
    GetClientRect(mainWindow, &client);
    int edges[3];
    statusPartEdges(client.right, edges);
    SendMessageA(statusBar, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(edges));
    SendMessageA(statusBar, SB_SETTEXTA, 2, reinterpret_cast<LPARAM>(enableDelete.value ? "Delete" : ""));
}

void onLButtonDown(HWND mainWindow, LPARAM lParam) {
    SetCapture(mainWindow);
    RECT client;
    GetClientRect(mainWindow, &client);
    dragBar.top = client.top + paneTop;
    dragBar.right = client.right;
    dragBar.height = client.bottom - paneHeightLoss;
    dragBar.x = clampedDividerX(mouseX(lParam), dragBar.right) + 1;
    if (dragDC)
        ReleaseDC(dragWindow, dragDC);
    dragWindow = mainWindow;
    dragDC = GetDC(mainWindow);
    drawBar();
}

void onMouseMove(LPARAM lParam) {
    if (!dragDC)
        return;
    drawBar();
    dragBar.x = clampedDividerX(mouseX(lParam), dragBar.right) + 1;
    drawBar();
}

void onLButtonUp(LPARAM lParam) {
    if (!dragDC)
        return;
    drawBar();
    dragBar.x = clampedDividerX(mouseX(lParam), dragBar.right) + 1;
    ReleaseCapture();
    ReleaseDC(dragWindow, dragDC);
    dragDC = nullptr;
    splitPos = dragBar.x - 2;
    const int32_t width = dragBar.right, height = dragBar.height;
    if (DirTreeView)
        SetWindowPos(DirTreeView, nullptr, 0, 0, splitPos, height, SWP_NOMOVE | SWP_NOZORDER);
    if (PieWindow)
        SetWindowPos(PieWindow, nullptr, splitPos + dividerWidth, paneTop, width - splitPos - dividerWidth,
                     height, SWP_NOZORDER);
}
