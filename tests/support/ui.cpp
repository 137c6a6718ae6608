#include "support/ui.h"

#include "app/mainwindow.h"
#include "pie/piewindow.h"
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>

UiLog uiLog;

namespace {

WNDPROC statusBarProc;
WNDPROC treeViewProc;
std::map<HTREEITEM, std::string> itemNames;

std::string itemName(HTREEITEM item) {
    auto found = itemNames.find(item);
    return found == itemNames.end() ? "" : found->second;
}

LRESULT CALLBACK treeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = CallWindowProcA(treeViewProc, window, message, wParam, lParam);
    if (message == TVM_INSERTITEMA) {
        const TVINSERTSTRUCTA* insert = reinterpret_cast<const TVINSERTSTRUCTA*>(lParam);
        std::string parent = itemName(insert->hParent);
        uiLog.treeRequests.push_back("insert " + parent + "|" + insert->item.pszText);
        itemNames[reinterpret_cast<HTREEITEM>(result)] = parent + "|" + insert->item.pszText;
    } else if (message == TVM_SORTCHILDRENCB) {
        uiLog.treeRequests.push_back("sort " + itemName(reinterpret_cast<const TVSORTCB*>(lParam)->hParent));
    }
    return result;
}

LRESULT CALLBACK frameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY) {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->code == TVN_SELCHANGEDA) {
            const NMTREEVIEWA* change = reinterpret_cast<const NMTREEVIEWA*>(lParam);
            ++uiLog.selections;
            uiLog.selectedItem = change->itemNew.hItem;
            uiLog.selectedParam = change->itemNew.lParam;
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK statusProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == SB_SETTEXTA && LOBYTE(wParam) == 0)
        uiLog.statusTexts.push_back(reinterpret_cast<const char*>(lParam));
    return CallWindowProcA(statusBarProc, window, message, wParam, lParam);
}

const char* frameClass() {
    static const char* name = [] {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = frameProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TarvaleTestFrame";
        RegisterClassA(&wc);
        return "TarvaleTestFrame";
    }();
    return name;
}

struct ThreadWork {
    const std::function<void()>* work;
};

DWORD WINAPI threadMain(void* param) {
    (*static_cast<ThreadWork*>(param)->work)();
    return 0;
}

} // namespace

UiHarness::UiHarness() {
    frame = CreateWindowExA(0, frameClass(), "test", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
    DirTreeView = CreateWindowExA(WS_EX_CLIENTEDGE, WC_TREEVIEWA, "",
                                  WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                                      TVS_SHOWSELALWAYS,
                                  0, 0, 300, 400, frame, nullptr, GetModuleHandleA(nullptr), nullptr);
    statusBar = CreateStatusWindowA(WS_CHILD | WS_VISIBLE, "", frame, 1);
    int parts[3] = {300, 500, -1};
    SendMessageA(statusBar, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(parts));
    statusBarProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(statusBar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(statusProc)));
    treeViewProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(DirTreeView, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(treeProc)));
    itemNames.clear();
    uiLog = UiLog();
}

UiHarness::~UiHarness() {
    DestroyWindow(frame);
    DirTreeView = nullptr;
    statusBar = nullptr;
}

void pumpPending() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void runOnThreadPumping(const std::function<void()>& work) {
    ThreadWork param{&work};
    HANDLE thread = CreateThread(nullptr, 8192, threadMain, &param, 0, nullptr);
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0)
        pumpPending();
    CloseHandle(thread);
    pumpPending();
}

bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (!done()) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return false;
        // Short waits: what the test waits for may happen in another thread or process, which
        // sends this thread nothing.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(timeoutMs - elapsed, 10), QS_ALLINPUT);
        pumpPending();
    }
    return true;
}

std::vector<TreeItemInfo> childItems(HWND tree, HTREEITEM parent) {
    std::vector<TreeItemInfo> result;
    HTREEITEM item = parent == TVI_ROOT
                         ? reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0))
                         : reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CHILD,
                                                                    reinterpret_cast<LPARAM>(parent)));
    while (item) {
        char text[1024] = {};
        TVITEMA data = {};
        data.mask = TVIF_TEXT | TVIF_PARAM;
        data.hItem = item;
        data.pszText = text;
        data.cchTextMax = sizeof text;
        SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data));
        result.push_back({item, text, data.lParam});
        item = reinterpret_cast<HTREEITEM>(
            SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)));
    }
    return result;
}

std::string statusText(int part) {
    LRESULT length = SendMessageA(statusBar, SB_GETTEXTLENGTHA, part, 0);
    std::string text(LOWORD(length) + 1, '\0');
    SendMessageA(statusBar, SB_GETTEXTA, part, reinterpret_cast<LPARAM>(text.data()));
    text.resize(std::strlen(text.c_str()));
    return text;
}

namespace {

// A visible box or dialog of this process with the caption (any caption: null), or null.
HWND ownBox(const char* caption) {
    for (HWND box = FindWindowExA(nullptr, nullptr, "#32770", caption); box;
         box = FindWindowExA(nullptr, box, "#32770", caption)) {
        DWORD process = 0;
        GetWindowThreadProcessId(box, &process);
        if (process == GetCurrentProcessId() && IsWindowVisible(box))
            return box;
    }
    return nullptr;
}

DWORD WINAPI answerBox(void* param) {
    BoxAnswerer* answer = static_cast<BoxAnswerer*>(param);
    for (int waited = 0; waited < 1000 && !answer->seen; ++waited, Sleep(10)) {
        HWND box = ownBox(answer->caption.c_str());
        if (!box)
            continue;
        char text[512] = "";
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        answer->text = text;
        answer->seen = true;
        PostMessageA(box, WM_COMMAND, answer->button, 0);
    }
    // Until the test thread is back from the box's modal loop, a box that nobody answers for 10 s
    // is cancelled, so that the test fails instead of waiting for ever.
    HWND standing = nullptr;
    for (int stood = 0; !answer->finished; Sleep(10)) {
        HWND box = ownBox(nullptr);
        stood = box && box == standing ? stood + 1 : 0;
        standing = box;
        if (stood == 1000) {
            char text[512] = "";
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
            answer->unanswered = text;
            PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
        }
    }
    return 0;
}

} // namespace

BoxAnswerer::BoxAnswerer(const std::string& caption, int button) : caption(caption), button(button) {
    thread = CreateThread(nullptr, 0, answerBox, this, 0, nullptr);
}

BoxAnswerer::~BoxAnswerer() {
    wait();
    CloseHandle(thread);
}

bool BoxAnswerer::wait() {
    finished = true;
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, 10000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
        pumpPending();
    EXPECT_EQ(unanswered, "") << "a box that nobody answered was cancelled";
    unanswered.clear();
    return seen;
}

PieCanvas::PieCanvas(int size) {
    registerPieWindowClass(GetModuleHandleA(nullptr)); // fails harmlessly when already registered
    if (!arrowCursor)
        waitCursor = arrowCursor = LoadCursorA(nullptr, IDC_ARROW);
    RECT outer = {0, 0, size, size};
    AdjustWindowRectEx(&outer, WS_POPUP, FALSE, 0);
    window = CreateWindowExA(0, PieClassName.c_str(), "", WS_POPUP, 0, 0, outer.right - outer.left,
                             outer.bottom - outer.top, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    HDC screen = GetDC(nullptr);
    memory = CreateCompatibleDC(screen);
    bitmap = CreateCompatibleBitmap(screen, size, size);
    ReleaseDC(nullptr, screen);
    oldBitmap = SelectObject(memory, bitmap);
    PatBlt(memory, 0, 0, size, size, WHITENESS);
}

PieCanvas::~PieCanvas() {
    SelectObject(memory, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(memory);
    DestroyWindow(window);
}

COLORREF PieCanvas::pixel(int x, int y) {
    SetMapMode(memory, MM_TEXT);
    SetViewportOrgEx(memory, 0, 0, nullptr);
    return GetPixel(memory, x, y);
}
