#include "app/help.h"

#include "settings/settings.h"

#include <shellapi.h>

const char* const webPageAddress = "https://tarvale.example/";

void showHelpContents(HWND owner) {
    WinHelpA(owner, HelpFileName.c_str(), HELP_FINDER, 0);
}

void showHelpOnHelp(HWND owner) {
    WinHelpA(owner, HelpFileName.c_str(), HELP_HELPONHELP, 0);
}

void quitHelp(HWND owner) {
    WinHelpA(owner, HelpFileName.c_str(), HELP_QUIT, 0);
}

void openWebPage() {
    ShellExecuteA(nullptr, "open", webPageAddress, nullptr, nullptr, SW_SHOWNORMAL);
}
