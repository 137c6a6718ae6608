// Waits, for scripts, until Tarvale's main window shows a directory in its caption (a scan has
// ended and its directory is selected), prints the caption, and with --close closes the window.
// usage: waitwindow [--close] [SECONDS]; exits 1 when the time runs out.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    bool close = false;
    int seconds = 120;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--close") == 0)
            close = true;
        else
            seconds = std::atoi(argv[i]);
    }
    for (int waited = 0; waited < seconds * 10; ++waited) {
        HWND window = FindWindowA("TarvaleClass", nullptr);
        char caption[512] = "";
        if (window)
            GetWindowTextA(window, caption, sizeof caption);
        if (std::strstr(caption, " - ")) {
            std::printf("%s\n", caption);
            if (close)
                PostMessageA(window, WM_CLOSE, 0, 0);
            return 0;
        }
        Sleep(100);
    }
    std::fprintf(stderr, "waitwindow: no scanned directory shown after %d s\n", seconds);
    return 1;
}
