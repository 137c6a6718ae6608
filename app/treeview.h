// The directory tree view: one item per scanned directory, each carrying its DirNode; its
// selection decides what the chart shows.
#pragma once

#include <windows.h>
#include <commctrl.h>

struct DirNode;
class ScanSink;

// Appends an item under parent (null for a drive's top-level item). Sent, not posted: a scan
// thread stores the returned handle in the node at once.
HTREEITEM insertDirItem(HTREEITEM parent, const char* text, DirNode* node);

// The screen as a scan sees it: each folder an item of DirTreeView, inserted, sorted (by
// compareBySize), selected and deleted with the control's messages, which a scan thread sends and
// so waits for, and the status texts posted to statusBar's first part. Removing a folder's items
// first forgets the chart's current node and hot item when they lie in that folder.
ScanSink& screenSink();

// Whether candidate is item itself or one of its ancestors.
bool isSameOrAncestor(HTREEITEM item, HTREEITEM candidate);
// Collapses the old item and its ancestors up to, not including, the first that is also an
// ancestor of the new item.
void collapseOldBranch(HTREEITEM oldItem, HTREEITEM newItem);
// TVN_SELCHANGEDA: caption, collapsing and expanding, and the current view.
void onSelectionChanged(HWND mainWindow, const NMTREEVIEWA* change);
