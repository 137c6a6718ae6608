// Times the scan of a whole drive as the program runs it (a scan thread filling a real tree view
// and status bar while this thread pumps messages) against a bare recursive FindFirstFileA walk
// of the same drive, and reports memory and the user interface's worst delay during the scan.
// It also says where the scan's time went: on the scan thread (sending items and sorts, waiting
// for listings, its own work), on this thread (handling those items, sorts, status texts and
// paints) and on the helpers; and it times two floors: a walk with the scan's own directory calls
// on one thread without a tree view, and as many item inserts, sent from a second thread, as the
// scan made, with no listing at all.
#include "bench/scanharness.h"
#include "model/listing.h"
#include "model/readahead.h"
#include "model/scan.h"
#include "model/scanthread.h"
#include "model/sizetree.h"
#include "model/survey.h"

#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr UINT tickMessage = WM_APP + 1;
constexpr int tickSlots = 1 << 16;

LONGLONG tickPosted[tickSlots];
double worstDelayMs = 0;
bool scanSelected = false;
// Ticks still queued when the scan ends are handled after it, behind the benchmark's own work
// (the deletion of 20,000 tree items takes about 100 ms): they say nothing of the scan.
bool scanning = false;
HANDLE tickerStop;

// Time this thread spent handling the tree view's and status bar's messages during the scan, in
// performance-counter ticks.
enum UiWork { UiInsert, UiSort, UiStatus, UiPaint, UiWorkKinds };
LONGLONG uiTicks[UiWorkKinds];
unsigned uiCounts[UiWorkKinds];
WNDPROC treeProc, statusProc;

LRESULT timed(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    int kind = message == TVM_INSERTITEMA                        ? UiInsert
               : message == TVM_SORTCHILDRENCB                   ? UiSort
               : message == SB_SETTEXTA                          ? UiStatus
               : message == WM_PAINT || message == WM_ERASEBKGND ? UiPaint
                                                                 : UiWorkKinds;
    if (!scanning || kind == UiWorkKinds)
        return CallWindowProcA(proc, window, message, wParam, lParam);
    const int64_t start = ticksNow();
    LRESULT result = CallWindowProcA(proc, window, message, wParam, lParam);
    uiTicks[kind] += ticksNow() - start;
    ++uiCounts[kind];
    return result;
}

LRESULT CALLBACK treeTimed(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return timed(treeProc, window, message, wParam, lParam);
}

LRESULT CALLBACK statusTimed(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return timed(statusProc, window, message, wParam, lParam);
}

LRESULT CALLBACK frameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == tickMessage) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        double late = msOf(now.QuadPart - tickPosted[wParam % tickSlots]);
        if (scanning)
            worstDelayMs = std::max(worstDelayMs, late);
        return 0;
    }
    if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == TVN_SELCHANGEDA)
        scanSelected = true;
    return DefWindowProcA(window, message, wParam, lParam);
}

// Posts a message every 10 ms; the frame measures how late each one is handled.
DWORD WINAPI tickerMain(void* frame) {
    for (WPARAM sequence = 0; WaitForSingleObject(tickerStop, 10) == WAIT_TIMEOUT; ++sequence) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        tickPosted[sequence % tickSlots] = now.QuadPart;
        PostMessageA(static_cast<HWND>(frame), tickMessage, sequence, 0);
    }
    return 0;
}

size_t bareWalk(const std::string& folder) {
    size_t directories = 1;
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA((folder + "*").c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE)
        return directories;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || std::strcmp(entry.cFileName, ".") == 0 ||
            std::strcmp(entry.cFileName, "..") == 0)
            continue;
        // A link counts as the scan counts it, a folder of its own that is never entered: one
        // that leads back to an ancestor would keep the walk going until the path limit.
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && !isDataTag(entry.dwReserved0))
            ++directories;
        else
            directories += bareWalk(folder + entry.cFileName + "\\");
    } while (FindNextFileA(listing, &entry));
    FindClose(listing);
    return directories;
}

struct Walk {
    std::string root;
    size_t directories;
};

// The same walk with the directory calls the scan makes (the system's own on Windows NT).
size_t nativeWalk(std::string& path, Listing& listing) {
    size_t directories = 1;
    ListedEntry entry;
    if (!openListing(listing, path, entry))
        return directories;
    std::vector<std::string> folders;
    do {
        if (!isDirectory(entry) || entry.name == "." || entry.name == "..")
            continue;
        if (isLinkEntry(entry))
            ++directories;
        else
            folders.push_back(entry.name);
    } while (nextEntry(listing, entry));
    closeListing(listing);
    const size_t length = path.size();
    for (const std::string& folder : folders) {
        path.append(folder).push_back('\\');
        directories += nativeWalk(path, listing);
        path.resize(length);
    }
    return directories;
}

DWORD WINAPI nativeWalkMain(void* param) {
    Walk* walk = static_cast<Walk*>(param);
    ListingRoom room;
    walk->directories = nativeWalk(walk->root, room.listing);
    return 0;
}

// The scan's tree-view requests without the scan: one item per folder of the scanned tree, in the
// scan's order, each sent from this second thread and waited for.
DWORD WINAPI insertMain(void* param) {
    const DirNode* root = static_cast<const DirNode*>(param);
    struct Pending {
        const DirNode* node;
        HTREEITEM parent;
    };
    std::vector<Pending> pending{{root, nullptr}};
    while (!pending.empty()) {
        const Pending next = pending.back();
        pending.pop_back();
        HTREEITEM item = insertDirItem(next.parent, next.node->name.c_str(), nullptr);
        for (auto it = next.node->children.items.rbegin(); it != next.node->children.items.rend(); ++it)
            pending.push_back({*it, item});
    }
    return 0;
}

// Bytes in use in every heap of the process (the C runtime keeps a heap of its own).
size_t heapInUse() {
    HANDLE heaps[256];
    DWORD count = std::min<DWORD>(GetProcessHeaps(256, heaps), 256);
    size_t busy = 0;
    for (DWORD i = 0; i < count; ++i) {
        HeapLock(heaps[i]);
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                busy += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return busy;
}

size_t countNodes(const DirNode* root, size_t& nameBytes) {
    size_t nodes = 0;
    std::vector<const DirNode*> pending{root};
    while (!pending.empty()) {
        const DirNode* node = pending.back();
        pending.pop_back();
        ++nodes;
        if (node->name.capacity() > 15) // longer names than that live on the heap
            nameBytes += node->name.capacity() + 1;
        pending.insert(pending.end(), node->children.items.begin(), node->children.items.end());
    }
    return nodes;
}

DWORD WINAPI walkMain(void* param) {
    Walk* walk = static_cast<Walk*>(param);
    walk->directories = bareWalk(walk->root);
    return 0;
}

size_t timedWalk(const std::string& root, double& elapsedMs, LPTHREAD_START_ROUTINE walker = walkMain) {
    Walk walk{root, 0};
    elapsedMs = timedThread(walker, &walk);
    return walk.directories;
}

} // namespace

// One scan and one walk per process: Wine's heap grows slow once a scan's tree has been freed,
// which would charge one run's leftovers to the next. The script runs this several times.
int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: scanbench DRIVELETTER\n");
        return 2;
    }
    const int drive = (argv[1][0] & ~0x20) - 'A';
    const std::string root = std::string(1, static_cast<char>('A' + drive)) + ":\\";

    HWND frame = makeScanWindows("ScanBenchFrame", "scan benchmark", frameProc);
    treeProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(DirTreeView, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(treeTimed)));
    statusProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(statusBar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(statusTimed)));

    double warmMs, walkMs;
    size_t directories = timedWalk(root, warmMs); // warms the caches
    size_t heapBefore = heapInUse();
    PROCESS_MEMORY_COUNTERS before = {};
    before.cb = sizeof before;
    GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before);

    tickerStop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE ticker = CreateThread(nullptr, 0, tickerMain, frame, 0, nullptr);
    double start = nowMs();
    scanning = true;
    ScanRequest request;
    request.driveIndex = drive;
    startScan(request, screenSink());
    MSG msg;
    while (!scanSelected && GetMessageA(&msg, nullptr, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    double scanMs = nowMs() - start;
    scanning = false;
    SetEvent(tickerStop);
    WaitForSingleObject(ticker, INFINITE);
    CloseHandle(ticker);

    PROCESS_MEMORY_COUNTERS after = {};
    after.cb = sizeof after;
    GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof after);
    // The model alone: the heap still in use once the tree view's items are gone.
    SendMessageA(DirTreeView, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    size_t nameBytes = 0;
    size_t nodes = countNodes(surveyInSlot(drive)->root, nameBytes);
    size_t modelHeap = heapInUse() - heapBefore - nameBytes;

    timedWalk(root, walkMs);
    double nativeMs, insertsMs;
    timedWalk(root, nativeMs, nativeWalkMain);
    insertsMs = timedThread(insertMain, surveyInSlot(drive)->root);
    SendMessageA(DirTreeView, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));

    // scan_ms walk_ms peak_working_set_per_directory model_heap_per_node worst_delay_ms directories
    // listing_peak_bytes, then the floors: native_walk_ms inserts_ms; the scan thread: walk_ms
    // insert_sends_ms sort_sends_ms listing_waits_ms own_listings_ms; helpers_busy_ms; this thread:
    // inserts_ms sorts_ms status_texts_ms paints_ms; counts: folders sorts waits own_listed
    // helper_listed; the walk before the scan, which warms the caches: warm_walk_ms; and the counts
    // of status texts and paints; the names the scan logged with their file numbers, and the
    // bytes each took in the log
    const ScanCosts& c = lastScanCosts;
    std::printf(
        "%.0f %.0f %.0f %.0f %.1f %zu %zu %.0f %.0f %.0f %.0f %.0f %.0f %.0f %.0f %.0f %.0f %.0f %.0f "
        "%u %u %u %u %u %.0f %u %u %llu %.1f\n",
        scanMs, walkMs,
        static_cast<double>(after.PeakWorkingSetSize - before.WorkingSetSize) /
            static_cast<double>(directories),
        static_cast<double>(modelHeap) / static_cast<double>(nodes), worstDelayMs, directories,
        listingPeakBytes.load(), nativeMs, insertsMs, msOf(c.walk), msOf(c.insertSends), msOf(c.sortSends),
        msOf(c.listingWaits), msOf(c.ownListings), msOf(c.helperBusy), msOf(uiTicks[UiInsert]),
        msOf(uiTicks[UiSort]), msOf(uiTicks[UiStatus]), msOf(uiTicks[UiPaint]), c.folders, c.sorts, c.waits,
        c.ownListed, c.helperListed, warmMs, uiCounts[UiStatus], uiCounts[UiPaint],
        static_cast<unsigned long long>(c.namesLogged), c.logBytesPerName);
    freeDriveTable();
    DestroyWindow(frame);
    return 0;
}
