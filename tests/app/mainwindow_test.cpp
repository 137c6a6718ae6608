#include "app/help.h"
#include "app/layout.h"
#include "app/mainwindow.h"
#include "app/startup.h"
#include "app/treeview.h"
#include "model/removal.h"
#include "model/removalroute.h"
#include "model/scan.h"
#include "model/scanthread.h"
#include "model/sizetree.h"
#include "model/survey.h"
#include "pie/layout.h"
#include "pie/pieview.h"
#include "res/resource.h"
#include "settings/settings.h"
#include "support/disk.h"
#include "support/program.h"
#include "support/ui.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>
#include <vector>

namespace {

constexpr int driveU = 20, driveV = 21;

// The real main window, made by the start-up code WinMain runs, on drives U: and V: laid out
// by each case; the test thread pumps its messages.
class MainWindowTest : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(registerWindowClasses(GetModuleHandleA(nullptr), nullptr)); }

    void SetUp() override {
        resetSettings();
        showBytes.value = 0;
        showFiles.value = 0;
        enableDelete.value = 0;
        autoExpand.value = 1;
        autoCollapse.value = 1;
        commandPath.clear();
        std::string u = freshDrive("U");
        makeDir(u + "A");
        makeDir(u + "A\\B");
        makeDir(u + "A\\B\\C");
        makeFile(u + "A\\B\\C\\f", 40000);
        makeDir(u + "A\\X");
        makeFile(u + "A\\X\\f", 20000);
        makeDir(u + "Small");
        makeFile(u + "Small\\f", 100);
        makeDir(u + "Large");
        makeFile(u + "Large\\f", 90000);
        std::string v = freshDrive("V");
        makeDir(v + "Only");
        open();
    }

    void TearDown() override {
        closeWindow();
        DeleteFileA(settingsFilePath().c_str());
    }

    void open() {
        ASSERT_NE(createMainWindow(), nullptr);
        ShowWindow(MainWindow, SW_SHOW);
        pumpPending();
    }

    void closeWindow() {
        waitForScans();
        if (MainWindow && IsWindow(MainWindow))
            DestroyWindow(MainWindow);
        MainWindow = nullptr;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) // the quit message and what is left
            DispatchMessageA(&msg);
    }

    static void waitForScans() {
        pumpUntil([] {
            for (int i = 0; i < 26; ++i)
                if (driveTable.slots[i].load() == scanningMark || driveTable.settling[i])
                    return false;
            return true;
        });
        pumpPending();
    }

    static int comboItem(char letter) {
        LRESULT items = SendMessageA(DriveCombo, CB_GETCOUNT, 0, 0);
        for (int i = 0; i < items; ++i)
            if (itemDrives[i] == letter - 'A')
                return i;
        return -1;
    }

    static std::string comboText(int item) {
        char text[64] = "";
        SendMessageA(DriveCombo, CB_GETLBTEXT, item, reinterpret_cast<LPARAM>(text));
        return text;
    }

    // What a user's choice in the drive list sends.
    static void pickDrive(char letter) {
        int item = comboItem(letter);
        ASSERT_GE(item, 0) << letter;
        SendMessageA(DriveCombo, CB_SETCURSEL, item, 0);
        SendMessageA(MainWindow, WM_COMMAND, MAKEWPARAM(IDC_DRIVECOMBO, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(DriveCombo));
    }

    static DriveSurvey* scanDrive(char letter) {
        pickDrive(letter);
        int drive = letter - 'A';
        EXPECT_TRUE(pumpUntil([&] {
            return surveyInSlot(drive) && pieView.currentNode &&
                   pieView.currentNode->survey == surveyInSlot(drive) && !driveTable.settling[drive];
        }));
        return surveyInSlot(drive);
    }

    static std::string caption() {
        char text[512] = "";
        GetWindowTextA(MainWindow, text, sizeof text);
        return text;
    }

    static void select(DirNode* node) {
        SendMessageA(DirTreeView, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(node->treeItem));
    }

    static bool expanded(DirNode* node) {
        return (SendMessageA(DirTreeView, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(node->treeItem),
                             TVIS_EXPANDED) &
                TVIS_EXPANDED) != 0;
    }

    static std::string settingsText() {
        std::ifstream file(settingsFilePath());
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    static SIZE clientSize() {
        RECT r;
        GetClientRect(MainWindow, &r);
        return SIZE{r.right, r.bottom};
    }

    static void setClientWidth(int width) {
        RECT outer, client;
        GetWindowRect(MainWindow, &outer);
        GetClientRect(MainWindow, &client);
        SetWindowPos(MainWindow, nullptr, 0, 0, width + (outer.right - outer.left) - client.right, 500,
                     SWP_NOMOVE | SWP_NOZORDER);
        pumpPending();
    }
};

// Every level of the tree view is ordered largest first, as the model is.
void expectLargestFirst(DirNode* node) {
    auto items = childItems(DirTreeView, node->treeItem);
    ASSERT_EQ(items.size(), count(node->children)) << pathOf(node);
    for (size_t i = 0; i < items.size(); ++i) {
        DirNode* child = reinterpret_cast<DirNode*>(items[i].param);
        if (i > 0) {
            EXPECT_GE(reinterpret_cast<DirNode*>(items[i - 1].param)->totalClusters, child->totalClusters)
                << pathOf(child);
        }
        expectLargestFirst(child);
    }
}

} // namespace

TEST_F(MainWindowTest, CreationBuildsTheWindowsAndTheDriveList) {
    char text[64] = "";
    GetWindowTextA(DriveCombo, text, sizeof text);
    EXPECT_STREQ(text, "Select a drive");
    EXPECT_EQ(caption(), "Tarvale for Windows 95, 98 and NT");
    EXPECT_EQ(GetParent(DriveCombo), MainToolbar);
    EXPECT_EQ(SendMessageA(MainToolbar, TB_BUTTONCOUNT, 0, 0), 27);
    GetClassNameA(PieWindow, text, sizeof text);
    EXPECT_STREQ(text, "TarvaleClient");
    GetClassNameA(DirTreeView, text, sizeof text);
    EXPECT_STREQ(text, "SysTreeView32");
    EXPECT_EQ(childItems(DirTreeView, TVI_ROOT).size(), 0u);
    // Wine reports a folder-mapped drive as fixed, without a label, with NTFS.
    int u = comboItem('U');
    ASSERT_GE(u, 0);
    EXPECT_EQ(comboText(u), "U:\\ () (NTFS)");
    EXPECT_EQ(comboText(comboItem('C')).substr(0, 4), "C:\\ ");
    for (auto& slot : driveTable.slots)
        EXPECT_EQ(slot.load(), nullptr);
    // Nothing shown yet: a mouse move over the chart empties the first status part.
    SendMessageA(statusBar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>("old"));
    SendMessageA(PieWindow, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));
    EXPECT_EQ(statusText(0), "");

    // Tooltips are the strings of the buttons' commands.
    NMTTDISPINFOA info = {};
    info.hdr.hwndFrom = MainToolbar;
    info.hdr.idFrom = IDM_UPLEVEL;
    info.hdr.code = TTN_NEEDTEXTA;
    SendMessageA(MainWindow, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    ASSERT_NE(info.lpszText, nullptr);
    EXPECT_STREQ(info.lpszText, "One level up");
    info.hdr.idFrom = IDM_REFRESH;
    SendMessageA(MainWindow, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_STREQ(info.lpszText, "Re-read current drive");
}

TEST_F(MainWindowTest, PickingADriveScansItAndShowsItsRootLargestFirst) {
    pickDrive('U');
    EXPECT_EQ(driveTable.slots[driveU].load(), scanningMark);
    pickDrive('U'); // while it is scanned: nothing
    DriveSurvey* u = nullptr;
    ASSERT_TRUE(pumpUntil([&] { return (u = surveyInSlot(driveU)) && pieView.currentNode; }));
    EXPECT_EQ(childItems(DirTreeView, TVI_ROOT).size(), 1u);
    EXPECT_EQ(pieView.currentNode, u->root);
    EXPECT_EQ(pieView.currentDrive, driveU);
    EXPECT_EQ(caption(), "Tarvale for Windows 95, 98 and NT - U:\\");
    EXPECT_TRUE(expanded(u->root)) << "AutoExpand opens the selected item";
    expectLargestFirst(u->root);
    auto top = childItems(DirTreeView, u->root->treeItem);
    ASSERT_EQ(top.size(), 3u);
    EXPECT_EQ(top[0].text, "Large");
    EXPECT_EQ(top[1].text, "A");
    EXPECT_EQ(top[2].text, "Small");

    // The current drive picked again: the view stays where it is.
    DirNode* a = findByPath(u->root, "U:\\A\\");
    select(a);
    EXPECT_EQ(pieView.currentNode, a);
    pickDrive('U');
    pumpPending();
    EXPECT_EQ(pieView.currentNode, a);

    // A second drive shows its root; the first picked again shows its root, not A.
    DriveSurvey* v = scanDrive('V');
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(pieView.currentNode, v->root);
    pickDrive('U');
    pumpPending();
    EXPECT_EQ(pieView.currentNode, u->root);
    EXPECT_EQ(caption(), "Tarvale for Windows 95, 98 and NT - U:\\");
}

TEST_F(MainWindowTest, AutoCollapseClosesTheOldBranchUpToTheCommonAncestor) {
    DriveSurvey* v = scanDrive('V');
    DriveSurvey* u = scanDrive('U');
    ASSERT_TRUE(u && v);
    DirNode* a = findByPath(u->root, "U:\\A\\");
    DirNode* b = findByPath(u->root, "U:\\A\\B\\");
    DirNode* c = findByPath(u->root, "U:\\A\\B\\C\\");
    DirNode* x = findByPath(u->root, "U:\\A\\X\\");
    ASSERT_TRUE(a && b && c && x);
    select(a);
    select(b);
    select(c);
    EXPECT_TRUE(expanded(b));
    select(x);
    EXPECT_EQ(caption(), "Tarvale for Windows 95, 98 and NT - U:\\A\\X\\");
    EXPECT_FALSE(expanded(b));
    EXPECT_TRUE(expanded(a));
    EXPECT_TRUE(expanded(u->root));
    select(v->root);
    EXPECT_FALSE(expanded(a));
    EXPECT_FALSE(expanded(u->root)) << "moving to another drive closes the old one's root too";

    // With AutoCollapse off, branches once opened stay open.
    autoCollapse.value = 0;
    select(a);
    select(v->root);
    EXPECT_TRUE(expanded(a));
}

TEST_F(MainWindowTest, RefreshOneLevelUpAndTheAccelerator) {
    DriveSurvey* u = scanDrive('U');
    ASSERT_NE(u, nullptr);
    DirNode* b = findByPath(u->root, "U:\\A\\B\\");
    select(b);
    // F5 through the accelerator table, as the message loop translates it.
    HACCEL accelerators = LoadAcceleratorsA(appInstance, MAKEINTRESOURCEA(IDR_MAINMENU));
    MSG key = {DirTreeView, WM_KEYDOWN, VK_F5, 0, 0, {0, 0}};
    EXPECT_TRUE(TranslateAcceleratorA(MainWindow, accelerators, &key));
    ASSERT_TRUE(pumpUntil([&] { return surveyInSlot(driveU) && pieView.currentNode; }));
    DriveSurvey* again = surveyInSlot(driveU);
    EXPECT_EQ(pathOf(pieView.currentNode), "U:\\A\\B\\");
    EXPECT_EQ(pieView.currentNode->survey, again);
    EXPECT_EQ(childItems(DirTreeView, TVI_ROOT).size(), 1u);

    SendMessageA(MainWindow, WM_COMMAND, IDM_UPLEVEL, 0);
    EXPECT_EQ(pathOf(pieView.currentNode), "U:\\A\\");
    SendMessageA(MainWindow, WM_COMMAND, IDM_UPLEVEL, 0);
    EXPECT_EQ(pieView.currentNode, again->root);
    SendMessageA(MainWindow, WM_COMMAND, IDM_UPLEVEL, 0);
    EXPECT_EQ(pieView.currentNode, again->root) << "at the root nothing happens";
}

TEST_F(MainWindowTest, TheSizeButtonsToggleAndSaveShowBytes) {
    auto click = [](int command) {
        RECT r;
        SendMessageA(MainToolbar, TB_GETRECT, command, reinterpret_cast<LPARAM>(&r));
        LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        SendMessageA(MainToolbar, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageA(MainToolbar, WM_LBUTTONUP, 0, at);
        pumpPending();
    };
    auto checked = [](int command) { return SendMessageA(MainToolbar, TB_ISBUTTONCHECKED, command, 0) != 0; };
    click(IDM_RELATIVE);
    EXPECT_EQ(showBytes.value, 1);
    EXPECT_TRUE(checked(IDM_RELATIVE));
    click(IDM_RELATIVE);
    EXPECT_EQ(showBytes.value, 0);
    EXPECT_FALSE(checked(IDM_RELATIVE));
    EXPECT_FALSE(checked(IDM_ABSOLUTE));
    EXPECT_NE(settingsText().find("Show bytes=0"), std::string::npos);
    click(IDM_RELATIVE);
    click(IDM_ABSOLUTE);
    EXPECT_EQ(showBytes.value, 2);
    EXPECT_FALSE(checked(IDM_RELATIVE));
    EXPECT_TRUE(checked(IDM_ABSOLUTE));
    EXPECT_NE(settingsText().find("Show bytes=2"), std::string::npos);

    // The next window starts with the saved state shown.
    closeWindow();
    open();
    EXPECT_TRUE(checked(IDM_ABSOLUTE));
    EXPECT_FALSE(checked(IDM_RELATIVE));
}

TEST_F(MainWindowTest, PanesStatusPartsAndTheDivider) {
    setClientWidth(660);
    ASSERT_EQ(clientSize().cx, 660);
    int edges[3] = {};
    SendMessageA(statusBar, SB_GETPARTS, 3, reinterpret_cast<LPARAM>(edges));
    EXPECT_EQ(edges[0], 300);
    EXPECT_EQ(edges[1], 600);
    char text[32] = "x";
    SendMessageA(statusBar, SB_GETTEXTA, 2, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, "");
    enableDelete.value = 1;
    setClientWidth(700);
    SendMessageA(statusBar, SB_GETTEXTA, 2, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, "Delete");

    // The panes: the tree keeps its width, the chart takes the rest.
    SIZE client = clientSize();
    RECT tree, pie;
    GetWindowRect(DirTreeView, &tree);
    GetWindowRect(PieWindow, &pie);
    MapWindowPoints(nullptr, MainWindow, reinterpret_cast<POINT*>(&tree), 2);
    MapWindowPoints(nullptr, MainWindow, reinterpret_cast<POINT*>(&pie), 2);
    EXPECT_EQ(tree.right - tree.left, splitPos);
    EXPECT_EQ(pie.left, splitPos + 4);
    EXPECT_EQ(pie.right, client.cx);
    EXPECT_EQ(pie.top, 27);
    EXPECT_EQ(pie.bottom - pie.top, client.cy - 46);

    // Dragging clamps 50 pixels from either edge.
    SendMessageA(MainWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(splitPos + 2, 100));
    SendMessageA(MainWindow, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(5, 100));
    SendMessageA(MainWindow, WM_LBUTTONUP, 0, MAKELPARAM(static_cast<WORD>(-20), 100));
    EXPECT_EQ(splitPos, 49);
    GetWindowRect(DirTreeView, &tree);
    EXPECT_EQ(tree.right - tree.left, 49);
    SendMessageA(MainWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(60, 100));
    SendMessageA(MainWindow, WM_LBUTTONUP, 0, MAKELPARAM(client.cx + 30, 100));
    EXPECT_EQ(splitPos, client.cx - 51);
    SendMessageA(MainWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(60, 100));
    SendMessageA(MainWindow, WM_LBUTTONUP, 0, MAKELPARAM(302, 100));
    EXPECT_EQ(splitPos, 299);
    EXPECT_EQ(clampedDividerX(302, 700) - 1, 299);

    // The position is found again at the next start.
    closeWindow();
    splitPos = 0;
    open();
    EXPECT_EQ(splitPos, 299);
}

TEST_F(MainWindowTest, ExitSavesTheSettingsInOrderAndTheRestoredPlacement) {
    // A taskbar at the top: the work area starts 50 pixels below the screen's top, and the place
    // saved is still the screen's.
    RECT work;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    RECT moved = work;
    moved.top += 50;
    SystemParametersInfoA(SPI_SETWORKAREA, 0, &moved, 0);
    SetWindowPos(MainWindow, nullptr, 40, 30, 700, 500, SWP_NOZORDER);
    pumpPending();
    ShowWindow(MainWindow, SW_MAXIMIZE);
    pumpPending();
    SendMessageA(MainWindow, WM_COMMAND, IDM_EXIT, 0);
    SystemParametersInfoA(SPI_SETWORKAREA, 0, &work, 0);
    EXPECT_FALSE(IsWindow(MainWindow));
    std::string text = settingsText();
    size_t split = text.find("Split="), x = text.find("XOffset=40"), y = text.find("YOffset=30"),
           width = text.find("Width=700"), height = text.find("Height=500");
    ASSERT_NE(split, std::string::npos) << text;
    ASSERT_NE(x, std::string::npos) << text;
    ASSERT_NE(y, std::string::npos) << text;
    ASSERT_NE(width, std::string::npos) << text;
    ASSERT_NE(height, std::string::npos) << text;
    EXPECT_LT(split, x);
    EXPECT_LT(x, y);
    EXPECT_LT(y, width);
    EXPECT_LT(width, height);
    MSG msg;
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) << "the loop is told to end";
    MainWindow = nullptr;
}

TEST_F(MainWindowTest, ACommandLinePathIsScannedAndSelected) {
    closeWindow();
    commandPath = "u:\\a\\b";
    open();
    ASSERT_TRUE(pumpUntil([] { return pieView.currentNode && surveyInSlot(driveU); }));
    EXPECT_EQ(pathOf(pieView.currentNode), "U:\\A\\B\\");
    EXPECT_EQ(commandPath, "u:\\a\\b\\");
    closeWindow();
    commandPath = "\\\\server\\share";
    open();
    for (auto& slot : driveTable.slots)
        EXPECT_EQ(slot.load(), nullptr) << "no scan for a path without a drive letter";
}

TEST(Program, ABadArgumentIsRefusedWithAMessageAndExitCode0) {
    for (const char* argument : {"Q:\\does-not-exist", "\"C:\\\""}) {
        Program program(argument);
        ASSERT_TRUE(program.started) << argument;
        ASSERT_TRUE(program.waitForWindowOrBox()) << argument;
        EXPECT_EQ(program.window, nullptr) << "no window before the message";
        ASSERT_NE(program.box, nullptr) << argument;
        EXPECT_EQ(
            program.boxText(),
            "Sorry, cannot accept UNC drive specifications.\nPlease assign a logical drive-letter first.");
        EXPECT_EQ(program.close(), 0u) << argument;
    }
}

TEST_F(MainWindowTest, TheEndOfAScanShowsTheDriveEvenWhenItsRootIsSelectedAlready) {
    std::string v = freshDrive("V");
    for (int i = 0; i < 300; ++i)
        makeDir(v + "D" + std::to_string(i));
    pickDrive('V');
    // The user clicks the drive's item while its scan runs: the caption follows, the chart not yet.
    ASSERT_TRUE(pumpUntil([] { return !childItems(DirTreeView, TVI_ROOT).empty(); }));
    HTREEITEM root = childItems(DirTreeView, TVI_ROOT)[0].item;
    SendMessageA(DirTreeView, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(root));
    EXPECT_EQ(caption(), "Tarvale for Windows 95, 98 and NT - V:\\");
    ASSERT_EQ(driveTable.slots[driveV].load(), scanningMark) << "the scan ended too soon to test this";
    EXPECT_EQ(pieView.currentNode, nullptr);
    ASSERT_TRUE(pumpUntil([] { return surveyInSlot(driveV) && pieView.currentNode; }));
    EXPECT_EQ(pieView.currentNode, surveyInSlot(driveV)->root);
}

TEST(Program, ClosingWhileAScanRunsEndsTheProcessCleanly) {
    std::string v = freshDrive("V");
    for (int i = 0; i < 3000; ++i)
        makeDir(v + "D" + std::to_string(i));
    Program program("V:\\");
    ASSERT_TRUE(program.started);
    ASSERT_TRUE(program.waitForWindowOrBox());
    ASSERT_NE(program.window, nullptr) << program.boxText();
    // Items are arriving and the scan has not selected its drive yet: it is running.
    HWND tree = program.child("SysTreeView32");
    ASSERT_TRUE(waitFor([&] { return SendMessageA(tree, TVM_GETCOUNT, 0, 0) > 0; }));
    char title[256] = "";
    GetWindowTextA(program.window, title, sizeof title);
    ASSERT_EQ(std::string(title), "Tarvale for Windows 95, 98 and NT")
        << "the scan ended too soon to test this";
    EXPECT_EQ(program.close(), 0u);
    std::string settings;
    std::ifstream file(settingsFilePath());
    std::getline(file, settings, '\0');
    EXPECT_NE(settings.find("Split="), std::string::npos) << "the window was closed in order";
    DeleteFileA(settingsFilePath().c_str());
}

TEST_F(MainWindowTest, ClicksInTheChartDescendAndGoUpThroughTheTree) {
    enableDelete.value = 1;
    DriveSurvey* u = scanDrive('U');
    ASSERT_NE(u, nullptr);
    DirNode* a = findByPath(u->root, "U:\\A\\");
    select(a);
    UpdateWindow(PieWindow); // the paint remembers the radius the hit test uses
    RECT client;
    GetClientRect(PieWindow, &client);
    const int cx = client.right / 2, cy = client.bottom / 2;
    const int unit = std::min(client.right, client.bottom);
    // Straight up, halfway to the rim: A's largest child.
    const LPARAM top = MAKELPARAM(cx, cy - unit / 5);
    SendMessageA(PieWindow, WM_MOUSEMOVE, 0, top);
    EXPECT_EQ(statusText(0).substr(0, 11), "U:\\A\\B\\ (40");
    // A keyboard move in the tree changes the view under the mouse: nothing stays hot from before.
    select(u->root);
    EXPECT_EQ(pieView.hotItem.directory, nullptr);
    EXPECT_EQ(pieView.clickAction, noClick);
    select(a);
    UpdateWindow(PieWindow);

    SendMessageA(PieWindow, WM_LBUTTONDOWN, MK_LBUTTON, top);
    EXPECT_EQ(pathOf(pieView.currentNode), "U:\\A\\B\\");
    EXPECT_EQ(caption(), "Tarvale for Windows 95, 98 and NT - U:\\A\\B\\");
    EXPECT_EQ(reinterpret_cast<HTREEITEM>(SendMessageA(DirTreeView, TVM_GETNEXTITEM, TVGN_CARET, 0)),
              pieView.currentNode->treeItem);
    // A right click straight after, without a mouse move, acts on what is under it now: B's child.
    UpdateWindow(PieWindow);
    {
        BoxAnswerer no("Remove Directory?", IDNO);
        SendMessageA(PieWindow, WM_RBUTTONDOWN, MK_RBUTTON, top);
        ASSERT_TRUE(no.wait());
        EXPECT_EQ(no.text, "U:\\A\\B\\C\\ ?");
    }

    // Outside the pie: one level up at each click, also with no mouse move between the clicks.
    UpdateWindow(PieWindow);
    SendMessageA(PieWindow, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(statusText(0), "Zoom out");
    SendMessageA(PieWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    EXPECT_EQ(pieView.currentNode, a);
    SendMessageA(PieWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    EXPECT_EQ(pieView.currentNode, u->root);
    EXPECT_EQ(statusText(0), "");
    SendMessageA(PieWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    EXPECT_EQ(pieView.currentNode, u->root) << "at the root a click outside does nothing";
}

TEST_F(MainWindowTest, CopyPutsTheChartAndItsCaptionOnTheClipboard) {
    auto clipboardData = [](UINT format) {
        std::string bytes;
        if (OpenClipboard(MainWindow)) {
            if (HANDLE data = GetClipboardData(format)) {
                bytes.assign(static_cast<const char*>(GlobalLock(data)), GlobalSize(data));
                GlobalUnlock(data);
            }
            CloseClipboard();
        }
        return bytes;
    };
    auto clipboardText = [&] { return std::string(clipboardData(CF_TEXT).c_str()); };
    // Nothing shown yet: Copy leaves the clipboard alone.
    ASSERT_TRUE(OpenClipboard(MainWindow));
    EmptyClipboard();
    HGLOBAL sentinel = GlobalAlloc(GMEM_MOVEABLE, 4);
    lstrcpyA(static_cast<char*>(GlobalLock(sentinel)), "old");
    GlobalUnlock(sentinel);
    SetClipboardData(CF_TEXT, sentinel);
    CloseClipboard();
    SendMessageA(MainWindow, WM_COMMAND, IDM_COPY, 0);
    EXPECT_EQ(clipboardText(), "old");

    DriveSurvey* u = scanDrive('U');
    ASSERT_NE(u, nullptr);
    // A path far longer than 67 characters still arrives whole, in Unicode and, for programs that
    // read only CF_TEXT, in the system's ANSI code page (1252 here), not in the program's UTF-8.
    std::string deep = "U:\\A\\B\\C\\";
    char grusse[16] = ""; // in the program's code page
    WideCharToMultiByte(CP_ACP, 0, L"Gr\u00FC\u00DFe", -1, grusse, sizeof grusse, nullptr, nullptr);
    std::string name = std::string(60, 'n') + grusse;
    makeDir(deep + name);
    makeFile(deep + name + "\\f", 1);
    SendMessageA(MainWindow, WM_COMMAND, IDM_REFRESH, 0);
    ASSERT_TRUE(pumpUntil([] { return surveyInSlot(driveU) && pieView.currentNode; }));
    DirNode* longDir = findByPath(surveyInSlot(driveU)->root, deep + name + "\\");
    ASSERT_NE(longDir, nullptr);
    select(longDir);
    pumpPending();
    SendMessageA(statusBar, SB_SETTEXTA, 1, reinterpret_cast<LPARAM>("totals"));
    SendMessageA(MainWindow, WM_COMMAND, IDM_COPY, 0);
    EXPECT_EQ(clipboardText(), "Piechart of " + deep + std::string(60, 'n') +
                                   "Gr\xFC\xDF"
                                   "e\\");
    const std::string raw = clipboardData(CF_UNICODETEXT) + std::string(2, '\0');
    const std::wstring unicode = reinterpret_cast<const wchar_t*>(raw.data());
    EXPECT_TRUE(unicode == L"Piechart of U:\\A\\B\\C\\" + std::wstring(60, L'n') + L"Gr\u00FC\u00DFe\\");
    EXPECT_EQ(statusText(1), "totals") << "the copy does not touch the status bar";
    ASSERT_TRUE(OpenClipboard(MainWindow));
    HENHMETAFILE metafile = static_cast<HENHMETAFILE>(GetClipboardData(CF_ENHMETAFILE));
    ASSERT_NE(metafile, nullptr);
    ENHMETAHEADER header = {};
    GetEnhMetaFileHeader(metafile, sizeof header, &header);
    char description[64] = "";
    GetEnhMetaFileDescriptionA(metafile, sizeof description, description);
    CloseClipboard();
    EXPECT_GT(header.nRecords, 3u);
    EXPECT_STREQ(description, "Tarvale for Windows 95, 98 and NT");
    RECT client;
    GetClientRect(PieWindow, &client);
    EXPECT_GT(header.rclFrame.right, client.right) << "framed in hundredths of a millimetre";
}

namespace {

// Points the mouse at a pie angle (tenths of a degree counter-clockwise from twelve o'clock),
// halfway to the rim, and returns the point for a click there.
LPARAM hoverAt(int32_t angle) {
    UpdateWindow(PieWindow); // the paint lists the files and remembers the radius
    RECT client;
    GetClientRect(PieWindow, &client);
    const double half = std::min(client.right, client.bottom) / 4.0;
    const double radians = (angle + 900) * 6.283185307179586 / 3600;
    const LPARAM point = MAKELPARAM(client.right / 2 + static_cast<int>(half * std::cos(radians)),
                                    client.bottom / 2 - static_cast<int>(half * std::sin(radians)));
    SendMessageA(PieWindow, WM_MOUSEMOVE, 0, point);
    return point;
}

// The pie angle in the middle of the slice of the current chart named name.
int32_t middleOf(const std::string& name) {
    UpdateWindow(PieWindow);
    for (const Slice& slice : currentLayout(pieView, showFiles.value != 0).slices)
        if (sliceName(currentLayout(pieView, showFiles.value != 0), slice) == name)
            return slice.start + slice.sweep / 2;
    ADD_FAILURE() << "no slice " << name;
    return 0;
}

// A right click at the point, answered in the box of that caption; returns the box's text.
std::string rightClickAnswering(LPARAM point, const char* caption, int answer) {
    BoxAnswerer box(caption, answer);
    SendMessageA(PieWindow, WM_RBUTTONDOWN, MK_RBUTTON, point);
    return box.wait() ? box.text : "(no box)";
}

// A right click at the point, Yes to the question, and the error box that must follow: the texts
// of both.
std::pair<std::string, std::string> rightClickFailing(LPARAM point, const char* question) {
    BoxAnswerer yes(question, IDYES);
    BoxAnswerer error(ProductTitle, IDOK);
    SendMessageA(PieWindow, WM_RBUTTONDOWN, MK_RBUTTON, point);
    return {yes.wait() ? yes.text : "(no box)", error.wait() ? error.text : "(no error)"};
}

bool exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The system's description of an error code, as an error box quotes it.
std::string systemText(DWORD code) {
    char text[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                   sizeof text, nullptr);
    std::string reason = text;
    while (!reason.empty() && (reason.back() == '\r' || reason.back() == '\n' || reason.back() == ' '))
        reason.pop_back();
    return reason;
}

} // namespace

TEST_F(MainWindowTest, DeletingAFileAsksFirstAndKeepsTheTotalsRight) {
    enableDelete.value = 1;
    showFiles.value = 1;
    SetFileAttributesA("U:\\Large\\f", FILE_ATTRIBUTE_READONLY);
    DriveSurvey* u = scanDrive('U');
    ASSERT_NE(u, nullptr);
    // The file grows after the scan: listed at 220 clusters where the scan counted 22.
    SetFileAttributesA("U:\\Large\\f", FILE_ATTRIBUTE_NORMAL);
    makeFile("U:\\Large\\f", 900000);
    SetFileAttributesA("U:\\Large\\f", FILE_ATTRIBUTE_READONLY);
    DirNode* large = findByPath(u->root, "U:\\Large\\");
    select(large);
    const uint64_t freeBefore = u->freeClusters, rootBefore = u->root->totalClusters;
    EXPECT_EQ(rightClickAnswering(hoverAt(0), "Remove File?", IDNO), "U:\\Large\\F ?");
    EXPECT_TRUE(exists("U:\\Large\\f")) << "No deletes nothing";
    EXPECT_EQ(large->totalClusters, 22u);
    ASSERT_EQ(elementAt(*large->files, 0)->clusters, 220u);

    rightClickAnswering(hoverAt(0), "Remove File?", IDYES);
    EXPECT_FALSE(exists("U:\\Large\\f")) << "the read-only file is deleted";
    // Only what the scan counted leaves the totals: nothing wraps below zero.
    EXPECT_EQ(large->totalClusters, 0u);
    EXPECT_EQ(u->root->totalClusters, rootBefore - 22);
    EXPECT_EQ(u->freeClusters, freeBefore + 22);
    EXPECT_EQ(count(*large->files), 0u);
    EXPECT_EQ(pieView.hotItem.file, nullptr) << "nothing points at the deleted entry";
    hoverAt(0);
    EXPECT_EQ(pieView.hotItem.file, nullptr) << "the chart no longer offers the deleted file";
}

// Windows 95 and 98 list a long-named folder by its short name: what lies below it is deleted all
// the same, and nothing beside it.
TEST_F(MainWindowTest, DeletingBelowALongNamedFolder) {
    enableDelete.value = 1;
    makeDir("U:\\Long folder name");
    makeDir("U:\\Long folder name\\Inner folder");
    makeFile("U:\\Long folder name\\Inner folder\\x.bin", 50000);
    makeFile("U:\\Long folder name\\y.bin", 10);
    DriveSurvey* u = scanDrive('U');
    ASSERT_NE(u, nullptr);
    DirNode* folder = findByPath(u->root, "U:\\Long folder name\\");
    ASSERT_NE(folder, nullptr);
    select(folder);
    EXPECT_EQ(rightClickAnswering(hoverAt(0), "Remove Directory?", IDYES), "U:\\Long folder name\\Inner folder\\ ?");
    EXPECT_FALSE(exists("U:\\Long folder name\\Inner folder"));
    EXPECT_TRUE(exists("U:\\Long folder name\\y.bin"));
}

TEST_F(MainWindowTest, FailedDeletionsAreReported) {
    enableDelete.value = 1;
    // A dot-folder is a folder like any other: counted, and deleted with its parent.
    makeDir("U:\\Holder");
    makeDir("U:\\Holder\\Project");
    makeFile("U:\\Holder\\Project\\g", 5000);
    makeDir("U:\\Holder\\Project\\.git");
    makeFile("U:\\Holder\\Project\\.git\\x", 10);
    DriveSurvey* u = scanDrive('U');
    ASSERT_NE(u, nullptr);
    DirNode* holder = findByPath(u->root, "U:\\Holder\\");
    ASSERT_NE(findByPath(holder, "U:\\Holder\\Project\\.git\\"), nullptr);
    EXPECT_EQ(holder->totalClusters, 3u);
    select(holder);
    EXPECT_EQ(rightClickAnswering(hoverAt(0), "Remove Directory?", IDYES), "U:\\Holder\\Project\\ ?");
    EXPECT_FALSE(exists("U:\\Holder\\Project"));
    EXPECT_EQ(holder->totalClusters, 0u);

    // A file removed behind the program's back: the refresh offer, and OK scans again.
    showFiles.value = 1;
    DirNode* small = findByPath(u->root, "U:\\Small\\");
    select(small);
    UpdateWindow(PieWindow); // the paint reads the file list
    DeleteFileA("U:\\Small\\f");
    EXPECT_EQ(rightClickFailing(hoverAt(0), "Remove File?").second,
              "File not found!!\nRefresh?\n\nU:\\Small\\f\n" + systemText(ERROR_FILE_NOT_FOUND) +
                  "\nNothing was deleted.");
    EXPECT_TRUE(pumpUntil([] { return surveyInSlot(driveU) && pieView.currentNode; }));
    EXPECT_EQ(pathOf(pieView.currentNode), "U:\\Small\\");
    EXPECT_EQ(pieView.currentNode->totalClusters, 0u) << "the new scan no longer finds the file";
}

// A deletion that stops half-way names the entry and the cause, and the chart then shows exactly
// what is left on the disk. L:\\Cage\\Held\\Sub holds a link that leads nowhere, which Wine does not
// list: the check finds nothing to refuse, and Sub is found not empty only when it is removed.
TEST_F(MainWindowTest, DeletionStoppedHalfWayLeavesTheChartAsTheDiskIs) {
    enableDelete.value = 1;
    DriveSurvey* l = scanDrive('L');
    ASSERT_NE(l, nullptr);
    const uint64_t rootBefore = l->root->totalClusters, freeBefore = l->freeClusters;
    ASSERT_EQ(findByPath(l->root, "L:\\Cage\\Held\\")->totalClusters, 13u + 3 + 5 + 18);
    DirNode* cage = findByPath(l->root, "L:\\Cage\\");
    select(cage);
    auto boxes = rightClickFailing(hoverAt(0), "Remove Directory?");
    EXPECT_EQ(boxes.first, "L:\\Cage\\Held\\ ?");
    EXPECT_EQ(boxes.second, "LastError = 145\n\nL:\\Cage\\Held\\Sub\\\n" + systemText(ERROR_DIR_NOT_EMPTY) +
                                "\nWhat was deleted before this is gone; the rest is still there.");
    EXPECT_FALSE(exists("L:\\Cage\\Held\\Sub\\one.bin") || exists("L:\\Cage\\Held\\Sub\\Inner"))
        << "Sub is emptied before it is found not empty";

    // The model holds what the disk holds, level by level, and the tree view shows it.
    DirNode* heldNode = findByPath(l->root, "L:\\Cage\\Held\\");
    ASSERT_NE(heldNode, nullptr);
    DirNode* sub = findByPath(l->root, "L:\\Cage\\Held\\Sub\\");
    ASSERT_NE(sub, nullptr);
    const uint64_t left = exists("L:\\Cage\\Held\\h.bin") ? 18 : 0;
    EXPECT_EQ(heldNode->totalClusters, left);
    EXPECT_EQ(count(sub->children), 0u);
    EXPECT_EQ(l->root->totalClusters, rootBefore - (39 - left));
    EXPECT_EQ(l->freeClusters, freeBefore + (39 - left));
    EXPECT_EQ(childItems(DirTreeView, heldNode->treeItem).size(), 1u);
    EXPECT_TRUE(childItems(DirTreeView, sub->treeItem).empty());
    ASSERT_EQ(childItems(DirTreeView, cage->treeItem).size(), 1u);
    EXPECT_EQ(childItems(DirTreeView, cage->treeItem)[0].param, reinterpret_cast<LPARAM>(heldNode));
}

namespace {

// The sizes of the files a folder lists, smallest first.
std::vector<uint64_t> listedSizes(const std::wstring& folder) {
    std::vector<uint64_t> sizes;
    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileW((L"\\\\?\\" + folder + L"\\*").c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE)
        return sizes;
    do
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            sizes.push_back((static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow);
    while (FindNextFileW(listing, &entry));
    FindClose(listing);
    std::sort(sizes.begin(), sizes.end());
    return sizes;
}

// Whether the folder lists exactly this name: a lookup by name would find a twin in another case.
bool listsExactly(const std::wstring& folder, const std::wstring& name) {
    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileW((L"\\\\?\\" + folder + L"\\*").c_str(), &entry);
    bool found = false;
    if (listing == INVALID_HANDLE_VALUE)
        return false;
    do
        found = found || name == entry.cFileName;
    while (FindNextFileW(listing, &entry));
    FindClose(listing);
    return found;
}

// Answers the question of deleting the chain L:\\Deep\\D itself, so that it cannot miss a box that
// came and went, then makes the chart need a paint; the chart's window procedure notes, as it
// paints, whether the chain is still there.
DWORD WINAPI answerAndInvalidate(void*) {
    HWND box = nullptr;
    for (int waited = 0; waited < 1000 && !(box = FindWindowA("#32770", "Remove Directory?")); ++waited)
        Sleep(10);
    if (!box)
        return 0;
    PostMessageA(box, WM_COMMAND, IDYES, 0);
    while (IsWindow(box))
        Sleep(10);
    InvalidateRect(PieWindow, nullptr, TRUE);
    return 0;
}

WNDPROC piePaint;
bool paintedWhileDeleting = false;

LRESULT CALLBACK notePaint(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT && GetFileAttributesA("L:\\Deep\\D") != INVALID_FILE_ATTRIBUTES)
        paintedWhileDeleting = true;
    return CallWindowProcA(piePaint, window, message, wParam, lParam);
}

} // namespace

// Drive L: is laid out on the Linux side (tests/fixtures/make-drive.sh), with what Win32 cannot
// make: names that differ only in case, a name ending in a dot beside the same name without it, a
// name longer than MAX_PATH in UTF-8, links.
TEST_F(MainWindowTest, DeletingReachesExactlyTheItemTheChartShows) {
    if (legacyRoute())
        GTEST_SKIP() << "FAT of Windows 95 and 98 holds no names that differ only in case or end in a dot";
    enableDelete.value = 1;
    showFiles.value = 1;
    DriveSurvey* l = scanDrive('L');
    ASSERT_NE(l, nullptr);

    // Both twins are shown as Keep.txt; the small slice (10 of 84 clusters, from 3171 on) is the
    // one deleted, whether it lists first or second.
    for (const char* folder : {"One", "Two"}) {
        DirNode* twins = findByPath(l->root, std::string("L:\\Twins\\") + folder + "\\");
        ASSERT_NE(twins, nullptr) << folder;
        EXPECT_EQ(twins->ownClusters, 84u) << folder;
        select(twins);
        EXPECT_EQ(rightClickAnswering(hoverAt(3400), "Remove File?", IDYES),
                  std::string("L:\\Twins\\") + folder + "\\Keep.txt ?");
        const bool one = folder[0] == 'O';
        const std::wstring dir = one ? L"L:\\Twins\\One" : L"L:\\Twins\\Two";
        EXPECT_FALSE(listsExactly(dir, one ? L"keep.txt" : L"KEEP.TXT")) << folder;
        EXPECT_TRUE(listsExactly(dir, one ? L"KEEP.TXT" : L"keep.txt")) << folder << ": the other twin stays";
        EXPECT_EQ(twins->ownClusters, 74u) << folder;
    }

    // keep. is a folder of its own: counted apart from keep, and deleted alone.
    DirNode* tail = findByPath(l->root, "L:\\Tail\\");
    DirNode* dotted = findByPath(tail, "L:\\Tail\\keep.\\");
    ASSERT_NE(dotted, nullptr);
    EXPECT_EQ(dotted->totalClusters + count(dotted->children), 1u) << "one cluster and no subfolders";
    select(tail);
    EXPECT_EQ(rightClickAnswering(hoverAt(3580), "Remove Directory?", IDYES), "L:\\Tail\\keep.\\ ?");
    EXPECT_FALSE(listsExactly(L"L:\\Tail", L"keep."));
    EXPECT_TRUE(listsExactly(L"L:\\Tail\\keep", L"k") && listsExactly(L"L:\\Tail\\keep\\sub", L"s"));
    EXPECT_EQ(count(tail->children), 1u);

    // A name of 200 UTF-16 units, 600 bytes in UTF-8, and the file listed after it.
    DirNode* inner = findByPath(l->root, "L:\\Long\\Inner\\");
    EXPECT_EQ(inner->ownClusters, 3u);
    select(inner);
    UpdateWindow(PieWindow);
    ASSERT_EQ(count(*inner->files), 2u);
    EXPECT_EQ(listedNameOf(inner, elementAt(*inner->files, 0)).size(), 600u);
    EXPECT_EQ(elementAt(*inner->files, 1)->name, "Zz-after");
    select(inner->parent);
    rightClickAnswering(hoverAt(0), "Remove Directory?", IDYES);
    EXPECT_FALSE(listsExactly(L"L:\\Long", L"Inner"));
}

// L:\\Odd holds p\\q and x\\y, names no Windows folder holds and Wine lists as they are, and a real
// p\\q, which a path through the first reaches: the scan counts what it lists, never through such a
// name, and no route of the deletion goes near either.
TEST_F(MainWindowTest, NamesNoFolderCanHoldAreNeitherWalkedNorDeleted) {
    enableDelete.value = 1;
    DriveSurvey* l = scanDrive('L');
    ASSERT_NE(l, nullptr);
    DirNode* odd = findByPath(l->root, "L:\\Odd\\");
    ASSERT_NE(odd, nullptr);
    ASSERT_EQ(count(odd->children), 1u);
    EXPECT_EQ(elementAt(odd->children, 0)->name, "P");
    EXPECT_EQ(odd->ownClusters, 3u);   // x\\y's 9,000 bytes
    EXPECT_EQ(odd->totalClusters, 5u); // and p\\q\\real.bin's 5,000, once
    listFiles(odd);
    EXPECT_EQ(count(*odd->files), 0u);
    for (const RemovalRoute* route : {&ntRoute, &wineRoute}) {
        RemovalFault fault;
        EXPECT_EQ(removeEntryBy(*route, "L:\\", "Odd", true, fault, nullptr, nullptr), RemovalOutcome::Untouched);
        EXPECT_TRUE(fault.path == "L:\\Odd\\p\\q" || fault.path == "L:\\Odd\\x\\y") << fault.path;
        EXPECT_EQ(fault.reason.substr(0, 38), "No folder can hold an entry of this na");
        EXPECT_TRUE(exists("L:\\Odd\\p\\q\\real.bin"));
        EXPECT_TRUE(listsExactly(L"L:\\Odd", L"x\\y") && listsExactly(L"L:\\Odd", L"p\\q"));
    }
}

// In a legacy code page (1252 here) the small s\u0142owa.txt is shown as its big sibling
// slowa.txt, and the folders \u65e5\u672c and \u4e2d\u56fd both as "??"; Windows 95 and 98 list such
// names with '?' (Wine with the nearest character). Each is still an item of its own, and deleting
// it deletes it alone.
TEST_F(MainWindowTest, NamesTheCodePageCannotHoldStillReachTheirOwnEntries) {
    enableDelete.value = 1;
    showFiles.value = 1;
    DriveSurvey* l = scanDrive('L');
    ASSERT_NE(l, nullptr);
    DirNode* fit = findByPath(l->root, "L:\\Fit\\");
    ASSERT_NE(fit, nullptr);
    EXPECT_EQ(fit->ownClusters, 84u);
    select(fit);
    rightClickAnswering(hoverAt(3400), "Remove File?", IDYES);
    EXPECT_FALSE(listsExactly(L"L:\\Fit", L"s\u0142owa.txt"));
    EXPECT_TRUE(listsExactly(L"L:\\Fit", L"slowa.txt"));
    EXPECT_EQ(fit->ownClusters, 74u);

    // Names that are not UTF-8 list alike under Wine, "a" and U+FFFD: both are counted, and the
    // name reaches either, so neither is deleted.
    DirNode* bad = findByPath(l->root, "L:\\Bad\\");
    ASSERT_NE(bad, nullptr);
    EXPECT_EQ(bad->ownClusters, 84u);
    select(bad);
    const std::string refused = rightClickFailing(hoverAt(3400), "Remove File?").second;
    EXPECT_EQ(refused.substr(0, 16), "LastError = 52\n\n");
    EXPECT_NE(refused.find("\nTwo entries in this folder are listed under this name."), std::string::npos);
    EXPECT_EQ(listedSizes(L"L:\\Bad"), (std::vector<uint64_t>{40000, 300000}));

    DirNode* cjk = findByPath(l->root, "L:\\Far\\");
    ASSERT_NE(cjk, nullptr);
    ASSERT_EQ(count(cjk->children), 2u);
    EXPECT_EQ(elementAt(cjk->children, 1)->totalClusters, 10u);
    select(cjk);
    rightClickAnswering(hoverAt(3400), "Remove Directory?", IDYES);
    EXPECT_FALSE(listsExactly(L"L:\\Far", L"\u65e5\u672c"));
    EXPECT_TRUE(listsExactly(L"L:\\Far\\\u4e2d\u56fd", L"b"));
    EXPECT_EQ(count(cjk->children), 1u);
}

TEST_F(MainWindowTest, DeletingLooksAgainAtWhatIsOnTheDisk) {
    // L:\\Links\\Victim holds a link to the folder L:\\Links\\Outside, which Wine can remove only
    // together with its target: the whole folder is checked first, and nothing is deleted.
    enableDelete.value = 1;
    DriveSurvey* l = scanDrive('L');
    ASSERT_NE(l, nullptr);
    DirNode* links = findByPath(l->root, "L:\\Links\\");
    select(links);
    auto boxes = rightClickFailing(hoverAt(0), "Remove Directory?");
    EXPECT_EQ(boxes.first, "L:\\Links\\Victim\\ ?");
    EXPECT_EQ(boxes.second.substr(0, boxes.second.find('\n', 17)),
              "LastError = 50\n\nL:\\Links\\Victim\\Shortcut");
    EXPECT_EQ(boxes.second.substr(boxes.second.rfind('\n')), "\nNothing was deleted.");
    EXPECT_TRUE(exists("L:\\Links\\Victim\\mine.txt")) << "nothing of the folder is deleted";
    EXPECT_TRUE(exists("L:\\Links\\Outside\\precious.txt")) << "the link's target is untouched";

    // L:\\Links\\Holder holds a file and a link to a file outside it: the folder goes whole, the
    // outside file stays. (Wine lists a link to a file with its target's number: the two count
    // once, in L:\\Links.)
    EXPECT_EQ(rightClickAnswering(hoverAt(middleOf("Holder")), "Remove Directory?", IDYES), "L:\\Links\\Holder\\ ?");
    EXPECT_FALSE(exists("L:\\Links\\Holder"));
    EXPECT_TRUE(exists("L:\\Links\\Outside\\precious.txt"));
    // A link to a read-only file is removed as itself: the target keeps its data and its attribute.
    showFiles.value = 1;
    select(findByPath(l->root, "L:\\Links\\Key\\"));
    // Under Wine the link and its target are one file of two names: deleting the link frees nothing.
    const std::string asked = rightClickAnswering(hoverAt(middleOf("Key.lnk")), "Remove File?", IDYES);
    EXPECT_EQ(asked.substr(0, 22), "L:\\Links\\Key\\Key.lnk ?");
    EXPECT_EQ(asked.substr(22), legacyRoute() ? ""
                                               : "\n\nThis file has other names (hard links): deleting this "
                                                 "one frees no space.");
    EXPECT_FALSE(listsExactly(L"L:\\Links\\Key", L"key.lnk"));
    WIN32_FILE_ATTRIBUTE_DATA target = {};
    ASSERT_TRUE(GetFileAttributesExA("L:\\Links\\Key\\Vault\\secret.key", GetFileExInfoStandard, &target));
    EXPECT_EQ(target.nFileSizeLow, 5000u);
    EXPECT_TRUE(target.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
    showFiles.value = 0;

    // After the scan, L:\\Swap\\Box\\Swap is replaced by a link to its sibling Victim.
    DirNode* box = findByPath(l->root, "L:\\Swap\\Box\\");
    select(box);
    ASSERT_TRUE(MoveFileA("L:\\Swap\\Box", "L:\\Swap\\Old"));
    ASSERT_TRUE(MoveFileA("L:\\Swap\\Spare", "L:\\Swap\\Box"));
    boxes = rightClickFailing(hoverAt(0), "Remove Directory?");
    EXPECT_EQ(boxes.first, "L:\\Swap\\Box\\Swap\\ ?");
    EXPECT_EQ(boxes.second.substr(0, boxes.second.find('\n', 17)), "LastError = 50\n\nL:\\Swap\\Box\\Swap");
    EXPECT_TRUE(exists("L:\\Swap\\Box\\Victim\\v1.txt") && exists("L:\\Swap\\Box\\Victim\\v2.txt"));
    EXPECT_EQ(count(box->children), 2u) << "a failure that deleted nothing changes nothing";

    // A chain deeper than MAX_PATH characters is deleted to its end, and the window repaints
    // meanwhile.
    if (legacyRoute())
        GTEST_SKIP() << "Windows 95 and 98 reach no path longer than MAX_PATH";
    DirNode* deep = findByPath(l->root, "L:\\Deep\\");
    select(deep);
    const LPARAM top = hoverAt(0);
    UpdateWindow(PieWindow);
    paintedWhileDeleting = false;
    piePaint = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(PieWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(notePaint)));
    HANDLE watcher = CreateThread(nullptr, 0, answerAndInvalidate, nullptr, 0, nullptr);
    SendMessageA(PieWindow, WM_RBUTTONDOWN, MK_RBUTTON, top);
    WaitForSingleObject(watcher, 20000);
    CloseHandle(watcher);
    SetWindowLongPtrA(PieWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(piePaint));
    EXPECT_FALSE(exists("L:\\Deep\\D"));
    EXPECT_TRUE(childItems(DirTreeView, deep->treeItem).empty());
    EXPECT_TRUE(paintedWhileDeleting);
}

namespace {

// L:\\Race\\Box\\Top is being deleted; at the idle call numbered swapAt, Box gives way to Spare,
// whose Top holds a real Sub of the same name, a file, and a link named Link to Spare's Victim.
struct RaceState {
    int calls = 0;
    int swapAt = 0;
    bool swapped = false;
};

void swapDuringRemoval(void* context) {
    RaceState& state = *static_cast<RaceState*>(context);
    if (++state.calls != state.swapAt)
        return;
    state.swapped =
        MoveFileA("L:\\Race\\Box", "L:\\Race\\Old") && MoveFileA("L:\\Race\\Spare", "L:\\Race\\Box");
}

} // namespace

// A folder replaced by another, real or a link, at any moment of its deletion is never entered:
// whatever stands there when the swap happens keeps all it holds, and what was chosen is gone only
// when the removal says so.
TEST_F(MainWindowTest, AFolderSwappedDuringItsDeletionIsNeverEntered) {
    for (int swapAt = 1;; ++swapAt) {
        // What the last round left stays; the rest is laid out again.
        CreateDirectoryA("L:\\Race\\Box\\Top", nullptr);
        CreateDirectoryA("L:\\Race\\Box\\Top\\Sub", nullptr);
        makeFile("L:\\Race\\Box\\Top\\Sub\\s1", 10);
        makeFile("L:\\Race\\Box\\Top\\Sub\\s2", 10);
        makeFile("L:\\Race\\Box\\Top\\t", 10);
        RaceState state;
        state.swapAt = swapAt;
        RemovalFault fault;
        const RemovalOutcome outcome =
            removeEntry("L:\\Race\\Box\\", "Top", true, fault, swapDuringRemoval, &state);
        const std::string spare = state.swapped ? "L:\\Race\\Box\\" : "L:\\Race\\Spare\\";
        for (const char* kept : {"Victim\\v1", "Victim\\v2", "Top\\Sub\\s1", "Top\\t"})
            EXPECT_TRUE(exists(spare + kept)) << kept << ", swap at call " << swapAt;
        EXPECT_TRUE(listsExactly(state.swapped ? L"L:\\Race\\Box\\Top" : L"L:\\Race\\Spare\\Top", L"Link"))
            << "the link itself stays, swap at call " << swapAt;
        const std::string chosen = state.swapped ? "L:\\Race\\Old\\Top" : "L:\\Race\\Box\\Top";
        EXPECT_EQ(outcome == RemovalOutcome::Removed, !exists(chosen)) << "swap at call " << swapAt;
        if (!state.swapped)
            break;
        ASSERT_TRUE(MoveFileA("L:\\Race\\Box", "L:\\Race\\Spare") &&
                    MoveFileA("L:\\Race\\Old", "L:\\Race\\Box"));
        ASSERT_LT(swapAt, 100);
    }
}

namespace {

// A backup tool between the two passes of a removal: Latest goes, and a new Latest of the same
// names comes in, at the idle call numbered swapAt.
struct Rotation {
    std::string drive;
    int calls = 0;
    int swapAt = 0;
    bool swapped = false;
};

void rotateBackups(void* context) {
    Rotation& rotation = *static_cast<Rotation*>(context);
    if (++rotation.calls == rotation.swapAt)
        rotation.swapped = MoveFileA((rotation.drive + "Top\\Latest").c_str(), (rotation.drive + "Old").c_str()) &&
                           MoveFileA((rotation.drive + "Next").c_str(), (rotation.drive + "Top\\Latest").c_str());
}

} // namespace

// What was checked is what is deleted: a folder that another one replaced at any moment, the
// chosen entry's or one below it, is not entered, whichever handle route runs.
TEST(BetweenPasses, AFolderReplacedAfterItsCheckKeepsWhatItHolds) {
    const RemovalRoute* routes[] = {&ntRoute, &wineRoute};
    for (const RemovalRoute* route : routes) {
        Rotation rotation;
        rotation.drive = freshDrive("K");
        for (int swapAt = 1;; ++swapAt) {
            for (const char* folder : {"Top", "Old", "Next"})
                wipeTree(rotation.drive + folder);
            makeDir(rotation.drive + "Top");
            for (const std::string folder : {"Top\\Latest\\", "Next\\"}) {
                makeDir(rotation.drive + folder);
                makeDir(rotation.drive + folder + "Sub");
                makeFile(rotation.drive + folder + "a", 10);
                makeFile(rotation.drive + folder + "Sub\\b", 10);
            }
            rotation.calls = 0;
            rotation.swapAt = swapAt;
            rotation.swapped = false;
            RemovalFault fault;
            const RemovalOutcome outcome =
                removeEntryBy(*route, rotation.drive, "Top", true, fault, rotateBackups, &rotation);
            if (!rotation.swapped)
                break;
            // From the third call on, the check has looked at the old Latest: the new one keeps
            // all it holds. Before, the new one may be what is checked, and go.
            const char* routeName = route == &ntRoute ? "NT" : "Wine";
            const std::string fresh = rotation.drive + "Top\\Latest\\";
            EXPECT_EQ(outcome == RemovalOutcome::Removed, !exists(rotation.drive + "Top"));
            if (swapAt > 2) {
                EXPECT_TRUE(exists(fresh + "a") && exists(fresh + "Sub\\b"))
                    << routeName << " route, swap at call " << swapAt;
                EXPECT_NE(outcome, RemovalOutcome::Removed) << routeName << " route, swap at call " << swapAt;
            }
            ASSERT_LT(swapAt, 100);
        }
    }
}

// Another file system mounted in a folder is counted as a link to a folder is, never walked, and
// the folder that holds it is not deleted: Windows has volumes mounted in folders, and Wine lists
// a Linux mount as one.
TEST_F(MainWindowTest, AnotherFileSystemMountedInAFolderIsLeftAlone) {
    if (exists("L:\\Mounts\\no-mount"))
        GTEST_SKIP() << "this machine did not let the fixture mount a file system";
    DriveSurvey* l = scanDrive('L');
    ASSERT_NE(l, nullptr);
    DirNode* disk = findByPath(l->root, "L:\\Mounts\\disk\\");
    ASSERT_NE(disk, nullptr);
    EXPECT_TRUE(disk->isLink);
    EXPECT_EQ(disk->totalClusters, 0u);
    RemovalFault fault;
    EXPECT_EQ(removeEntry("L:\\", "Mounts", true, fault, nullptr, nullptr), RemovalOutcome::Untouched);
    EXPECT_EQ(fault.path, "L:\\Mounts\\disk");
    EXPECT_EQ(fault.reason, "This is a link to a folder, or a disk mounted in one. It cannot be removed here "
                            "without deleting what it holds.");
    EXPECT_TRUE(exists("L:\\Mounts\\own.txt") && exists("L:\\Mounts\\disk\\inside.bin"));
}

// A folder of the same file system bound into another lists as a plain folder under Wine; the
// mount table tells it, and it is counted and refused as the mount above is, in a scan and in a
// rescan of one folder alike.
TEST_F(MainWindowTest, AFolderBoundIntoAnotherIsLeftAlone) {
    if (exists("L:\\Binds\\no-mount"))
        GTEST_SKIP() << "this machine did not let the fixture bind a folder";
    DriveSurvey* l = scanDrive('L');
    ASSERT_NE(l, nullptr);
    const uint64_t kept = clustersFor(l, 40000), own = clustersFor(l, 3000);
    EXPECT_EQ(findByPath(l->root, "L:\\Binds\\")->totalClusters, kept + own);
    EXPECT_EQ(findByPath(l->root, "L:\\Binds\\Keep\\")->totalClusters, kept);
    auto boundIsLink = [own](DirNode* top) {
        const DirNode* mirror = findByPath(top, "L:\\Binds\\Top\\Dir\\mirror\\");
        return mirror && mirror->isLink && mirror->totalClusters == 0 && top->totalClusters == own;
    };
    DirNode* top = findByPath(l->root, "L:\\Binds\\Top\\");
    EXPECT_TRUE(boundIsLink(top)) << "the drive's scan";
    EXPECT_TRUE(boundIsLink(rereadDirectory(top, screenSink()))) << "a rescan of Top";
    RemovalFault fault;
    EXPECT_EQ(removeEntry("L:\\Binds\\", "Top", true, fault, nullptr, nullptr), RemovalOutcome::Untouched);
    EXPECT_EQ(fault.path, "L:\\Binds\\Top\\Dir\\mirror");
    EXPECT_STREQ(fault.reason.c_str(), folderLinkReason);
    EXPECT_TRUE(exists("L:\\Binds\\Keep\\kept.bin") && exists("L:\\Binds\\Top\\Dir\\own.bin"));
}

// Wine names a handle after the deepest drive that holds it: a folder of drive Z: that is also
// drive U:'s root is named after U:, and what lies in it is still deleted through Z:.
TEST(WineRoute, AFolderThatIsAlsoADriveIsReachedThroughEither) {
    char folder[1024]; // where the runner maps the drives, as Linux names it
    const DWORD length = GetEnvironmentVariableA("TARVALE_DRIVES_FOLDER", folder, sizeof folder);
    if (length == 0 || length >= sizeof folder)
        GTEST_SKIP() << "the runner names no drives' folder";
    const std::string u = freshDrive("U");
    makeDir(u + "Box");
    makeDir(u + "Box\\Inner");
    makeFile(u + "Box\\Inner\\f", 100);
    makeFile(u + "Box\\g", 100);
    std::string z = std::string("Z:") + folder + "/u/";
    std::replace(z.begin(), z.end(), '/', '\\');
    RemovalFault fault;
    EXPECT_EQ(removeEntry(z + "Box\\Inner\\", "f", false, fault, nullptr, nullptr), RemovalOutcome::Removed)
        << fault.path << " " << fault.error;
    EXPECT_FALSE(exists(u + "Box\\Inner\\f"));
    EXPECT_EQ(removeEntry(z, "Box", true, fault, nullptr, nullptr), RemovalOutcome::Removed)
        << fault.path << " " << fault.error;
    EXPECT_FALSE(exists(u + "Box"));
}

// The route of Windows NT and later, run under Wine on trees without links.
TEST(NtRoute, RemovesWhatItMayAndPutsBackWhatItChanged) {
    const std::string k = freshDrive("K");
    makeDir(k + "Tree");
    makeDir(k + "Tree\\Sub");
    makeFile(k + "Tree\\Sub\\held.bin", 5000);
    makeFile(k + "Tree\\kept.txt", 10);
    ASSERT_TRUE(SetFileAttributesA((k + "Tree\\kept.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    // Held open without delete sharing: the check refuses the tree before anything goes.
    HANDLE held = CreateFileA((k + "Tree\\Sub\\held.bin").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    RemovalFault fault;
    EXPECT_EQ(removeEntryBy(ntRoute, k, "Tree", true, fault, nullptr, nullptr), RemovalOutcome::Untouched);
    CloseHandle(held);
    EXPECT_EQ(fault.path, "K:\\Tree\\Sub\\held.bin");
    EXPECT_EQ(fault.error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(exists(k + "Tree\\kept.txt"));
    // The read-only, hidden file goes with the rest.
    EXPECT_EQ(removeEntryBy(ntRoute, k, "Tree", true, fault, nullptr, nullptr), RemovalOutcome::Removed);
    EXPECT_FALSE(exists(k + "Tree"));

    // A read-only file is made writable to be removed, and read-only again when it still cannot go:
    // here a program mapped in memory.
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    ASSERT_TRUE(CopyFileA(self, (k + "image.exe").c_str(), FALSE));
    const DWORD kept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
    ASSERT_TRUE(SetFileAttributesA((k + "image.exe").c_str(), kept));
    HMODULE image = LoadLibraryExA((k + "image.exe").c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(image, nullptr);
    fault = RemovalFault();
    EXPECT_EQ(removeEntryBy(ntRoute, k, "image.exe", false, fault, nullptr, nullptr), RemovalOutcome::Untouched);
    EXPECT_EQ(GetFileAttributesA((k + "image.exe").c_str()), kept);
    FreeLibrary(image);

    // A folder that is not empty keeps its attribute: here a link that leads nowhere, which Wine
    // does not list.
    fault = RemovalFault();
    EXPECT_EQ(removeEntryBy(ntRoute, "L:\\Stuck\\", "Inner", true, fault, nullptr, nullptr),
              RemovalOutcome::Partial);
    EXPECT_EQ(fault.path, "L:\\Stuck\\Inner\\");
    EXPECT_EQ(fault.error, static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    EXPECT_FALSE(exists("L:\\Stuck\\Inner\\file.txt"));
    EXPECT_EQ(GetFileAttributesA("L:\\Stuck\\Inner"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
}

// As an unprivileged user (tests/fixtures/run-unprivileged.sh) Linux refuses what Wine grants
// and then fails without a word: a removal is refused where that can be told beforehand, and is
// never reported done where it was not.
TEST(Unprivileged, WhatLinuxRefusesIsNeverReportedDeleted) {
    if (!GetEnvironmentVariableA("TARVALE_UNPRIVILEGED", nullptr, 0))
        GTEST_SKIP() << "runs as an unprivileged user only";
    RemovalFault fault;
    EXPECT_EQ(removeEntry("L:\\", "Open", true, fault, nullptr, nullptr), RemovalOutcome::Untouched);
    EXPECT_EQ(fault.path, "L:\\Open\\Locked");
    EXPECT_EQ(fault.error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(exists("L:\\Open\\first.txt")) << "refused before anything is deleted";

    fault = RemovalFault();
    EXPECT_EQ(removeEntry("L:\\Open\\Held\\", "rooted.txt", false, fault, nullptr, nullptr),
              RemovalOutcome::Untouched);
    EXPECT_EQ(fault.path, "L:\\Open\\Held\\rooted.txt");
    EXPECT_EQ(fault.error, static_cast<DWORD>(ERROR_ACCESS_DENIED));

    fault = RemovalFault();
    EXPECT_EQ(removeEntry("L:\\Open\\", "Held", true, fault, nullptr, nullptr), RemovalOutcome::Partial);
    EXPECT_EQ(fault.error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(fault.path == "L:\\Open\\Held\\rooted.txt" || fault.path == "L:\\Open\\Held\\Mine") << fault.path;
    EXPECT_TRUE(exists("L:\\Open\\Held\\rooted.txt"));
    EXPECT_FALSE(exists("L:\\Open\\Held\\Mine\\m.txt"));
}

namespace {

struct DialogWork {
    std::function<void(HWND)> work;
    bool seen = false;
};

DWORD WINAPI driveDialog(void* param) {
    DialogWork* job = static_cast<DialogWork*>(param);
    for (int waited = 0; waited < 1000; ++waited, Sleep(10)) {
        HWND dialog = FindWindowA("#32770", "Preferences");
        if (!dialog || !IsWindowVisible(dialog))
            continue;
        job->seen = true;
        job->work(dialog);
        return 0;
    }
    return 0;
}

// Opens the Preferences dialog with command 102 while a second thread works it like a user.
bool withPreferences(const std::function<void(HWND)>& work) {
    DialogWork job{work};
    HANDLE thread = CreateThread(nullptr, 0, driveDialog, &job, 0, nullptr);
    SendMessageA(MainWindow, WM_COMMAND, IDM_PREFERENCES, 0);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    return job.seen;
}

std::string itemText(HWND dialog, int id) {
    char text[64] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

void click(HWND dialog, int id) {
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

} // namespace

TEST_F(MainWindowTest, PreferencesShowTheDriveAndSaveOnlyWhatChanged) {
    // No drive shown: drive C: and its measured cluster size; Cancel writes nothing.
    const std::string measured = std::to_string(reportedClusterSize()), before = settingsText();
    std::string label, field;
    ASSERT_TRUE(withPreferences([&](HWND dialog) {
        label = itemText(dialog, IDC_DRIVELABEL);
        field = itemText(dialog, IDC_CLUSTERSIZE);
        click(dialog, IDC_SHOWFILES);
        click(dialog, IDCANCEL);
    }));
    EXPECT_EQ(label, "Drive: C:\\");
    EXPECT_EQ(field, measured);
    EXPECT_EQ(settingsText(), before);
    EXPECT_EQ(showFiles.value, 0);

    // A drive with an override of 1024: Advise proposes the measured size; OK erases the key and
    // scans the drive again.
    WritePrivateProfileStringA("Blocksizes", "U:\\", "1024", IniFileName.c_str());
    DriveSurvey* u = scanDrive('U');
    ASSERT_NE(u, nullptr);
    ASSERT_EQ(u->clusterSize, 1024u);
    ASSERT_TRUE(withPreferences([&](HWND dialog) {
        label = itemText(dialog, IDC_DRIVELABEL);
        field = itemText(dialog, IDC_CLUSTERSIZE);
        click(dialog, IDC_ADVISE);
        click(dialog, IDOK);
    }));
    EXPECT_EQ(label, "Drive: U:\\");
    EXPECT_EQ(field, "1024");
    EXPECT_EQ(settingsText().find("U:\\"), std::string::npos) << "the override is erased";
    EXPECT_EQ(driveTable.slots[driveU].load(), scanningMark) << "result 2 scans the drive again";
    ASSERT_TRUE(pumpUntil([] { return surveyInSlot(driveU) && pieView.currentNode; }));
    EXPECT_EQ(surveyInSlot(driveU)->clusterSize, reportedClusterSize());

    // The opening value written differently, and 0, write nothing and return 1; a changed check
    // box alone is saved, and the status bar follows "Enable delete".
    for (const std::string& typed : {"0" + measured, std::string("0")}) {
        ASSERT_TRUE(withPreferences([&](HWND dialog) {
            SetDlgItemTextA(dialog, IDC_CLUSTERSIZE, typed.c_str());
            click(dialog, IDOK);
        }));
        EXPECT_EQ(settingsText().find("U:\\"), std::string::npos) << typed;
        EXPECT_NE(surveyInSlot(driveU), nullptr) << typed << ": no new scan";
    }
    ASSERT_TRUE(withPreferences([&](HWND dialog) {
        click(dialog, IDC_ENABLEDELETE);
        click(dialog, IDOK);
    }));
    std::string text = settingsText();
    EXPECT_NE(text.find("Enable delete=1"), std::string::npos) << text;
    EXPECT_EQ(text.find("Show files"), std::string::npos) << "an unchanged box writes nothing";
    EXPECT_EQ(text.find("AutoExpand"), std::string::npos);
    EXPECT_EQ(enableDelete.value, 1);
    EXPECT_EQ(statusText(2), "Delete");

    // Another cluster size is saved and the drive counted with it.
    ASSERT_TRUE(withPreferences([&](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_CLUSTERSIZE, "512");
        click(dialog, IDOK);
    }));
    EXPECT_NE(settingsText().find("U:\\=512"), std::string::npos);
    ASSERT_TRUE(pumpUntil([] { return surveyInSlot(driveU) && pieView.currentNode; }));
    EXPECT_EQ(surveyInSlot(driveU)->clusterSize, 512u);

    // The view moves to V: while the dialog is open (as when a scan of V: ends): OK scans again
    // the drive whose size it wrote, U:, back to the directory shown, and leaves V: alone.
    DriveSurvey* v = scanDrive('V');
    ASSERT_NE(v, nullptr);
    select(surveyInSlot(driveU)->root);
    pumpPending();
    ASSERT_TRUE(withPreferences([&](HWND dialog) {
        SendMessageA(DirTreeView, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(v->root->treeItem));
        SetDlgItemTextA(dialog, IDC_CLUSTERSIZE, "2048");
        click(dialog, IDOK);
    }));
    EXPECT_NE(settingsText().find("U:\\=2048"), std::string::npos);
    EXPECT_EQ(surveyInSlot(driveV), v) << "V: is not scanned again";
    ASSERT_TRUE(pumpUntil([] {
        return surveyInSlot(driveU) && pieView.currentNode == surveyInSlot(driveU)->root;
    })) << "the new scan of U: ends on the directory shown at the opening";
    EXPECT_EQ(surveyInSlot(driveU)->clusterSize, 2048u);
}

namespace {

struct WindowWait {
    const char* className;
    const char* caption;
    int button;
    std::string text;
    bool seen = false;
    bool closedByButton = false;
};

// Waits for a top-level window of the given class and caption (from any process of this Wine
// server), reads its caption, and with a button id presses it and sees whether the window goes;
// if it stays, Cancel ends it so that the command returns.
DWORD WINAPI waitForWindow(void* param) {
    WindowWait* wait = static_cast<WindowWait*>(param);
    for (int waited = 0; waited < 1500; ++waited, Sleep(10)) {
        HWND window = FindWindowA(wait->className, wait->caption);
        if (!window || !IsWindowVisible(window))
            continue;
        char text[256] = "";
        GetWindowTextA(window, text, sizeof text);
        wait->text = text;
        wait->seen = true;
        if (!wait->button)
            return 0;
        SendMessageA(GetDlgItem(window, wait->button), BM_CLICK, 0, 0);
        for (int left = 0; left < 300 && IsWindow(window); ++left)
            Sleep(10);
        wait->closedByButton = !IsWindow(window);
        if (!wait->closedByButton)
            PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
        return 0;
    }
    return 0;
}

bool whileCommand(WindowWait& wait, int command) {
    HANDLE thread = CreateThread(nullptr, 0, waitForWindow, &wait, 0, nullptr);
    SendMessageA(MainWindow, WM_COMMAND, command, 0);
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, 20000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
        pumpPending();
    CloseHandle(thread);
    return wait.seen;
}

// Sets the default value of a key of the machine's classes for as long as it lives, then puts back
// what was there. Wine reads the shell's handlers from the machine's classes only.
class ClassValue {
public:
    ClassValue(const char* name, const std::string& value) {
        RegCreateKeyExA(HKEY_CLASSES_ROOT, name, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key_,
                        nullptr);
        DWORD size = sizeof saved_;
        had_ = RegQueryValueExA(key_, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(saved_), &size) ==
               ERROR_SUCCESS;
        RegSetValueExA(key_, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       DWORD(value.size() + 1));
    }
    ~ClassValue() {
        if (had_)
            RegSetValueExA(key_, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(saved_),
                           DWORD(strlen(saved_) + 1));
        else
            RegDeleteValueA(key_, nullptr);
        RegCloseKey(key_);
    }

private:
    HKEY key_ = nullptr;
    char saved_[1024] = "";
    bool had_ = false;
};

// The test program's folder, where the program's own would be: the help pages and the recorder,
// which stands in for the user's browser, are there.
std::string ownFolder() {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string path = self;
    return path.substr(0, path.rfind('\\') + 1);
}

// The shell command that has the recorder write what it is asked to open into the file record.
std::string recorderCommand(const std::string& record) {
    return "\"" + ownFolder() + "recordurl.exe\" \"" + record + "\" \"%1\"";
}

// What the recorder was asked to open, once it has written it (empty after 20 s).
std::string recorded(const std::string& record) {
    std::string what;
    pumpUntil(
        [&] {
            std::ifstream in(record);
            what.assign(std::istreambuf_iterator<char>(in), {});
            return !what.empty();
        },
        20000);
    return what;
}

// The page that command has the shell open in the browser, with the recorder as the browser of
// .html files.
std::string openedPage(const std::function<void()>& command) {
    const std::string record = freshFolder("page") + "opened.txt";
    ClassValue type(".html", "TarvaleTest.page");
    ClassValue handler("TarvaleTest.page\\shell\\open\\command", recorderCommand(record));
    command();
    return recorded(record);
}

bool browserHelp() {
    return helpInBrowser(GetVersion());
}

} // namespace

TEST_F(MainWindowTest, AboutAndHelpContents) {
    WindowWait about{"#32770", "About Tarvale", IDOK, "", false};
    ASSERT_TRUE(whileCommand(about, IDM_ABOUT));
    EXPECT_TRUE(about.closedByButton) << "OK closes it";

    // The help engine is given tarvale.hlp beside the program, whatever the working folder; from
    // Windows Vista on, the browser the contents page beside it.
    char before[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, before);
    SetCurrentDirectoryA("C:\\");
    if (browserHelp()) {
        EXPECT_EQ(openedPage([] { SendMessageA(MainWindow, WM_COMMAND, IDM_HELPCONTENTS, 0); }),
                  ownFolder() + "help\\index.html");
        closeWindow();
        EXPECT_FALSE(FindWindowA("MS_WINHELP", nullptr)) << "the help engine is not started";
    } else {
        WindowWait help{nullptr, "Tarvale Help", 0, "", false};
        EXPECT_TRUE(whileCommand(help, IDM_HELPCONTENTS)) << "the help window opens on the contents";
        // Closing the main window tells the help engine to quit.
        closeWindow();
        EXPECT_TRUE(pumpUntil([] { return !FindWindowA(nullptr, "Tarvale Help"); }, 10000));
    }
    SetCurrentDirectoryA(before);
}

namespace {

BOOL CALLBACK findRichEdit(HWND window, LPARAM found) {
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    if (_strnicmp(name, "RichEdit", 8) != 0)
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// The first line of the topic the help engine's window shows, or empty.
std::string shownHelpTopic() {
    HWND help = FindWindowA("MS_WINHELP", nullptr);
    HWND control = nullptr;
    if (help)
        EnumChildWindows(help, findRichEdit, reinterpret_cast<LPARAM>(&control));
    if (!control)
        return "";
    char text[256] = "";
    DWORD_PTR copied = 0;
    SendMessageTimeoutA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                        5000, &copied);
    std::string topic = text;
    return topic.substr(0, topic.find_first_of("\r\n"));
}

} // namespace

TEST_F(MainWindowTest, ThePreferencesHelpButtonOpensThePreferencesTopic) {
    char before[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, before);
    SetCurrentDirectoryA("C:\\");
    std::string topic;
    const auto help = [&] {
        ASSERT_TRUE(withPreferences([&](HWND dialog) {
            click(dialog, IDC_HELPBUTTON);
            for (int waited = 0; waited < 1000 && topic != "The Preferences dialog" && !browserHelp();
                 ++waited, Sleep(10))
                topic = shownHelpTopic();
            EXPECT_TRUE(IsWindowVisible(dialog)) << "the dialog stays open";
            click(dialog, IDCANCEL);
        }));
    };
    if (browserHelp())
        EXPECT_EQ(openedPage(help), ownFolder() + "help\\1132.html");
    else
        help();
    EXPECT_EQ(topic, browserHelp() ? "" : "The Preferences dialog");
    closeWindow(); // tells the help engine to quit, where it was used
    EXPECT_TRUE(pumpUntil([] { return !FindWindowA("MS_WINHELP", nullptr); }, 10000));
    SetCurrentDirectoryA(before);
}

TEST_F(MainWindowTest, UsingHelpOpensTheHelpOnHelp) {
    // Windows brings its own help on help; under Wine the engine finds the program's winhelp.hlp
    // in the current folder.
    const std::string folder = programFolder();
    char before[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, before);
    SetCurrentDirectoryA(folder.c_str());
    if (browserHelp()) {
        // From Windows Vista on, the page on the help pages.
        EXPECT_EQ(openedPage([] { SendMessageA(MainWindow, WM_COMMAND, IDM_HELPONHELP, 0); }),
                  ownFolder() + "help\\using\\index.html");
    } else {
        WindowWait help{nullptr, "How to Use Help", 0, "", false};
        EXPECT_TRUE(whileCommand(help, IDM_HELPONHELP));
        std::string topic;
        for (int waited = 0; waited < 1000 && topic.empty(); ++waited, Sleep(10))
            topic = shownHelpTopic();
        EXPECT_EQ(topic, "How to use help");
    }
    closeWindow();
    EXPECT_TRUE(pumpUntil([] { return !FindWindowA("MS_WINHELP", nullptr); }, 10000));
    SetCurrentDirectoryA(before);
}

TEST_F(MainWindowTest, OnTheWebHandsTheProgramsAddressToTheUsersBrowser) {
    // The https handler is the recorder while the test runs.
    const std::string record = freshFolder("web") + "address.txt";
    {
        ClassValue handler("https\\shell\\open\\command", recorderCommand(record));
        SendMessageA(MainWindow, WM_COMMAND, IDM_WEBPAGE, 0);
        EXPECT_EQ(recorded(record), "https://tarvale.example/");
    }
}

TEST(Placement, AStoredPlaceThatWouldHideTheWindowIsLeftToTheSystem) {
    const RECT screen = {0, 0, 1024, 768};
    const int32_t none = CW_USEDEFAULT;
    struct Case {
        Placement stored, opened;
    };
    const Case cases[] = {
        {{40, 30, 700, 500}, {40, 30, 700, 500}},
        {{-4, -0, 1032, 776}, {-4, 0, 1024, 768}}, // a maximised window's place, its size cut to the screen
        {{none, none, none, none}, {none, none, none, none}},
        {{none, 5, 700, 500}, {none, 5, 700, 500}},
        {{40, 30, none, 500}, {40, 30, none, 500}},
        // Off every edge, and just on.
        {{1024 - 40, 30, 700, 500}, {none, none, 700, 500}},
        {{1024 - 41, 30, 700, 500}, {983, 30, 700, 500}},
        {{-700 + 40, 30, 700, 500}, {none, none, 700, 500}},
        {{-700 + 41, 30, 700, 500}, {-659, 30, 700, 500}},
        {{40, -1, 700, 500}, {none, none, 700, 500}},
        {{40, 768 - 40, 700, 500}, {none, none, 700, 500}},
        {{40, 768 - 41, 700, 500}, {40, 727, 700, 500}},
        {{2147483647, 2147483647, 2147483647, 2147483647}, {none, none, 1024, 768}},
        {{-2147483647, 40, 2147483647, 500}, {none, none, 1024, 500}},
        // Too small to use.
        {{40, 30, 0, 500}, {40, 30, none, none}},
        {{40, 30, 199, 500}, {40, 30, none, none}},
        {{40, 30, 200, 149}, {40, 30, none, none}},
        {{40, 30, 200, 150}, {40, 30, 200, 150}},
        {{40, 30, 700, none}, {40, 30, none, none}},
        {{1024 - 100, 30, 0, 0}, {924, 30, none, none}},
    };
    for (const Case& c : cases) {
        const Placement got = reachablePlacement(c.stored, screen);
        EXPECT_EQ(got.x, c.opened.x) << c.stored.x << "," << c.stored.y << " " << c.stored.width << "x"
                                     << c.stored.height;
        EXPECT_EQ(got.y, c.opened.y) << c.stored.x << "," << c.stored.y;
        EXPECT_EQ(got.width, c.opened.width) << c.stored.width << "x" << c.stored.height;
        EXPECT_EQ(got.height, c.opened.height) << c.stored.width << "x" << c.stored.height;
    }
    // Windows 95 and NT 4.0 answer 0 for the virtual screen: the primary screen stands for it,
    // and a stored place is not cut to nothing.
    const RECT primary = placementScreen({0, 0, 0, 0}, 1024, 768);
    EXPECT_TRUE(primary.left == 0 && primary.top == 0 && primary.right == 1024 && primary.bottom == 768);
    const Placement kept = reachablePlacement({40, 30, 700, 500}, primary);
    EXPECT_TRUE(kept.x == 40 && kept.y == 30 && kept.width == 700 && kept.height == 500);
    // A screen whose left edge is negative, as with a second monitor on the left.
    const RECT wide = {-1280, 0, 1024, 768};
    EXPECT_EQ(placementScreen(wide, 1024, 768).left, -1280);
    const Placement left = reachablePlacement({-1000, 100, 700, 500}, wide);
    EXPECT_EQ(left.x, -1000);
    EXPECT_EQ(left.y, 100);
}
