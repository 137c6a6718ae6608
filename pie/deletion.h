// Deleting a file or a whole directory from the chart, after a confirmation.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

struct PieView;

// The system error code of the last deletion that failed.
extern uint32_t lastDeleteError;

// A right click: deletes what the hit test at its point found, if it may be deleted and the user
// agrees.
void deleteHotItem(HWND window, PieView& view);
