// The help and the product's web page.
#pragma once

#include <windows.h>

#include <string>

// The address of the product's web page.
extern const char* const webPageAddress;

// Whether the help is the HTML pages in the user's browser rather than the help file in the help
// engine: from Windows Vista on (version 6; version is what GetVersion returns) the system has no
// engine for the help file (Vista to 8.1 only as an optional download, 10 and 11 none).
bool helpInBrowser(DWORD version);

// The help file beside the program: given a bare name, the help engine looks in the working
// folder, which is the program's own only when it was started there.
std::string helpFilePath();

// A help page beside the program: "index.html" is the contents, "<context number>.html" a topic,
// "using\index.html" the page on the pages.
std::string helpPagePath(const std::string& page);

// Help contents, a topic by its context number, and help on help: through the engine or the pages,
// as helpInBrowser says for the running system.
void showHelpContents(HWND owner);
void showHelpContext(HWND owner, DWORD context);
void showHelpOnHelp(HWND owner);
// Closes the help engine's window, where the program used the engine.
void quitHelp(HWND owner);
void openWebPage();
