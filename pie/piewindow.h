// The pie window: the chart of the current directory.
#pragma once

#include <windows.h>

bool registerPieWindowClass(HINSTANCE instance);
