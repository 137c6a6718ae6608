// The directory tree view: one item per scanned directory, each carrying its DirNode.
#pragma once

#include <windows.h>
#include <commctrl.h>

struct DirNode;

// Appends an item under parent (null for a drive's top-level item). Sent, not posted: a scan
// thread stores the returned handle in the node at once.
HTREEITEM insertDirItem(HTREEITEM parent, const char* text, DirNode* node);
