#include "app/help.h"

#include "settings/settings.h"

#include <shellapi.h>

const char* const webPageAddress = "https://tarvale.example/";

std::string helpFilePath() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string program(path, length < MAX_PATH ? length : 0);
    const size_t slash = program.rfind('\\');
    return slash == std::string::npos ? HelpFileName : program.substr(0, slash + 1) + HelpFileName;
}

void showHelpContents(HWND owner) {
    WinHelpA(owner, helpFilePath().c_str(), HELP_FINDER, 0);
}

void showHelpOnHelp(HWND owner) {
    WinHelpA(owner, helpFilePath().c_str(), HELP_HELPONHELP, 0);
}

void quitHelp(HWND owner) {
    WinHelpA(owner, helpFilePath().c_str(), HELP_QUIT, 0);
}

void openWebPage() {
    ShellExecuteA(nullptr, "open", webPageAddress, nullptr, nullptr, SW_SHOWNORMAL);
}
