// Deleting a file or a whole directory from the chart, after a confirmation.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

struct PieView;

// The system error code of the last deletion step.
extern uint32_t lastDeleteError;

// Deletes the directory at path (ending in a backslash) with everything in it. Links inside it
// are removed themselves and never followed.
bool removeTree(const std::string& path);
// A right click: deletes what the last hit test found, if it may be deleted and the user agrees.
void deleteHotItem(HWND window, PieView& view);
