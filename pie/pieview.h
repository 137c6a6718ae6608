// The current view, shared by the main window, the tree view and the chart, with what the last
// hit test found under the mouse.
#pragma once

#include <cstdint>

struct DirNode;
struct FileEntry;
class ScanSink;

enum ClickAction : int32_t { noClick = 0, descend = 1, goUp = 2 };
enum DeleteAction : int32_t { noDelete = 0, deleteFile = 1, deleteDirectory = 2 };

// A child of the current node or one of its files, or neither.
struct HotItem {
    DirNode* directory = nullptr;
    FileEntry* file = nullptr;
};

struct PieView {
    int32_t currentDrive = 0;
    DirNode* currentNode = nullptr; // the directory the chart shows; none at start
    HotItem hotItem;
    ClickAction clickAction = noClick;
    DeleteAction deleteAction = noDelete;
};

extern PieView pieView;

// Forgets what the last hit test found: called whenever the view changes or an item goes, so
// that nothing acts on an item that no longer exists.
void clearHotItem(PieView& view);
// A current node is set and its drive's survey is complete.
bool pieActive(const PieView& view);
// Throws away the tree of the current node's drive and scans it again, reselecting that node's
// directory; the sink shows the new scan, and first removes the old items and forgets the view.
void rescanCurrentDrive(ScanSink& sink);
