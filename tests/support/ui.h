// Real controls for the tests: a frame window with the tree view and the status bar that the
// program's globals point at, and a helper that runs work on a second thread while this thread
// serves the messages that work sends.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

struct UiHarness {
    HWND frame = nullptr;
    UiHarness();  // creates the windows and points DirTreeView and statusBar at them
    ~UiHarness(); // destroys them and clears the globals
};

// What the frame has seen of the tree view's selection changes (TVN_SELCHANGEDA), and every
// text set into the status bar's first part, in order.
struct UiLog {
    int selections = 0;
    HTREEITEM selectedItem = nullptr;
    LPARAM selectedParam = 0;
    std::vector<std::string> statusTexts;
    // The tree view's requests in order: "insert PARENT|TEXT" and "sort ITEM", each item named by
    // the texts on its way down from the top, joined by '|'.
    std::vector<std::string> treeRequests;
};
extern UiLog uiLog;

// Pumps messages until done() holds or timeoutMs have passed; returns done().
bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 60000);

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

// Answers a message box or dialog of this process with the given caption, on a thread of its
// own: waits for it, reads its caption and text, and presses button. The test thread meanwhile
// sits in the box's modal loop; another box that nobody answers there is cancelled after 10 s.
class BoxAnswerer {
public:
    BoxAnswerer(const std::string& caption, int button);
    ~BoxAnswerer();
    // Waits for the answer (up to 10 s); true when the box was seen. A box that had to be
    // cancelled fails the test.
    bool wait();
    std::string caption;
    std::string text;
    int button;
    bool seen = false;
    std::atomic<bool> finished{false}; // the test thread is back
    std::string unanswered;            // the text of the box cancelled

private:
    HANDLE thread;
};

// A hidden pie window whose client area is size pixels square, and a white bitmap of that size
// selected into a memory context to paint the chart into.
struct PieCanvas {
    HWND window = nullptr;
    HDC memory = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ oldBitmap = nullptr;
    explicit PieCanvas(int size);
    ~PieCanvas();
    // The colour of a device pixel, after a paint has set the chart's mapping.
    COLORREF pixel(int x, int y);
};
