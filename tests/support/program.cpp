#include "support/program.h"

#include "settings/settings.h"
#include "support/disk.h"

Program::Program(const std::string& argument, const char* folder) {
    // Built by appending: GCC 12 warns falsely about a literal put in front of a temporary string.
    std::string line = programFolder();
    line.insert(0, 1, '"');
    line += "\\tarvale.exe\"";
    if (!argument.empty())
        line.append(" ").append(argument);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder, &startup, &info);
}

Program::~Program() {
    if (!started)
        return;
    if (WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT)
        TerminateProcess(info.hProcess, 99);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
}

bool Program::waitForWindowOrBox() {
    return waitFor([&] {
        return (window = ownWindow("TarvaleClass", nullptr)) || (box = ownWindow("#32770", ProductTitle.c_str()));
    });
}

std::string Program::boxText() const {
    char text[512] = "";
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    return text;
}

DWORD Program::close() {
    if (window)
        PostMessageA(window, WM_CLOSE, 0, 0);
    if (box)
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    if (WaitForSingleObject(info.hProcess, 30000) != WAIT_OBJECT_0)
        return 99;
    DWORD code = 98;
    GetExitCodeProcess(info.hProcess, &code);
    return code;
}

bool Program::ended(DWORD milliseconds) const {
    return WaitForSingleObject(info.hProcess, milliseconds) == WAIT_OBJECT_0;
}

HWND Program::ownWindow(const char* className, const char* caption) const {
    for (HWND found = FindWindowExA(nullptr, nullptr, className, caption); found;
         found = FindWindowExA(nullptr, found, className, caption)) {
        DWORD process = 0;
        GetWindowThreadProcessId(found, &process);
        if (process == info.dwProcessId && IsWindowVisible(found))
            return found;
    }
    return nullptr;
}

bool waitFor(const std::function<bool()>& condition, int milliseconds) {
    for (int waited = 0; waited < milliseconds; waited += 20) {
        if (condition())
            return true;
        Sleep(20);
    }
    return condition();
}
