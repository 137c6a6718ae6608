#include "app/mainwindow.h"

#include "app/about.h"
#include "app/clipboard.h"
#include "app/help.h"
#include "app/layout.h"
#include "app/startup.h"
#include "app/treeview.h"
#include "model/scanthread.h"
#include "model/sizetree.h"
#include "model/survey.h"
#include "pie/pieview.h"
#include "res/resource.h"
#include "app/preferences.h"
#include "settings/settings.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>

HWND MainToolbar;
HWND PieWindow;
HWND DriveCombo;
int32_t itemDrives[26];

namespace {

char tipText[30];

// Where the window last stood as a normal window, in screen coordinates as GetWindowRect gives
// them. GetWindowPlacement's restored rectangle cannot serve: Windows gives it relative to the
// work area (it moves by the taskbar's size when the taskbar is at the top or left), Wine relative
// to the screen.
RECT normalPlace;
bool normalPlaceKnown = false;

void rememberNormalPlace(HWND window) {
    if (IsIconic(window) || IsZoomed(window))
        return;
    GetWindowRect(window, &normalPlace);
    normalPlaceKnown = true;
}

TBBUTTON toolbarButton(int image, int command, BYTE style) {
    TBBUTTON button = {};
    button.iBitmap = image;
    button.idCommand = command;
    button.fsState = style == TBSTYLE_SEP ? 0 : TBSTATE_ENABLED;
    button.fsStyle = style;
    return button;
}

// Twenty leading separators keep the toolbar's left part free for the drive list.
void createToolbar(HWND window) {
    TBBUTTON buttons[27];
    for (int i = 0; i < 20; ++i)
        buttons[i] = toolbarButton(0, 0, TBSTYLE_SEP);
    buttons[20] = toolbarButton(1, IDM_UPLEVEL, TBSTYLE_BUTTON);
    buttons[21] = toolbarButton(0, 0, TBSTYLE_SEP);
    buttons[22] = toolbarButton(0, IDM_RELATIVE, TBSTYLE_CHECK);
    buttons[23] = toolbarButton(3, IDM_ABSOLUTE, TBSTYLE_CHECK);
    buttons[24] = toolbarButton(0, 0, TBSTYLE_SEP);
    buttons[25] = toolbarButton(5, IDM_REFRESH, TBSTYLE_BUTTON);
    buttons[26] = toolbarButton(2, IDM_HELPCONTENTS, TBSTYLE_BUTTON);
    HBITMAP bitmap = LoadBitmapA(appInstance, MAKEINTRESOURCEA(IDB_TOOLBAR));
    MainToolbar =
        CreateToolbarEx(window, WS_CHILD | WS_VISIBLE | TBSTYLE_TOOLTIPS, 0, 6, nullptr,
                        reinterpret_cast<UINT_PTR>(bitmap), buttons, 27, 16, 15, 16, 15, sizeof(TBBUTTON));
    if (showBytes.value == 1)
        SendMessageA(MainToolbar, TB_CHECKBUTTON, IDM_RELATIVE, TRUE);
    else if (showBytes.value == 2)
        SendMessageA(MainToolbar, TB_CHECKBUTTON, IDM_ABSOLUTE, TRUE);
}

// "C:\ (SYSTEM) (NTFS)", "A:\ (Floppy Disk)", "D:\ (CDRom) (CDFS)". Every write is bounded: a
// long label is cut to the item's 40 characters.
void fillDriveList() {
    char roots[26 * 4 + 1] = {};
    GetLogicalDriveStringsA(sizeof roots, roots);
    int item = 0;
    for (const char* root = roots; *root && item < 26; root += std::strlen(root) + 1) {
        char text[40];
        std::snprintf(text, sizeof text, "%s", root);
        CharUpperA(text);
        itemDrives[item] = text[0] - 'A';
        // A drive that cannot be asked (no disc) must not show the previous drive's names.
        char volume[40] = "";
        char fileSystem[19] = "";
        UINT type = GetDriveTypeA(root);
        if (type != DRIVE_REMOVABLE && !GetVolumeInformationA(root, volume, sizeof volume, nullptr, nullptr,
                                                              nullptr, fileSystem, sizeof fileSystem))
            volume[0] = fileSystem[0] = '\0';
        size_t length = std::strlen(text);
        char* end = text + length;
        size_t room = sizeof text - length;
        switch (type) {
        case DRIVE_REMOVABLE:
            std::snprintf(end, room, " (Floppy Disk)");
            break;
        case DRIVE_FIXED:
        case DRIVE_REMOTE:
            std::snprintf(end, room, " (%s) (%s)", volume, fileSystem);
            break;
        case DRIVE_CDROM:
            std::snprintf(end, room, " (CDRom) (%s)", fileSystem);
            break;
        case DRIVE_RAMDISK:
            std::snprintf(end, room, " (Ramdisk) (%s)", fileSystem);
            break;
        default:
            break;
        }
        SendMessageA(DriveCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        ++item;
    }
}

void startCommandLineScan() {
    if (commandPath.empty())
        return;
    char first = commandPath[0];
    if (first >= 'a' && first <= 'z')
        first = static_cast<char>(first - 'a' + 'A');
    if (first < 'A' || first > 'Z')
        return;
    int32_t drive = first - 'A';
    if (!slotIsEmpty(drive))
        return;
    if (commandPath.back() != '\\')
        commandPath += '\\';
    ScanRequest request;
    request.driveIndex = drive;
    request.reselect = true;
    request.path = commandPath;
    startScan(request, screenSink());
}

void onCreate(HWND window) {
    normalPlaceKnown = false;
    RECT client;
    GetClientRect(window, &client);
    const int32_t width = client.right, height = client.bottom;
    splitPos = IntSetting("Split", SectionName, IniFileName, width / 4).value;

    createToolbar(window);
    statusBar = CreateStatusWindowA(WS_CHILD | WS_VISIBLE | WS_BORDER, "", window, 0);
    PieWindow = CreateWindowExA(WS_EX_CLIENTEDGE, PieClassName.c_str(), "", WS_CHILD | WS_VISIBLE, 0, paneTop,
                                width, height - paneHeightLoss, window, nullptr, appInstance, &screenSink());
    DirTreeView = CreateWindowExA(
        WS_EX_CLIENTEDGE, WC_TREEVIEWA, "",
        WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS, 0,
        paneTop, width, height - paneHeightLoss, window, nullptr, appInstance, nullptr);
    DriveCombo = CreateWindowExA(
        WS_EX_CLIENTEDGE, "COMBOBOX", "",
        WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWN | CBS_HASSTRINGS, 0, 2,
        150, 300, MainToolbar, reinterpret_cast<HMENU>(IDC_DRIVECOMBO), appInstance, nullptr);
    SendMessageA(DriveCombo, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(ANSI_VAR_FONT)), FALSE);
    SendMessageA(DriveCombo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Select a drive"));
    fillDriveList();

    waitCursor = LoadCursorA(nullptr, IDC_WAIT);
    arrowCursor = LoadCursorA(nullptr, IDC_ARROW);
    pieCursors[0] = arrowCursor;
    for (int i = 1; i <= 4; ++i)
        pieCursors[i] = LoadCursorA(appInstance, MAKEINTRESOURCEA(i));

    for (auto& slot : driveTable.slots)
        slot.store(nullptr);
    pieView.currentNode = nullptr;
    startCommandLineScan();
}

void onDriveSelected() {
    LRESULT item = SendMessageA(DriveCombo, CB_GETCURSEL, 0, 0);
    if (item == CB_ERR || item < 0 || item >= 26)
        return;
    int32_t drive = itemDrives[item];
    if (drive < 0 || drive >= 26)
        return;
    if (slotIsEmpty(drive)) {
        ScanRequest request;
        request.driveIndex = drive;
        startScan(request, screenSink());
        return;
    }
    DriveSurvey* survey = surveyInSlot(drive);
    if (survey && drive != pieView.currentDrive)
        SendMessageA(DirTreeView, TVM_SELECTITEM, TVGN_CARET,
                     reinterpret_cast<LPARAM>(survey->root->treeItem));
}

void oneLevelUp() {
    HTREEITEM selected =
        reinterpret_cast<HTREEITEM>(SendMessageA(DirTreeView, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (!selected)
        return;
    HTREEITEM parent = reinterpret_cast<HTREEITEM>(
        SendMessageA(DirTreeView, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(selected)));
    if (parent)
        SendMessageA(DirTreeView, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(parent));
}

// Commands 106 and 107 switch the labels between plain, relative and absolute sizes; the two
// buttons are never checked together.
void toggleShowBytes(int32_t mode, int otherButton) {
    if (showBytes.value == mode) {
        showBytes.value = 0;
    } else {
        SendMessageA(MainToolbar, TB_CHECKBUTTON, otherButton, FALSE);
        showBytes.value = mode;
    }
    InvalidateRect(PieWindow, nullptr, TRUE);
    save(showBytes);
}

bool onCommand(HWND window, WPARAM wParam, LPARAM lParam) {
    switch (LOWORD(wParam)) {
    case IDM_COPY:
        copyPieToClipboard();
        return true;
    case IDM_PREFERENCES:
        switch (runPreferencesDialog(window)) {
        case 1:
            InvalidateRect(PieWindow, nullptr, TRUE);
            break;
        case 2:
            rescanPreferencesDrive();
            break;
        default:
            break;
        }
        return true;
    case IDM_EXIT:
        SendMessageA(window, WM_CLOSE, 0, 0);
        return true;
    case IDM_REFRESH:
        rescanCurrentDrive(screenSink());
        return true;
    case IDM_UPLEVEL:
        oneLevelUp();
        return true;
    case IDM_RELATIVE:
        toggleShowBytes(1, IDM_ABSOLUTE);
        return true;
    case IDM_ABSOLUTE:
        toggleShowBytes(2, IDM_RELATIVE);
        return true;
    case IDM_HELPCONTENTS:
        showHelpContents(window);
        return true;
    case IDM_HELPONHELP:
        showHelpOnHelp(window);
        return true;
    case IDM_WEBPAGE:
        openWebPage();
        return true;
    case IDM_ABOUT:
        runAboutDialog(window);
        return true;
    case IDC_DRIVECOMBO:
        if (HIWORD(wParam) == CBN_SELCHANGE && reinterpret_cast<HWND>(lParam) == DriveCombo)
            onDriveSelected();
        return true;
    default:
        return false;
    }
}

void onNotify(HWND window, const NMHDR* header) {
    if (header->code == TTN_NEEDTEXTA) {
        NMTTDISPINFOA* info = reinterpret_cast<NMTTDISPINFOA*>(const_cast<NMHDR*>(header));
        LoadStringA(appInstance, static_cast<UINT>(header->idFrom), tipText, sizeof tipText);
        info->lpszText = tipText;
    } else if (header->code == TVN_SELCHANGEDA && header->hwndFrom == DirTreeView) {
        onSelectionChanged(window, reinterpret_cast<const NMTREEVIEWA*>(header));
    }
}

// The window's restored rectangle is saved, also when it closes minimised or maximised, so the
// next start opens where and as large as the user last had it.
void onDestroy(HWND window) {
    IntSetting split("Split", SectionName, IniFileName, 0);
    split.value = splitPos;
    save(split);
    rememberNormalPlace(window);
    if (!normalPlaceKnown) {
        WINDOWPLACEMENT placement = {};
        placement.length = sizeof placement;
        GetWindowPlacement(window, &placement);
        normalPlace = placement.rcNormalPosition;
    }
    const RECT& r = normalPlace;
    windowX.value = r.left;
    windowY.value = r.top;
    windowWidth.value = r.right - r.left;
    windowHeight.value = r.bottom - r.top;
    save(windowX);
    save(windowY);
    save(windowWidth);
    save(windowHeight);
    quitHelp(window);
    freeDriveTable();
    PostQuitMessage(0);
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        onCreate(window);
        return 0;
    case WM_SIZE:
        onSize(window);
        rememberNormalPlace(window);
        return 0;
    case WM_MOVE:
        rememberNormalPlace(window);
        return 0;
    case WM_NOTIFY:
        onNotify(window, reinterpret_cast<const NMHDR*>(lParam));
        return 0;
    case WM_COMMAND:
        if (onCommand(window, wParam, lParam))
            return 0;
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_LBUTTONDOWN:
        onLButtonDown(window, lParam);
        return 0;
    case WM_MOUSEMOVE:
        onMouseMove(lParam);
        return 0;
    case WM_LBUTTONUP:
        onLButtonUp(lParam);
        return 0;
    case WM_DESTROY:
        onDestroy(window);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

} // namespace

bool registerMainWindowClass(HINSTANCE instance) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = mainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_TARVALE));
    windowClass.hCursor = LoadCursorA(instance, MAKEINTRESOURCEA(IDC_SPLITTER));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEA(IDR_MAINMENU);
    windowClass.lpszClassName = MainClassName.c_str();
    return RegisterClassA(&windowClass) != 0;
}
