// The directory scan: fills the size tree depth first, counting every file in whole clusters.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

struct DirNode;
struct DriveSurvey;
struct FileTable;
struct ListedEntry;
struct NameLog;
class ScanSink;

// Creates and scans the node of directory name under parent (null for a drive's root, whose name
// is the root path); listed is the name the file system gives it, where that is not the name
// shown.
// Shows each folder through the sink as it goes. With the drive's file table the folders
// are taken from it instead of being listed, name the table's root. A file of several names counts
// once, in the folder of its names (see model/links.h): the names found are settled at the end,
// and the levels whose order that changed sorted again; or, with log, logged there for the caller
// to settle.
DirNode* scanDirectory(const std::string& name, DirNode* parent, DriveSurvey* survey, ScanSink& sink,
                       const std::string& listed = std::string(), FileTable* table = nullptr,
                       NameLog* log = nullptr);

// Where a scan's time went, for the benchmarks, in performance-counter ticks: the walk's whole
// time, and of it the time spent sending items and sorts to the tree view, waiting for a helper's
// listing and reading listings no helper had read; and the helpers' reading, all together.
// With the drive's file table: the time it took to read and index, the bytes the index held and
// the names of files it counted.
struct ScanCosts {
    int64_t walk = 0, insertSends = 0, sortSends = 0, listingWaits = 0, ownListings = 0, helperBusy = 0;
    uint32_t folders = 0, sorts = 0, waits = 0, ownListed = 0, helperListed = 0;
    uint64_t namesLogged = 0; // names of files with a number, and the bytes each took while logged
    double logBytesPerName = 0;
    int64_t tableRead = 0;
    uint64_t tableIndexBytes = 0, tableFiles = 0, tableBytes = 0;
};
// Those of the last scanDirectory to end.
extern ScanCosts lastScanCosts;

inline int64_t ticksNow() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

// Reads the node's directory from the disk again, on the user-interface thread, after something in
// it changed. A fresh subtree takes the node's place among its parent's children, which are sorted
// again; the totals above it and the drive's free space follow; the fresh node is returned. Its
// items are made as a scan makes them, after the parent's last; then the old node's items go and
// the old node is destroyed, and the parent's items are sorted as its children are. When the
// directory is gone its items go, its node is removed and destroyed, and the result is null; when
// it cannot be listed, nothing changes and the result is the node itself.
DirNode* rereadDirectory(DirNode* node, ScanSink& sink);

// Reads the files directly in the node's directory into node->files, once.
void listFiles(DirNode* node);

// The clusters a listed file takes on the drive: its length rounded up to whole clusters, but
// for data the volume keeps in the file's record (none), and for sparse, compressed, offline and
// cloud files and those of Windows' CompactOS, the bytes the volume really gives them, rounded up.
// folder is the path as listed of the folder that lists it.
uint64_t clustersOnDisk(const DriveSurvey* survey, const ListedEntry& entry, const std::string& folder);

// Clusters taken on disk by a file of sizeHigh * 2^32 + sizeLow bytes.
uint64_t clustersFor(const DriveSurvey* survey, DWORD sizeLow, DWORD sizeHigh);
uint64_t clustersFor(const DriveSurvey* survey, uint64_t size);

// The name to show for a listed entry: one that has no separate short form is shown as
// "Readme.txt"; others keep their case.
std::string displayName(const ListedEntry& entry);
std::string displayName(const std::string& listed, bool hasShortName);

// Tree-view sort callback: larger totals first.
int CALLBACK compareBySize(LPARAM a, LPARAM b, LPARAM unused);

// Reparse tags whose folders hold real data, walked and deleted as ordinary folders.
bool isDataTag(DWORD tag);
// Whether a directory entry is a link that must not be descended into: any reparse point except
// those that hold a real folder's data on this volume or in the cloud.
bool isLinkEntry(const ListedEntry& entry);
