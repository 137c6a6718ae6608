#include "app/about.h"

#include "app/startup.h"
#include "res/resource.h"

namespace {

INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

void runAboutDialog(HWND owner) {
    DialogBoxParamA(appInstance, MAKEINTRESOURCEA(IDD_ABOUT), owner, aboutDialogProc, 0);
}
