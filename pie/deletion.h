// Deleting a file or a whole directory from the chart, after a confirmation.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

struct PieView;
class ScanSink;

// The system error code of the last deletion that failed.
extern uint32_t lastDeleteError;

// A right click: deletes what the hit test at its point found, if it may be deleted and the user
// agrees. The tree changes through the sink: a deleted folder's items go, and a folder read again
// after a deletion that stopped half-way gets fresh ones.
void deleteHotItem(HWND window, PieView& view, ScanSink& tree);
