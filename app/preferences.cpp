#include "app/preferences.h"

#include "app/help.h"
#include "app/mainwindow.h"
#include "app/startup.h"
#include "app/treeview.h"
#include "model/scanthread.h"
#include "model/sizetree.h"
#include "model/survey.h"
#include "pie/pieview.h"
#include "res/resource.h"
#include "settings/settings.h"

#include <commctrl.h>

#include <cstdio>
#include <string>

namespace {

// Fixed when the dialog opens: a scan ending while it is open must not make OK compare one
// drive's typed value with another drive's figures.
std::string dialogDrive;
int32_t dialogDriveIndex = -1; // -1: no drive was shown, and none is scanned again
std::string dialogPath;
int32_t measuredClusterSize;
int32_t openingValue;

void setNumber(HWND dialog, int control, int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    SetDlgItemTextA(dialog, control, text);
}

const DriveSurvey* currentSurvey() {
    return pieView.currentNode ? surveyInSlot(pieView.currentDrive) : nullptr;
}

void onInitDialog(HWND dialog) {
    const DriveSurvey* survey = currentSurvey();
    dialogDrive = survey ? survey->rootPath : "C:\\";
    dialogDriveIndex = survey ? pieView.currentDrive : -1;
    dialogPath = survey ? pathOf(pieView.currentNode) : std::string();
    DWORD sectors = 0, bytes = 0, freeClusters = 0, totalClusters = 0;
    if (!GetDiskFreeSpaceA(dialogDrive.c_str(), &sectors, &bytes, &freeClusters, &totalClusters))
        sectors = bytes = 0;
    measuredClusterSize = static_cast<int32_t>(sectors * bytes);
    if (uint32_t reported = queryTrueClusterSize(dialogDrive))
        measuredClusterSize = static_cast<int32_t>(reported);
    // Without a geometry (no medium) the drive is counted in 512-byte sectors, as the scan does.
    if (measuredClusterSize <= 0)
        measuredClusterSize = 512;
    setCheckBox(showFiles, dialog, IDC_SHOWFILES);
    setCheckBox(enableDelete, dialog, IDC_ENABLEDELETE);
    setCheckBox(autoExpand, dialog, IDC_AUTOEXPAND);
    setCheckBox(autoCollapse, dialog, IDC_AUTOCOLLAPSE);
    SetDlgItemTextA(dialog, IDC_DRIVELABEL, ("Drive: " + dialogDrive).c_str());
    openingValue = survey ? static_cast<int32_t>(survey->clusterSize)
                          : IntSetting(dialogDrive, "Blocksizes", IniFileName, measuredClusterSize).value;
    setNumber(dialog, IDC_CLUSTERSIZE, openingValue);
}

void onOk(HWND dialog) {
    INT_PTR result = 1;
    // Text that reads as no number leaves the cluster size as it was.
    char text[15];
    GetDlgItemTextA(dialog, IDC_CLUSTERSIZE, text, sizeof text);
    unsigned typed;
    if (std::sscanf(text, "%u", &typed) == 1) {
        IntSetting size(dialogDrive, "Blocksizes", IniFileName, 0);
        readEdit(size, dialog, IDC_CLUSTERSIZE, false);
        if (size.value == 0) {
            // Every size of the drive is divided by it: refused, and left as it was.
            MessageBeep(0);
        } else if (size.value != openingValue) {
            result = 2;
            if (size.value == measuredClusterSize)
                erase(size);
            else
                save(size);
        }
    }
    readCheckBox(showFiles, dialog, IDC_SHOWFILES, true);
    readCheckBox(enableDelete, dialog, IDC_ENABLEDELETE, true);
    readCheckBox(autoExpand, dialog, IDC_AUTOEXPAND, true);
    readCheckBox(autoCollapse, dialog, IDC_AUTOCOLLAPSE, true);
    SendMessageA(statusBar, SB_SETTEXTA, 2, reinterpret_cast<LPARAM>(enableDelete.value ? "Delete" : ""));
    EndDialog(dialog, result);
}

INT_PTR CALLBACK preferencesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        onInitDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (wParam) {
        case IDOK:
            onOk(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 0);
            return TRUE;
        case IDC_HELPBUTTON:
            if (!HelpFileName.empty())
                showHelpContext(MainWindow, 1132);
            return FALSE;
        case IDC_ADVISE:
            setNumber(dialog, IDC_CLUSTERSIZE, measuredClusterSize);
            return FALSE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}

} // namespace

void readEdit(IntSetting& setting, HWND dialog, int controlId, bool saveIfChanged) {
    char text[15];
    GetDlgItemTextA(dialog, controlId, text, sizeof text);
    unsigned number;
    if (std::sscanf(text, "%u", &number) != 1)
        return;
    if (static_cast<int32_t>(number) == setting.value)
        return;
    setting.value = static_cast<int32_t>(number);
    if (saveIfChanged)
        save(setting);
}

void readCheckBox(IntSetting& setting, HWND dialog, int controlId, bool saveIfChanged) {
    int state = static_cast<int>(IsDlgButtonChecked(dialog, controlId));
    if (state < 0 || state == setting.value)
        return;
    setting.value = state;
    if (saveIfChanged)
        save(setting);
}

void setCheckBox(const IntSetting& setting, HWND dialog, int controlId) {
    CheckDlgButton(dialog, controlId, static_cast<UINT>(setting.value));
}

void rescanPreferencesDrive() {
    if (dialogDriveIndex >= 0)
        rescanDrive(dialogDriveIndex, dialogPath, screenSink());
}

INT_PTR runPreferencesDialog(HWND owner) {
    return DialogBoxParamA(appInstance, MAKEINTRESOURCEA(IDD_PREFERENCES), owner, preferencesDialogProc, 0);
}
