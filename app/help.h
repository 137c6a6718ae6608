// The help engine and the product's web page.
#pragma once

#include <windows.h>

// The address of the product's web page.
extern const char* const webPageAddress;

void showHelpContents(HWND owner);
void showHelpOnHelp(HWND owner);
void quitHelp(HWND owner);
void openWebPage();
