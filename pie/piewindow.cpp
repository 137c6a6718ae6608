#include "pie/piewindow.h"

#include "model/scanthread.h"
#include "model/sizetree.h"
#include "model/survey.h"
#include "pie/deletion.h"
#include "pie/handles.h"
#include "pie/layout.h"
#include "pie/paint.h"
#include "pie/pieview.h"
#include "pie/texts.h"
#include "settings/settings.h"

#include <commctrl.h>

#include <cmath>

PieView pieView;

namespace {

constexpr double pi = 3.141592653589793;

void setStatus(const std::string& text) {
    SendMessageA(statusBar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool deletable(const DirNode* node) {
    return enableDelete.value != 0 && node->survey->driveType != DRIVE_CDROM;
}

void onPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (pieActive(pieView))
        paintPie(window, dc, pieView, true);
    EndPaint(window, &paint);
}

void onMouseMove(HWND window, LPARAM lParam) {
    if (pieActive(pieView)) {
        SetCursor(pieCursors[hitTestPie(window, pieView, LOWORD(lParam), HIWORD(lParam))]);
        return;
    }
    SetCursor(pieCursors[0]);
    setStatus("");
}

// A click acts on what is under the mouse at its own point, not on what the last mouse move found:
// the view may have changed since (a selection change forgets the hot item), and the mouse need
// not have moved between two clicks.
void onLButtonDown(HWND window, LPARAM lParam) {
    if (!pieActive(pieView))
        return;
    hitTestPie(window, pieView, LOWORD(lParam), HIWORD(lParam));
    applyClick(pieView);
    SetCursor(pieCursors[hitTestPie(window, pieView, LOWORD(lParam), HIWORD(lParam))]);
    SendMessageA(DirTreeView, TVM_SELECTITEM, TVGN_CARET,
                 reinterpret_cast<LPARAM>(pieView.currentNode->treeItem));
}

// A window made without a sink shows the chart but deletes nothing.
void onRButtonDown(HWND window, LPARAM lParam) {
    ScanSink* tree = reinterpret_cast<ScanSink*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!pieActive(pieView) || !tree)
        return;
    hitTestPie(window, pieView, LOWORD(lParam), HIWORD(lParam));
    deleteHotItem(window, pieView, *tree);
}

LRESULT CALLBACK pieWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<const CREATESTRUCTA*>(lParam)->lpCreateParams));
        return 0;
    case WM_DESTROY:
    case WM_COMMAND:
        return 0;
    case WM_SIZE:
        InvalidateRect(window, nullptr, TRUE);
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_PAINT:
        onPaint(window);
        return 0;
    case WM_MOUSEMOVE:
        onMouseMove(window, lParam);
        return 0;
    case WM_LBUTTONDOWN:
        onLButtonDown(window, lParam);
        return 0;
    case WM_RBUTTONDOWN:
        onRButtonDown(window, lParam);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

} // namespace

void clearHotItem(PieView& view) {
    view.hotItem = HotItem();
    view.clickAction = noClick;
    view.deleteAction = noDelete;
}

bool pieActive(const PieView& view) {
    if (!view.currentNode)
        return false;
    DriveSurvey* survey = surveyInSlot(view.currentDrive);
    return survey && survey->complete;
}

void rescanCurrentDrive(ScanSink& sink) {
    if (pieView.currentNode)
        rescanDrive(pieView.currentDrive, pathOf(pieView.currentNode), sink);
}

// The point is taken in the mapping of the picture on the screen, that of its last paint; only
// before the first paint is a device context asked.
int hitTestPie(HWND window, PieView& view, int x, int y) {
    if (screenMapping.viewport.cx == 0 || screenMapping.viewport.cy == 0) {
        HDC dc = GetDC(window);
        RECT client;
        GetClientRect(window, &client);
        setPieMapping(dc, client);
        screenMapping = readPieMapping(dc);
        ReleaseDC(window, dc);
    }
    clearHotItem(view);
    if (screenMapping.viewport.cx == 0 || screenMapping.viewport.cy == 0)
        return 0; // a window without a client area shows nothing
    const POINT point = toLogical(screenMapping, x, y);

    const double lx = point.x, ly = point.y;
    if (lx * lx + ly * ly <= 4)
        return 0;
    DirNode* node = view.currentNode;
    const int32_t distance = static_cast<int32_t>(std::sqrt(lx * lx + ly * ly));
    if (distance > screenPieRadius) {
        if (node->parent) {
            view.clickAction = goUp;
            setStatus(hoverTextOutside(node));
            return 1;
        }
        setStatus("");
        return 0;
    }
    int32_t theta = static_cast<int32_t>(std::atan2(-ly, lx) * 1800 / pi);
    if (theta <= 0)
        theta += 3600;
    int32_t angle = theta - 900;
    if (angle < 0)
        angle += 3600;
    // The slice under the point is the one the layout drew there.
    const PieLayout& layout = currentLayout(view, showFiles.value != 0);
    const ptrdiff_t index = sliceAt(layout, angle);
    const Slice* slice = index >= 0 ? &layout.slices[static_cast<size_t>(index)] : nullptr;
    if (slice && slice->group == SliceGroup::Subdirectory) {
        view.clickAction = descend;
        view.hotItem.directory = slice->child;
        setStatus(hoverText(slice->child));
        if (deletable(node)) {
            view.deleteAction = deleteDirectory;
            return 4;
        }
        return 2;
    }
    // The files its subdirectories share: named, never entered nor deleted.
    if (slice && slice->group == SliceGroup::Shared) {
        setStatus(hoverTextShared(node));
        return 0;
    }
    if (slice && slice->group == SliceGroup::File) {
        setStatus(hoverText(node, slice->entry));
        if (!deletable(node))
            return 0;
        view.hotItem.file = slice->entry;
        view.deleteAction = deleteFile;
        return 3;
    }
    setStatus("");
    return 0;
}

void applyClick(PieView& view) {
    if (view.clickAction == descend && view.hotItem.directory)
        view.currentNode = view.hotItem.directory;
    else if (view.clickAction == goUp && view.currentNode->parent)
        view.currentNode = view.currentNode->parent;
}

bool registerPieWindowClass(HINSTANCE instance) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = pieWindowProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = PieClassName.c_str();
    return RegisterClassA(&windowClass) != 0;
}
