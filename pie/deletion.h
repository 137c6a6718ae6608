// Deleting a file or a whole directory from the chart, after a confirmation.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

struct PieView;

// The system error code of the last deletion step.
extern uint32_t lastDeleteError;

// Deletes the directory at path (in the names as listed, ending in a backslash) with everything in
// it. Links and other reparse points inside it are removed themselves and never followed.
bool removeTree(const std::string& path);
// A right click: deletes what the hit test at its point found, if it may be deleted and the user
// agrees.
void deleteHotItem(HWND window, PieView& view);
