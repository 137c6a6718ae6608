// Times the scan of an NTFS volume through its file table against its two floors: the table's
// read alone, and the scan's tree-view requests alone (its item inserts and its sorts, sent from a
// second thread with no listing at all); or, given a drive that maps the same volume only as a
// folder, the scan of it by walking. A scan thread fills a real tree view and status bar while this
// thread pumps messages, as in the program. Each is timed in a process of its own: a tree view
// that has held and freed 20,000 items leaves Wine's heap slower for the next.
#include "bench/scanharness.h"
#include "model/filetable.h"
#include "model/scan.h"
#include "model/scanthread.h"
#include "model/sizetree.h"
#include "model/survey.h"

#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

bool scanSelected = false;
WNDPROC treeProc;
std::set<HTREEITEM> sortedItems; // the items whose children the scan had sorted

LRESULT CALLBACK treeLogged(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == TVM_SORTCHILDRENCB)
        sortedItems.insert(reinterpret_cast<const TVSORTCB*>(lParam)->hParent);
    return CallWindowProcA(treeProc, window, message, wParam, lParam);
}

LRESULT CALLBACK frameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == TVN_SELCHANGEDA)
        scanSelected = true;
    return DefWindowProcA(window, message, wParam, lParam);
}

struct TableRead {
    DriveSurvey survey;
    FileTable* table = nullptr;
};

DWORD WINAPI tableMain(void* param) {
    TableRead* read = static_cast<TableRead*>(param);
    read->table = readFileTable(&read->survey, screenSink());
    return 0;
}

// What a scan sent, folder by folder in its order: the folder's depth, whether the scan sorted
// its subfolders' items, and its name.
struct Sent {
    size_t depth;
    bool sorted;
    std::string name;
};

void record(const DirNode* node, size_t depth, std::vector<Sent>& sent) {
    sent.push_back({depth, sortedItems.count(node->treeItem) != 0, node->name});
    for (const DirNode* child : node->children.items)
        record(child, depth + 1, sent);
}

// Each folder's item, and once its subfolders are in, the sort of their items where the scan
// sorted them; the sort compares nothing, as no item carries a node.
int CALLBACK compareNothing(LPARAM, LPARAM, LPARAM) {
    return 0;
}

DWORD WINAPI sendsMain(void* param) {
    const std::vector<Sent>& sent = *static_cast<const std::vector<Sent>*>(param);
    struct Open {
        HTREEITEM item;
        bool sorted;
    };
    std::vector<Open> open;
    auto close = [&](size_t depth) {
        while (open.size() > depth) {
            if (open.back().sorted) {
                TVSORTCB sort = {};
                sort.hParent = open.back().item;
                sort.lpfnCompare = compareNothing;
                SendMessageA(DirTreeView, TVM_SORTCHILDRENCB, 1, reinterpret_cast<LPARAM>(&sort));
            }
            open.pop_back();
        }
    };
    for (const Sent& folder : sent) {
        close(folder.depth);
        HTREEITEM item = insertDirItem(open.empty() ? nullptr : open.back().item, folder.name.c_str(), nullptr);
        open.push_back({item, folder.sorted});
    }
    close(0);
    return 0;
}

double scanDrive(int drive) {
    scanSelected = false;
    const double start = nowMs();
    ScanRequest request;
    request.driveIndex = drive;
    startScan(request, screenSink());
    MSG msg;
    while (!scanSelected && GetMessageA(&msg, nullptr, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return nowMs() - start;
}

} // namespace

// usage: ntfsbench table X FILE   the table's read and the scan through it; what the scan sent
//                                  goes to FILE
//        ntfsbench sends FILE     those requests alone
//        ntfsbench walk Y         the scan of a drive walked
int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: ntfsbench table DRIVELETTER FILE | sends FILE | walk DRIVELETTER\n");
        return 2;
    }
    const bool table = std::strcmp(argv[1], "table") == 0;
    const int drive = (argv[2][0] & ~0x20) - 'A';

    HWND frame = makeScanWindows("NtfsBenchFrame", "file table benchmark", frameProc);
    treeProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(DirTreeView, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(treeLogged)));

    PROCESS_MEMORY_COUNTERS before = {};
    before.cb = sizeof before;
    GetProcessMemoryInfo(GetCurrentProcess(), &before, sizeof before);
    if (std::strcmp(argv[1], "sends") == 0) {
        std::vector<Sent> sent;
        std::ifstream file(argv[2]);
        Sent folder;
        while (file >> folder.depth >> folder.sorted && file.get() && std::getline(file, folder.name))
            sent.push_back(folder);
        // sends_ms items sorts
        size_t sorts = 0;
        for (const Sent& each : sent)
            sorts += each.sorted;
        std::printf("%.0f %zu %zu\n", timedThread(sendsMain, &sent), sent.size(), sorts);
        return 0;
    }
    if (!table) {
        const double walkMs = scanDrive(drive);
        // walk_ms folders names_logged log_bytes_per_name
        std::printf("%.0f %u %llu %.1f\n", walkMs, lastScanCosts.folders,
                    static_cast<unsigned long long>(lastScanCosts.namesLogged), lastScanCosts.logBytesPerName);
        freeDriveTable();
        return 0;
    }

    // The table alone, twice: the first read brings the volume into the system's cache, as the
    // scan's own read after it finds it.
    TableRead read;
    read.survey.rootPath = std::string(1, static_cast<char>('A' + drive)) + ":\\";
    read.survey.driveIndex = drive;
    read.survey.clusterSize = 4096;
    timedThread(tableMain, &read);
    freeFileTable(read.table);
    const double readMs = timedThread(tableMain, &read);
    if (!read.table) {
        std::fprintf(stderr, "the file table of %s cannot be read\n", read.survey.rootPath.c_str());
        return 1;
    }
    const size_t files = read.table->files, indexBytes = footprintOf(*read.table);
    freeFileTable(read.table);

    const double scanMs = scanDrive(drive);
    PROCESS_MEMORY_COUNTERS after = {};
    after.cb = sizeof after;
    GetProcessMemoryInfo(GetCurrentProcess(), &after, sizeof after);
    const ScanCosts costs = lastScanCosts;
    std::vector<Sent> sent;
    record(surveyInSlot(drive)->root, 0, sent);
    std::ofstream file(argc > 3 ? argv[3] : "sent.txt");
    for (const Sent& folder : sent)
        file << folder.depth << ' ' << folder.sorted << ' ' << folder.name << '\n';

    // read_ms scan_ms scan_table_ms folders files index_bytes peak_working_set table_bytes
    // names_logged (those of files of several names) log_bytes_per_name
    std::printf("%.0f %.0f %.0f %u %zu %zu %zu %llu %llu %.1f\n", readMs, scanMs,
                msOf(costs.tableRead),
                costs.folders, files, indexBytes, static_cast<size_t>(after.PeakWorkingSetSize - before.WorkingSetSize),
                static_cast<unsigned long long>(costs.tableBytes), static_cast<unsigned long long>(costs.namesLogged),
                costs.logBytesPerName);
    freeDriveTable();
    DestroyWindow(frame);
    return 0;
}
