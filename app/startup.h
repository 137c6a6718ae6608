// Start-up: the command-line argument, the window classes, the main window at its saved
// placement and the message loop. WinMain runs these steps in order; the tests run the same ones.
#pragma once

#include "pie/handles.h" // appInstance

#include <windows.h>

#include <string>

extern std::string commandPath;
extern HWND MainWindow;

// Keeps the argument and checks that the file system finds it; when it does not, says so in a
// message box and returns false: the program will not run.
bool acceptCommandPath(const char* commandLine);
// Initialises the common controls and registers both window classes (stores appInstance).
bool registerWindowClasses(HINSTANCE instance, HINSTANCE previous);
// Creates the main window at the placement the settings hold.
HWND createMainWindow();
// Runs the loop until the quit message; returns its parameter.
int runMessageLoop(HACCEL accelerators);
