// The help engine and the product's web page.
#pragma once

#include <windows.h>

#include <string>

// The address of the product's web page.
extern const char* const webPageAddress;

// The help file beside the program: given a bare name, the help engine looks in the working
// folder, which is the program's own only when it was started there.
std::string helpFilePath();

void showHelpContents(HWND owner);
void showHelpOnHelp(HWND owner);
void quitHelp(HWND owner);
void openWebPage();
