#include "app/help.h"

#include "settings/settings.h"

#include <shellapi.h>

const char* const webPageAddress = "https://tarvale.example/";

namespace {

// Set once the program has called the help engine, which then runs until told to quit.
bool engineUsed = false;

bool browserHelp() {
    static const bool inBrowser = helpInBrowser(GetVersion());
    return inBrowser;
}

std::string programFolder() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string program(path, length < MAX_PATH ? length : 0);
    const size_t slash = program.rfind('\\');
    return slash == std::string::npos ? "" : program.substr(0, slash + 1);
}

void callEngine(HWND owner, UINT command, ULONG_PTR data) {
    engineUsed = true;
    WinHelpA(owner, helpFilePath().c_str(), command, data);
}

// The browser, or the shell where no browser takes the page, reports a page that cannot be found.
void openPage(HWND owner, const std::string& page) {
    ShellExecuteA(owner, "open", helpPagePath(page).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

} // namespace

bool helpInBrowser(DWORD version) {
    return (version & 0x80000000) == 0 && LOBYTE(LOWORD(version)) >= 6;
}

std::string helpFilePath() {
    return programFolder() + HelpFileName;
}

std::string helpPagePath(const std::string& page) {
    return programFolder() + "help\\" + page;
}

void showHelpContents(HWND owner) {
    if (browserHelp())
        openPage(owner, "index.html");
    else
        callEngine(owner, HELP_FINDER, 0);
}

void showHelpContext(HWND owner, DWORD context) {
    if (browserHelp())
        openPage(owner, std::to_string(context) + ".html");
    else
        callEngine(owner, HELP_CONTEXT, context);
}

void showHelpOnHelp(HWND owner) {
    if (browserHelp())
        openPage(owner, "using\\index.html");
    else
        callEngine(owner, HELP_HELPONHELP, 0);
}

void quitHelp(HWND owner) {
    if (engineUsed)
        WinHelpA(owner, helpFilePath().c_str(), HELP_QUIT, 0);
}

void openWebPage() {
    ShellExecuteA(nullptr, "open", webPageAddress, nullptr, nullptr, SW_SHOWNORMAL);
}
