// Real controls for the tests: a frame window with the tree view and the status bar that the
// program's globals point at, and a helper that runs work on a second thread while this thread
// serves the messages that work sends.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

struct UiHarness {
    HWND frame = nullptr;
    UiHarness();  // creates the windows and points DirTreeView and statusBar at them
    ~UiHarness(); // destroys them and clears the globals
};

// Runs work on a new thread and pumps this thread's messages until it has ended.
void runOnThreadPumping(const std::function<void()>& work);

// Handles the messages already waiting in this thread's queue.
void pumpPending();

struct TreeItemInfo {
    HTREEITEM item;
    std::string text;
    LPARAM param;
};

// The children of parent (TVI_ROOT for the top level) in the control's order.
std::vector<TreeItemInfo> childItems(HWND tree, HTREEITEM parent);

std::string statusText(int part);
