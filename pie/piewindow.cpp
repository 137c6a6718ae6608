#include "pie/piewindow.h"

#include "pie/pieview.h"
#include "settings/settings.h"

PieView pieView;

namespace {

LRESULT CALLBACK pieWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

bool registerPieWindowClass(HINSTANCE instance) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = pieWindowProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = PieClassName.c_str();
    return RegisterClassA(&windowClass) != 0;
}
