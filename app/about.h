#pragma once

#include <windows.h>

// The About box: the program's icon, name and version; OK closes it.
void runAboutDialog(HWND owner);
