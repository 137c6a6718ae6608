#include "app/startup.h"

std::string commandPath;
HINSTANCE appInstance;
HWND MainWindow;
