// What a scan shows while it runs: the model's one way to the screen. The application implements
// it with the tree view's and the status bar's own messages; a test can record the calls instead,
// and scan without a window. The scan calls it in the order of a recursive walk: a folder's item,
// then its status text, then its subfolders' items; the folder's sort once all of them are
// complete; and a scan thread's selection last of all.
#pragma once

#include <windows.h>
#include <commctrl.h>

struct DirNode;

class ScanSink {
public:
    // Appends the folder's item after the last child of its parent's item (the folder of a
    // drive's root gets a top-level item) and returns its handle. It returns only once the item
    // exists: the scan stores the handle in the node at once.
    virtual HTREEITEM insertItem(DirNode* folder) = 0;
    // Puts the items of the folder's subfolders in the order of its children, largest first.
    virtual void sortChildren(const DirNode* folder) = 0;
    // Shows a text in the status bar's first part without waiting for it to be shown: the text
    // belongs to a node, which outlives the showing, or to the program.
    virtual void showStatus(const char* text) = 0;
    // Selects the item, which shows its folder: the last thing a scan thread does.
    virtual void selectItem(HTREEITEM item) = 0;
    // On the user-interface thread, just before the folder's nodes are destroyed (a drive scanned
    // again, a folder deleted or read again): its items go, and nothing may show the nodes after.
    virtual void removeItems(const DirNode* folder) = 0;

protected:
    ~ScanSink() = default;
};
