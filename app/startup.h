// The entry procedure's globals: the command-line argument, the module instance every resource
// is loaded from, and the main window.
#pragma once

#include <windows.h>

#include <string>

extern std::string commandPath;
extern HINSTANCE appInstance;
extern HWND MainWindow;
