// winhelp_check: opens the help file through the help engine as the program does, and checks what the
// help window shows. A Windows program for Wine: it reads the engine's window from outside, as Wine's
// winhlp32 builds it (a window of class MS_WINHELP with a rich edit control holding the topic).
//
//   winhelp_check.exe PATH/tarvale.hlp [--hold MILLISECONDS]
//
// PATH may be a Unix path; it is taken as the same path on drive Z:. The file's folder becomes the
// current directory and WinHelp gets the bare file name, as the program passes it. Steps:
//   1. HELP_CONTEXT 1132 shows the Preferences topic in a window titled "Tarvale Help". --hold keeps it
//      on screen that long, after printing "showing: ...", so that a screenshot can be taken.
//   2. HELP_FINDER shows the contents topic.
//   3. A click on the contents topic's link to the Preferences topic shows that topic.
//   4. HELP_QUIT ends the engine.
// Prints one line per check and "N passed, M failed"; exits with 1 when a check failed.
#include "tests/support/check.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

const char* const helpTitle = "Tarvale Help";
const char* const contentsTitle = "Contents";
const char* const preferencesTitle = "The Preferences dialog";
constexpr ULONG_PTR preferencesContext = 1132;
constexpr DWORD callTimeout = 30000, showTimeout = 5000;

void pump() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Polls until done() holds or the time is up, serving this thread's messages meanwhile.
bool waitUntil(const std::function<bool()>& done, DWORD milliseconds) {
    DWORD start = GetTickCount();
    for (;;) {
        if (done())
            return true;
        if (GetTickCount() - start > milliseconds)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        pump();
    }
}

std::string windowText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, showTimeout, &length))
        return "";
    std::string text(length + 1, '\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), SMTO_ABORTIFHUNG,
                        showTimeout, &copied);
    text.resize(std::min<size_t>(copied, length));
    return text;
}

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find_first_of("\r\n"));
}

// Windows that belong to other processes: what the engine shows when something went wrong.
BOOL CALLBACK listForeignWindow(HWND w, LPARAM) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    char cls[64] = "", caption[256] = "";
    if (pid != GetCurrentProcessId() && IsWindowVisible(w)) {
        GetClassNameA(w, cls, sizeof cls);
        GetWindowTextA(w, caption, sizeof caption);
        std::printf("  window of process %lu: class \"%s\", caption \"%s\"\n", pid, cls, caption);
    }
    return TRUE;
}

HWND helpWindow() {
    return FindWindowA("MS_WINHELP", nullptr);
}

struct Call {
    HWND owner;
    const char* file;
    UINT command;
    ULONG_PTR data;
};

DWORD WINAPI callWinHelp(void* param) {
    const Call* c = static_cast<const Call*>(param);
    return WinHelpA(c->owner, c->file, c->command, c->data) ? 0 : 1;
}

// WinHelp waits until the engine has handled the request; an engine stuck in a message box would hold
// the test for ever, so the call runs on a thread of its own with a deadline.
// Wine's WinHelp starts the engine and looks for its window at once; on a busy machine the window
// may not be there yet, and the call fails although the engine comes up: then, once its window is
// there, the request is made again, as a user would press F1 again.
void winHelp(const Call& call, const std::string& what) {
    HANDLE thread = CreateThread(nullptr, 0, callWinHelp, const_cast<Call*>(&call), 0, nullptr);
    bool returned = waitUntil([&] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }, callTimeout);
    DWORD code = 1;
    GetExitCodeThread(thread, &code);
    if (returned && code != 0 && waitUntil([] { return helpWindow() != nullptr; }, 10000)) {
        std::printf("note - %s: WinHelp failed while the engine started; asked again\n", what.c_str());
        CloseHandle(thread);
        thread = CreateThread(nullptr, 0, callWinHelp, const_cast<Call*>(&call), 0, nullptr);
        returned = waitUntil([&] { return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0; }, callTimeout);
        GetExitCodeThread(thread, &code);
    }
    if (!check(returned && code == 0, what, returned ? "WinHelp failed" : "WinHelp did not return in 30 s")) {
        EnumWindows(listForeignWindow, 0);
        std::exit(checkSummary());
    }
    CloseHandle(thread);
}

BOOL CALLBACK findRichEdit(HWND w, LPARAM found) {
    char cls[64] = "";
    GetClassNameA(w, cls, sizeof cls);
    if (_strnicmp(cls, "RichEdit", 8) != 0)
        return TRUE;
    *reinterpret_cast<HWND*>(found) = w;
    return FALSE;
}

// The control that shows the topic.
HWND topicControl(HWND help) {
    HWND found = nullptr;
    EnumChildWindows(help, findRichEdit, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Checks that the help window shows the topic with this title; returns the topic's text.
std::string expectTopic(const std::string& title, const std::string& step) {
    HWND help = nullptr, control = nullptr;
    std::string text;
    waitUntil(
        [&] {
            help = helpWindow();
            control = help ? topicControl(help) : nullptr;
            text = control ? windowText(control) : "";
            return help && IsWindowVisible(help) && firstLine(text) == title;
        },
        showTimeout);
    char caption[256] = "";
    if (help)
        GetWindowTextA(help, caption, sizeof caption);
    check(help && IsWindowVisible(help), step + ": the help window is shown");
    check(caption == std::string(helpTitle), step + ": its caption is \"" + helpTitle + "\"",
          "it is \"" + std::string(caption) + "\"");
    check(firstLine(text) == title, step + ": it shows the topic \"" + title + "\"",
          text.empty() ? "no text" : "it shows \"" + firstLine(text) + "\"");
    return text;
}

// Clicks the first place where label appears in the topic, as a user would click a link there.
bool clickLabel(const std::string& text, const std::string& label) {
    HWND control = topicControl(helpWindow());
    size_t at = text.find(label);
    if (!control || at == std::string::npos)
        return false;
    // The control counts a paragraph end as one character; its text gives it as "\r\n".
    LPARAM index = LPARAM(at - std::count(text.begin(), text.begin() + at, '\n'));
    DWORD pid = 0;
    GetWindowThreadProcessId(control, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process)
        return false;
    // EM_POSFROMCHAR of a rich edit control writes to a POINTL, which must live in the engine's process.
    void* remote = VirtualAllocEx(process, nullptr, sizeof(POINTL), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    POINTL where{-1, -1};
    DWORD_PTR result = 0;
    bool placed = remote &&
                  SendMessageTimeoutA(control, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(remote), index,
                                      SMTO_ABORTIFHUNG, showTimeout, &result) &&
                  ReadProcessMemory(process, remote, &where, sizeof where, nullptr);
    if (remote)
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    if (!placed || where.x < 0 || where.y < 0)
        return false;
    LPARAM point = MAKELPARAM(where.x + 3, where.y + 4);
    PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageA(control, WM_LBUTTONUP, 0, point);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 && !(argc == 4 && std::string(argv[2]) == "--hold")) {
        std::fprintf(stderr, "usage: winhelp_check PATH\\tarvale.hlp [--hold MILLISECONDS]\n");
        return 2;
    }
    std::string path = argv[1];
    if (path[0] == '/')
        path = "Z:" + path;
    std::replace(path.begin(), path.end(), '/', '\\');
    size_t slash = path.find_last_of('\\');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    std::string name = path.substr(slash + 1);
    if (!check(GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES,
               "the help file " + path + " exists"))
        return checkSummary();
    SetCurrentDirectoryA(folder.c_str());

    HWND owner = CreateWindowA("STATIC", "winhelp_check", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);

    winHelp({owner, name.c_str(), HELP_CONTEXT, preferencesContext}, "WinHelp HELP_CONTEXT 1132");
    std::string preferences = expectTopic(preferencesTitle, "HELP_CONTEXT 1132");
    check(preferences.find("Enable delete") != std::string::npos &&
              preferences.find("Advise") != std::string::npos,
          "HELP_CONTEXT 1132: the topic's text is there");
    DWORD enginePid = 0;
    GetWindowThreadProcessId(helpWindow(), &enginePid);
    if (argc == 4) {
        std::printf("showing: %s\n", preferencesTitle);
        std::fflush(stdout);
        waitUntil([] { return false; }, DWORD(std::atol(argv[3])));
    }

    winHelp({owner, name.c_str(), HELP_FINDER, 0}, "WinHelp HELP_FINDER");
    std::string contents = expectTopic(contentsTitle, "HELP_FINDER");

    check(clickLabel(contents, preferencesTitle), "click the link \"" + std::string(preferencesTitle) + "\"");
    expectTopic(preferencesTitle, "link from the contents");

    HANDLE engine = OpenProcess(SYNCHRONIZE, FALSE, enginePid);
    winHelp({owner, name.c_str(), HELP_QUIT, 0}, "WinHelp HELP_QUIT");
    check(engine && WaitForSingleObject(engine, showTimeout) == WAIT_OBJECT_0 && !helpWindow(),
          "HELP_QUIT: the help engine has ended");
    if (engine)
        CloseHandle(engine);
    DestroyWindow(owner);
    return checkSummary();
}
