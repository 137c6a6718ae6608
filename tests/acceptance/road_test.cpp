// The road of one drive through the real tarvale.exe, worked from outside as a person would:
// real mouse moves, clicks and keys (SendInput), and only what the program shows is read back:
// the caption, the status bar, the tree items, the clipboard, the settings file and the disk.
#include "support/disk.h"
#include "support/program.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <set>
#include <string>

namespace {

const std::string title = "Tarvale for Windows 95, 98 and NT";

// ---- real input ----

void send(INPUT input) {
    SendInput(1, &input, sizeof input);
}

// The cursor is put in place, then a move of no distance reports it as a real mouse move. Under
// Wine the X pointer's own position can win over the first placing, so it is placed until it stays.
void mouseTo(POINT screen) {
    POINT at{};
    for (int tries = 0; tries < 20; ++tries) {
        SetCursorPos(screen.x, screen.y);
        Sleep(20);
        GetCursorPos(&at);
        if (at.x == screen.x && at.y == screen.y)
            break;
    }
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = MOUSEEVENTF_MOVE;
    send(input);
    Sleep(50);
}

void button(DWORD down, DWORD up) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = down;
    send(input);
    Sleep(50);
    if (!up)
        return;
    input.mi.dwFlags = up;
    send(input);
    Sleep(50);
}

void clickAt(POINT screen) {
    mouseTo(screen);
    button(MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
}

void key(WORD vk, bool down) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    send(input);
}

void press(WORD vk) {
    key(vk, true);
    key(vk, false);
    Sleep(30);
}

// Alt+first, then second: a menu command by its underlined letters.
void menuCommand(char first, char second) {
    key(VK_MENU, true);
    press(WORD(first));
    key(VK_MENU, false);
    Sleep(100);
    press(WORD(second));
    Sleep(100);
}

void type(const std::string& text) {
    for (char c : text)
        press(WORD(c));
}

// ---- reading the program's controls: their messages carry pointers, so the buffers live in
// the program's own memory ----

class Remote {
public:
    explicit Remote(HANDLE process) : process_(process) {
        memory_ = static_cast<char*>(VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE));
    }
    ~Remote() { VirtualFreeEx(process_, memory_, 0, MEM_RELEASE); }
    Remote(const Remote&) = delete;
    Remote& operator=(const Remote&) = delete;

    static constexpr size_t size = 4096;
    char* at(size_t offset) const { return memory_ + offset; }
    void put(size_t offset, const void* data, size_t length) const {
        WriteProcessMemory(process_, memory_ + offset, data, length, nullptr);
    }
    void get(size_t offset, void* data, size_t length) const {
        ReadProcessMemory(process_, memory_ + offset, data, length, nullptr);
    }
    std::string text(size_t offset) const {
        char buffer[1024] = "";
        get(offset, buffer, sizeof buffer - 1);
        return buffer;
    }

private:
    HANDLE process_;
    char* memory_;
};

BOOL CALLBACK findChild(HWND window, LPARAM search) {
    auto* wanted = reinterpret_cast<std::pair<const char*, HWND>*>(search);
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    if (lstrcmpiA(name, wanted->first) != 0)
        return TRUE;
    wanted->second = window;
    return FALSE;
}

HWND childOfClass(HWND parent, const char* className) {
    std::pair<const char*, HWND> search{className, nullptr};
    EnumChildWindows(parent, findChild, reinterpret_cast<LPARAM>(&search));
    return search.second;
}

RECT screenRect(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    return r;
}

// One running tarvale.exe and its windows.
class DrivenProgram {
public:
    DrivenProgram() {
        std::string line = "\"" + programFolder() + "\\tarvale.exe\"";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        const std::string folder = programFolder();
        started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                                 &startup, &process);
        if (!started)
            return;
        started = waitFor([&] {
            main = FindWindowA("TarvaleClass", nullptr);
            return main && IsWindowVisible(main);
        });
        if (!started)
            return;
        tree = childOfClass(main, "SysTreeView32");
        status = childOfClass(main, "msctls_statusbar32");
        toolbar = childOfClass(main, "ToolbarWindow32");
        combo = childOfClass(main, "ComboBox");
        pie = childOfClass(main, "TarvaleClient");
        remote = std::make_unique<Remote>(process.hProcess);
        WaitForInputIdle(process.hProcess, 10000);
        SetForegroundWindow(main);
        waitFor([&] { return GetForegroundWindow() == main; }, 5000);
        Sleep(500);
    }
    ~DrivenProgram() {
        remote.reset();
        if (process.hProcess && WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
            PostMessageA(main, WM_CLOSE, 0, 0);
            if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0)
                TerminateProcess(process.hProcess, 1);
        }
        if (process.hProcess) {
            CloseHandle(process.hProcess);
            CloseHandle(process.hThread);
        }
    }
    DrivenProgram(const DrivenProgram&) = delete;
    DrivenProgram& operator=(const DrivenProgram&) = delete;

    std::string caption() const {
        char text[512] = "";
        GetWindowTextA(main, text, sizeof text);
        return text;
    }
    // Waits until the caption names this folder.
    bool shows(const std::string& path) const {
        return waitFor([&] { return caption() == title + " - " + path; });
    }
    // Waits until a part of the status bar reads this text.
    bool statusReads(int part, const std::string& text, int milliseconds = 5000) const {
        return waitFor([&] { return statusPart(part) == text; }, milliseconds);
    }
    std::string statusPart(int part) const {
        SendMessageA(status, SB_GETTEXTA, part, reinterpret_cast<LPARAM>(remote->at(0)));
        return remote->text(0);
    }
    HTREEITEM next(HTREEITEM item, UINT how) const {
        return reinterpret_cast<HTREEITEM>(
            SendMessageA(tree, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
    }
    std::string itemText(HTREEITEM item) const {
        TVITEMA query = {};
        query.mask = TVIF_TEXT;
        query.hItem = item;
        query.pszText = remote->at(512);
        query.cchTextMax = 512;
        remote->put(0, &query, sizeof query);
        SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote->at(0)));
        return remote->text(512);
    }
    // The child of parent (TVI_ROOT for the drives) whose text starts with name, or null.
    HTREEITEM child(HTREEITEM parent, const std::string& name) const {
        HTREEITEM item = parent == TVI_ROOT ? next(nullptr, TVGN_ROOT) : next(parent, TVGN_CHILD);
        for (; item; item = next(item, TVGN_NEXT))
            if (itemText(item).compare(0, name.size(), name) == 0)
                return item;
        return nullptr;
    }
    std::string selectedText() const {
        HTREEITEM item = next(nullptr, TVGN_CARET);
        return item ? itemText(item) : "";
    }
    int treeCount() const { return int(SendMessageA(tree, TVM_GETCOUNT, 0, 0)); }
    // The middle of an item's text on the screen.
    POINT itemPoint(HTREEITEM item) const {
        // The item goes in where the rectangle comes back.
        remote->put(0, &item, sizeof item);
        SendMessageA(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(remote->at(0)));
        return remoteRectMiddle(tree);
    }
    POINT toolbarButton(int command) const {
        SendMessageA(toolbar, TB_GETRECT, command, reinterpret_cast<LPARAM>(remote->at(0)));
        return remoteRectMiddle(toolbar);
    }
    // The middle, on the screen, of the rectangle a control of window wrote into the buffer.
    POINT remoteRectMiddle(HWND window) const {
        RECT r = {};
        remote->get(0, &r, sizeof r);
        POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        ClientToScreen(window, &p);
        return p;
    }
    // A point of the chart at the given angle (degrees clockwise from straight up) and fraction of
    // the smaller half-side of the pie window, which bounds the disc.
    POINT piePoint(double degrees, double fraction) const {
        RECT r;
        GetClientRect(pie, &r);
        const double half = std::min(r.right, r.bottom) / 2.0, radians = degrees * 3.14159265358979 / 180;
        POINT p{LONG(r.right / 2.0 + std::sin(radians) * half * fraction),
                LONG(r.bottom / 2.0 - std::cos(radians) * half * fraction)};
        ClientToScreen(pie, &p);
        return p;
    }
    bool ended(DWORD milliseconds = 30000) const {
        return WaitForSingleObject(process.hProcess, milliseconds) == WAIT_OBJECT_0;
    }
    DWORD exitCode() const {
        DWORD code = 99;
        GetExitCodeProcess(process.hProcess, &code);
        return code;
    }

    bool started = false;
    PROCESS_INFORMATION process = {};
    HWND main = nullptr, tree = nullptr, status = nullptr, toolbar = nullptr, combo = nullptr, pie = nullptr;
    std::unique_ptr<Remote> remote;
};

int setting(const char* section, const char* name) {
    return int(GetPrivateProfileIntA(section, name, -12345, settingsFilePath().c_str()));
}

// The program's message box or dialog with this caption, or null.
HWND box(const char* caption) {
    return FindWindowA("#32770", caption);
}

std::string boxText(HWND box) {
    char text[512] = "";
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    return text;
}

COLORREF screenPixel(POINT at) {
    HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, at.x, at.y);
    ReleaseDC(nullptr, screen);
    return colour;
}

POINT middleOf(HWND window) {
    RECT r = screenRect(window);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

constexpr int upLevelCommand = 103;

} // namespace

// K:\ holds Top\Big (20 files of 5,000 bytes: 2 clusters each at 4,096 bytes, 5 at 1,024),
// Top\Small (one file of 100 bytes) and Many (1,500 empty folders, so that the scan lasts long
// enough to watch the tree fill).
TEST(Road, OneDriveFromPickingToTheNextStart) {
    const std::string k = freshDrive("K");
    makeDir(k + "Top");
    makeDir(k + "Top\\Big");
    for (int i = 0; i < 20; ++i)
        makeFile(k + "Top\\Big\\f" + std::to_string(i), 5000);
    makeDir(k + "Top\\Small");
    makeFile(k + "Top\\Small\\f", 100);
    makeDir(k + "Many");
    for (int i = 0; i < 1500; ++i)
        makeDir(k + "Many\\D" + std::to_string(i));
    resetSettings();
    WritePrivateProfileStringA("Tarvale", "Enable delete", "1", settingsFilePath().c_str());

    RECT placed{};
    int split = 0;
    {
        DrivenProgram program;
        ASSERT_TRUE(program.started);
        ASSERT_TRUE(program.tree && program.status && program.toolbar && program.combo && program.pie);
        EXPECT_EQ(program.caption(), title);

        // Pick the drive: open the list with its arrow, click the drive's line.
        RECT comboRect = screenRect(program.combo);
        clickAt(POINT{comboRect.right - 8, (comboRect.top + comboRect.bottom) / 2});
        HWND list = nullptr;
        ASSERT_TRUE(waitFor(
            [&] { return (list = FindWindowA("ComboLBox", nullptr)) && IsWindowVisible(list); }, 5000));
        Sleep(300); // the list takes its place and grabs the mouse
        // Each line starts with its drive letter. Only that letter is compared: Wine hands the text of
        // another process's list over in UTF-16.
        int index = -1;
        const int lines = int(SendMessageA(list, LB_GETCOUNT, 0, 0));
        for (int i = 0; i < lines && index < 0; ++i) {
            char line[512] = "";
            SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line));
            if (line[0] == 'K')
                index = i;
        }
        ASSERT_GE(index, 0) << lines << " lines in the drive list";
        RECT listRect;
        GetClientRect(list, &listRect);
        const int lineHeight = int(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0));
        const int firstShown = int(SendMessageA(list, LB_GETTOPINDEX, 0, 0));
        POINT linePoint{listRect.right / 2, (index - firstShown) * lineHeight + lineHeight / 2};
        ClientToScreen(list, &linePoint);
        // The list follows the mouse before it takes a click.
        mouseTo(POINT{linePoint.x - 10, linePoint.y});
        mouseTo(linePoint);
        Sleep(200);
        button(MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
        std::set<int> counts;
        ASSERT_TRUE(waitFor([&] {
            counts.insert(program.treeCount());
            return program.caption() == title + " - K:\\";
        })) << program.caption();
        counts.erase(0);
        EXPECT_GE(counts.size(), 3u) << "the tree fills while the drive is read";
        EXPECT_EQ(program.treeCount(), 1 + 2 + 2 + 1500);
        // The totals come with the chart's first paint, which may follow the caption by a moment.
        EXPECT_TRUE(waitFor([&] { return program.statusPart(1).rfind("Total space this device: ", 0) == 0; }))
            << program.statusPart(1);
        // The chart on the screen: a coloured disc on white. The totals are set as the paint begins, so
        // the disc itself may still be on its way.
        EXPECT_TRUE(
            waitFor([&] { return screenPixel(program.piePoint(180, 0.5)) != RGB(255, 255, 255); }, 5000));
        EXPECT_EQ(screenPixel(program.piePoint(45, 1.35)), RGB(255, 255, 255));

        // The tree: a real click on Top.
        HTREEITEM root = program.next(nullptr, TVGN_ROOT);
        ASSERT_TRUE(root);
        EXPECT_EQ(program.itemText(root).rfind("K:\\", 0), 0u);
        HTREEITEM top = program.child(root, "Top");
        ASSERT_TRUE(top);
        clickAt(program.itemPoint(top));
        ASSERT_TRUE(program.shows("K:\\Top\\")) << program.caption();
        EXPECT_TRUE(program.statusReads(1, "Space this dir + subdirs: 164 kB")) << program.statusPart(1);

        // Hovering names the slice under the mouse: Big takes nearly all of the disc.
        mouseTo(program.piePoint(180, 0.5));
        EXPECT_TRUE(program.statusReads(0, "K:\\Top\\Big\\ (160 kB)")) << program.statusPart(0);
        // A click descends into it, a click outside the pie goes up again.
        button(MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
        EXPECT_TRUE(program.shows("K:\\Top\\Big\\")) << program.caption();
        EXPECT_EQ(program.selectedText().rfind("Big", 0), 0u);
        mouseTo(program.piePoint(45, 1.35));
        EXPECT_TRUE(program.statusReads(0, "Zoom out")) << program.statusPart(0);
        button(MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP);
        EXPECT_TRUE(program.shows("K:\\Top\\")) << program.caption();

        // One level up, on the toolbar.
        clickAt(program.toolbarButton(upLevelCommand));
        EXPECT_TRUE(program.shows("K:\\")) << program.caption();

        // F5 reads the drive again and comes back to the folder shown.
        clickAt(program.itemPoint(program.child(program.next(nullptr, TVGN_ROOT), "Top")));
        ASSERT_TRUE(program.shows("K:\\Top\\"));
        press(VK_F5);
        EXPECT_TRUE(waitFor([&] { return program.treeCount() < 1505; })) << "the old tree goes";
        EXPECT_TRUE(waitFor([&] {
            return program.treeCount() == 1505 && program.selectedText().rfind("Top", 0) == 0 &&
                   program.statusPart(1) == "Space this dir + subdirs: 164 kB";
        })) << program.selectedText();
        EXPECT_EQ(program.caption(), title + " - K:\\Top\\");

        // A right click on Small deletes it after the confirmation. The user finds its slice by
        // moving the mouse round until the status bar names it. A reading taken while the program
        // is busy can still be of the previous place; the one after the cursor has rested is not.
        POINT small{};
        const std::string smallText = "K:\\Top\\Small\\ (4096 bytes)";
        for (int degrees = 0; degrees < 360 && !small.x; degrees += 2) {
            mouseTo(program.piePoint(degrees, 0.6));
            if (program.statusPart(0) != smallText)
                continue;
            Sleep(300);
            if (program.statusPart(0) == smallText)
                GetCursorPos(&small);
        }
        ASSERT_TRUE(small.x) << "no slice of the chart was named K:\\Top\\Small\\";
        button(MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
        HWND confirm = nullptr;
        ASSERT_TRUE(waitFor([&] { return (confirm = box("Remove Directory?")) != nullptr; }, 10000));
        EXPECT_EQ(boxText(confirm), "K:\\Top\\Small\\ ?");
        clickAt(middleOf(GetDlgItem(confirm, IDYES)));
        EXPECT_TRUE(waitFor([&] { return !IsWindow(confirm); }, 10000));
        EXPECT_TRUE(program.statusReads(1, "Space this dir + subdirs: 160 kB", 30000))
            << program.statusPart(1);
        EXPECT_EQ(GetFileAttributesA((k + "Top\\Small").c_str()), INVALID_FILE_ATTRIBUTES)
            << "gone from the disk";
        EXPECT_TRUE(GetFileAttributesA((k + "Top\\Big\\f0").c_str()) != INVALID_FILE_ATTRIBUTES);
        EXPECT_FALSE(program.child(program.child(program.next(nullptr, TVGN_ROOT), "Top"), "Small"));

        // Preferences: a cluster size of 1,024 bytes reads the drive again with it.
        menuCommand('O', 'P');
        HWND preferences = nullptr;
        ASSERT_TRUE(waitFor([&] { return (preferences = box("Preferences")) != nullptr; }, 10000));
        HWND edit = GetDlgItem(preferences, 108);
        clickAt(middleOf(edit));
        press(VK_END);
        key(VK_SHIFT, true);
        press(VK_HOME);
        key(VK_SHIFT, false);
        type("1024");
        clickAt(middleOf(GetDlgItem(preferences, IDOK)));
        EXPECT_TRUE(waitFor([&] { return !IsWindow(preferences); }, 10000));
        EXPECT_TRUE(waitFor([&] {
            return program.treeCount() == 1504 && program.statusPart(1) == "Space this dir + subdirs: 100 kB";
        })) << program.statusPart(1);
        EXPECT_EQ(program.caption(), title + " - K:\\Top\\");
        EXPECT_EQ(setting("Blocksizes", "K:\\"), 1024);

        // Copy puts the chart and its caption on the clipboard.
        menuCommand('F', 'C');
        std::string text;
        bool metafile = false;
        EXPECT_TRUE(waitFor(
            [&] {
                if (!OpenClipboard(nullptr))
                    return false;
                metafile = IsClipboardFormatAvailable(CF_ENHMETAFILE);
                HANDLE data = GetClipboardData(CF_TEXT);
                if (data) {
                    text = static_cast<const char*>(GlobalLock(data));
                    GlobalUnlock(data);
                }
                CloseClipboard();
                return metafile && !text.empty();
            },
            10000));
        EXPECT_TRUE(metafile);
        EXPECT_EQ(text, "Piechart of K:\\Top\\");

        // Drag the divider 60 pixels to the right, move the window, and leave by the menu.
        RECT treeBefore = screenRect(program.tree), pieBefore = screenRect(program.pie);
        POINT divider{(treeBefore.right + pieBefore.left) / 2, (pieBefore.top + pieBefore.bottom) / 2};
        mouseTo(divider);
        button(MOUSEEVENTF_LEFTDOWN, 0);
        for (int step = 1; step <= 6; ++step)
            mouseTo(POINT{divider.x + 10 * step, divider.y});
        button(MOUSEEVENTF_LEFTUP, 0);
        RECT treeAfter{};
        EXPECT_TRUE(
            waitFor([&] { return (treeAfter = screenRect(program.tree)).right == divider.x + 60 - 3; }, 5000))
            << "the tree ends three pixels left of the release, not at " << treeAfter.right;
        split = int(treeAfter.right - treeAfter.left);
        SetWindowPos(program.main, nullptr, 37, 29, 720, 540, SWP_NOZORDER);
        placed = screenRect(program.main);
        SetForegroundWindow(program.main);
        Sleep(100);
        menuCommand('F', 'X');
        ASSERT_TRUE(program.ended());
        EXPECT_EQ(program.exitCode(), 0u);
    }
    EXPECT_EQ(setting("Tarvale", "XOffset"), 37);
    EXPECT_EQ(setting("Tarvale", "YOffset"), 29);
    EXPECT_EQ(setting("Tarvale", "Width"), 720);
    EXPECT_EQ(setting("Tarvale", "Height"), 540);
    EXPECT_GT(setting("Tarvale", "Split"), 0);

    // The next start comes back at the same place, with the same divider.
    DrivenProgram again;
    ASSERT_TRUE(again.started);
    RECT back = screenRect(again.main), tree = screenRect(again.tree);
    EXPECT_EQ(back.left, placed.left);
    EXPECT_EQ(back.top, placed.top);
    EXPECT_EQ(back.right, placed.right);
    EXPECT_EQ(back.bottom, placed.bottom);
    EXPECT_EQ(int(tree.right - tree.left), split);
}
