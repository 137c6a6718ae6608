// One start of the real tarvale.exe from the build folder, seen from outside: its own main
// window or message box, found among the windows of every process by its process id, since other
// copies of the program may be running in the same Wine server.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// Polls condition every 20 ms, without pumping messages, until it holds or the time is up;
// for windows and files of another process. Returns whether it held.
bool waitFor(const std::function<bool()>& condition, int milliseconds = 30000);

class Program {
public:
    // Starts the program with an argument (none when empty) in a working folder (none: this one).
    explicit Program(const std::string& argument, const char* folder = nullptr);
    // Ends the process when it is still running, so that no copy outlives its test.
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Waits until the program shows its main window or a message box of its own.
    bool waitForWindowOrBox();
    std::string boxText() const;
    HWND child(const char* className) const { return FindWindowExA(window, nullptr, className, nullptr); }
    // Closes the window (or answers the box) and returns the exit code; 99 when it did not end.
    DWORD close();
    // Whether the process ended on its own within the time.
    bool ended(DWORD milliseconds) const;

    bool started = false;
    PROCESS_INFORMATION info = {};
    HWND window = nullptr;
    HWND box = nullptr;

private:
    HWND ownWindow(const char* className, const char* caption) const;
};
