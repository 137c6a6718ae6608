#include "model/scan.h"

#include "model/filetable.h"
#include "model/links.h"
#include "model/listing.h"
#include "model/mounts.h"
#include "model/names.h"
#include "model/native.h"
#include "model/readahead.h"
#include "model/scansink.h"
#include "model/sizetree.h"
#include "model/survey.h"

#include <algorithm>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

// The status bar names the directory being read. A walk enters thousands of directories a
// second, and each text makes the user interface repaint the bar, which under Wine costs about
// a millisecond of a shared CPU; so a name is posted only when the last one has stood for a
// moment, and the walk's last directory is always posted at its end, where it stays.
struct StatusTicker {
    static constexpr DWORD interval = 50; // milliseconds: twenty texts a second are still read as motion
    ScanSink& sink;
    DWORD lastPost = 0;
    bool posted = false;
    const DirNode* unposted = nullptr;

    void entered(const DirNode* node) {
        DWORD now = GetTickCount();
        if (posted && now - lastPost < interval) {
            unposted = node;
            return;
        }
        post(node);
        lastPost = now;
    }
    void finished() {
        if (unposted)
            post(unposted);
    }
    void post(const DirNode* node) {
        // The scan never waits for the text to be shown; the node owns it.
        sink.showStatus(node->name.c_str());
        posted = true;
        unposted = nullptr;
    }
};

// Creates the node, gives it its tree item and names it in the status bar.
DirNode* enterDirectory(std::string name, DirNode* parent, DriveSurvey* survey, StatusTicker& status,
                        ScanCosts& costs) {
    DirNode* node = new DirNode;
    node->name = std::move(name);
    node->parent = parent;
    node->survey = survey;
    const int64_t start = ticksNow();
    node->treeItem = status.sink.insertItem(node);
    costs.insertSends += ticksNow() - start;
    ++costs.folders;
    status.entered(node);
    return node;
}

// Puts the node's children in order, largest first. Their items are sorted only when they were not
// in order already: each sort is a round trip to the user-interface thread, and most directories
// have no or one subdirectory. Items already in order stay in listing order, ties included, as in
// children.
void sortChildren(DirNode* node, ScanSink& sink, ScanCosts& costs) {
    auto larger = [](const DirNode* a, const DirNode* b) { return a->totalClusters > b->totalClusters; };
    if (std::is_sorted(node->children.items.begin(), node->children.items.end(), larger))
        return;
    sortBySize(node->children);
    const int64_t start = ticksNow();
    sink.sortChildren(node);
    costs.sortSends += ticksNow() - start;
    ++costs.sorts;
}

// The directory is read completely: its total is final and its children are put in order.
void finishDirectory(DirNode* node, ScanSink& sink, ScanCosts& costs) {
    node->totalClusters += node->ownClusters;
    sortChildren(node, sink, costs);
}

void adoptChild(DirNode* parent, DirNode* child) {
    appendUnsorted(parent->children, child);
    parent->totalClusters += child->totalClusters;
}

// The walk counted each name where it is listed, and took the folder's files' numbers with its
// listing: they are logged under the folder's node.
void logNames(NameLog& log, DirNode* node, const FolderListing* listing) {
    for (const FileMark& mark : listing->marks)
        logName(log, mark.id, node, mark.clusters);
}

// Puts each level whose totals changed in order again, in the model and on the screen.
void sortAgain(const std::vector<DirNode*>& levels, ScanSink& sink, ScanCosts& costs) {
    for (DirNode* node : levels)
        sortChildren(node, sink, costs);
}

constexpr DWORD recallOnOpen = 0x40000;        // FILE_ATTRIBUTE_RECALL_ON_OPEN
constexpr DWORD recallOnDataAccess = 0x400000; // FILE_ATTRIBUTE_RECALL_ON_DATA_ACCESS
constexpr DWORD wofTag = 0x80000017;           // IO_REPARSE_TAG_WOF: Windows' CompactOS

// The bytes a CompactOS file's data takes: Windows keeps it compressed in a stream of its own,
// which the system reports as the file's compressed size; opening such a file reads nothing.
bool compactSize(const std::string& folder, const ListedEntry& entry, uint64_t& bytes) {
    typedef DWORD(WINAPI * CompressedSize)(LPCWSTR, LPDWORD);
    static const CompressedSize query = reinterpret_cast<CompressedSize>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetCompressedFileSizeW")));
    const std::wstring path = diskPath(folder + entry.name);
    if (!query || path.empty())
        return false;
    DWORD high = 0;
    const DWORD low = query(path.c_str(), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR)
        return false;
    bytes = (static_cast<uint64_t>(high) << 32) | low;
    return true;
}

// Helper threads reading listings ahead of the walk. Under Wine the walk alone keeps one core
// busy with listings and the other waiting on the tree view; with two helpers the listings are
// ready when the walk needs them (three were no faster on two cores, one was not enough).
constexpr int readAheadHelpers = 2;

struct Level {
    DirNode* node;
    FolderListing* listing; // read by the names the file system gave, never by the shown ones
    size_t next;            // the next subfolder to enter
};

} // namespace

ScanCosts lastScanCosts;

// Reparse tags whose folders hold real data: hierarchical storage, single-instance storage, WIM
// and WOF backed files, deduplication, OneDrive, projected file systems and the cloud-file family.
bool isDataTag(DWORD tag) {
    switch (tag) {
    case 0xC0000004: // HSM
    case 0x80000006: // HSM2
    case 0x80000007: // SIS
    case 0x80000008: // WIM
    case 0x80000013: // DEDUP
    case 0x80000017: // WOF
    case 0x80000021: // ONEDRIVE
    case 0x9000001C: // PROJFS
        return true;
    default:
        return (tag & 0xFFFF0FFF) == 0x9000001A; // CLOUD, CLOUD_1 ... CLOUD_F
    }
}

bool isLinkEntry(const ListedEntry& entry) {
    return isReparsePoint(entry) && !isDataTag(entry.reparseTag);
}

uint64_t clustersOnDisk(const DriveSurvey* survey, const ListedEntry& entry, const std::string& folder) {
    // NTFS lists a file whose data it keeps in the file record with that data's length rounded
    // up to 8 bytes as its allocation, compressed or not, and any other with whole clusters. Wine
    // lists the host's blocks, which tell nothing of records: there every file counts its length.
    const NativeCalls* nt = nativeCalls();
    if (entry.size > 0 && entry.allocated == ((entry.size + 7) & ~7ull) &&
        entry.allocated < survey->volumeClusterSize && nt && !nt->handlesFollowLinks)
        return 0;
    // Listed with the clusters the volume gives them; an online-only file is never opened, since
    // opening it downloads it.
    if (entry.attributes & (FILE_ATTRIBUTE_SPARSE_FILE | FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_OFFLINE |
                            recallOnOpen | recallOnDataAccess))
        return clustersFor(survey, entry.allocated);
    uint64_t bytes;
    if ((entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) && entry.reparseTag == wofTag &&
        compactSize(folder, entry, bytes))
        return clustersFor(survey, bytes);
    return clustersFor(survey, entry.size);
}

uint64_t clustersFor(const DriveSurvey* survey, DWORD sizeLow, DWORD sizeHigh) {
    return clustersFor(survey, (static_cast<uint64_t>(sizeHigh) << 32) | sizeLow);
}

uint64_t clustersFor(const DriveSurvey* survey, uint64_t size) {
    uint64_t clusterSize = survey->clusterSize;
    return size / clusterSize + (size % clusterSize != 0 ? 1 : 0);
}

std::string displayName(const ListedEntry& entry) {
    return entry.shown.empty() ? displayName(entry.name, entry.hasShortName) : entry.shown;
}

std::string displayName(const std::string& listed, bool hasShortName) {
    std::string name = listed;
    bool ascii = true;
    for (char c : name)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) {
        if (!hasShortName && !name.empty()) {
            CharLowerA(&name[0]);
            CharUpperBuffA(&name[0], 1);
        }
        return name;
    }
    // Windows 95 and 98 list names in the program's code page, and have USER32's wide functions at
    // most as stubs: there the code page's own rules serve.
    if (!wideRoute()) {
        if (!hasShortName) {
            CharLowerBuffA(&name[0], static_cast<DWORD>(name.size()));
            CharUpperBuffA(&name[0], name.size() > 1 && IsDBCSLeadByte(static_cast<BYTE>(name[0])) ? 2 : 1);
        }
        return name;
    }
    if (hasShortName)
        return shownText(name);
    // A character outside ASCII may take several bytes, and changing the case of one byte of it
    // would break the name; change whole characters in UTF-16 instead.
    typedef DWORD(WINAPI * ChangeCase)(LPWSTR, DWORD);
    static HMODULE user32 = GetModuleHandleA("user32.dll");
    static const ChangeCase lower =
        reinterpret_cast<ChangeCase>(reinterpret_cast<void*>(GetProcAddress(user32, "CharLowerBuffW")));
    static const ChangeCase upper =
        reinterpret_cast<ChangeCase>(reinterpret_cast<void*>(GetProcAddress(user32, "CharUpperBuffW")));
    std::wstring wide = wideOf(name);
    if (wide.empty() || !lower || !upper)
        return shownText(name);
    lower(&wide[0], static_cast<DWORD>(wide.size()));
    if (!IS_HIGH_SURROGATE(wide[0]))
        upper(&wide[0], 1);
    return shownText(wide.data(), wide.size());
}

int CALLBACK compareBySize(LPARAM a, LPARAM b, LPARAM) {
    uint64_t sizeA = reinterpret_cast<const DirNode*>(a)->totalClusters;
    uint64_t sizeB = reinterpret_cast<const DirNode*>(b)->totalClusters;
    return sizeA > sizeB ? -1 : sizeA < sizeB ? 1 : 0;
}

// Depth first with an explicit stack of levels instead of recursion, so that the deepest tree a
// file system allows is walked on a small thread stack; the order of work, and of the requests to
// the tree view, is that of the recursive walk. Each folder's listing is taken whole, most often
// read ahead by a helper.
DirNode* scanDirectory(const std::string& name, DirNode* parent, DriveSurvey* survey, ScanSink& sink,
                       const std::string& listed, FileTable* table, NameLog* log) {
    const int64_t start = ticksNow();
    ScanCosts costs;
    NameLog ownLog;
    NameLog& names = log ? *log : ownLog;
    StatusTicker status{sink};
    ReadAhead ahead;
    // The file table is in memory: nothing to read ahead.
    ahead.table = table;
    // Read once, before the helpers that consult it start; the file table shows no Linux mounts.
    const DriveMounts mounts = table ? DriveMounts() : mountsInDrive(survey->rootPath);
    ahead.mounts = &mounts;
    startReadAhead(ahead, survey, table ? 0 : readAheadHelpers, costs);
    DirNode* top = enterDirectory(name, parent, survey, status, costs);
    if (parent && !listed.empty())
        setListedName(top, listed);
    uint32_t record = UINT32_MAX;
    if (table && !(table->records[table->root].flags & recordWalk))
        record = table->root;
    std::vector<Level> levels{{top, takeRoot(ahead, listedPathOf(top), record), 0}};
    top->ownClusters += levels.back().listing->ownClusters;
    logNames(names, top, levels.back().listing);
    for (;;) {
        Level& level = levels.back();
        FolderListing* listing = level.listing;
        if (level.next < listing->folders.size()) {
            const size_t index = level.next++;
            const ListedFolder& folder = listing->folders[index];
            DirNode* child = enterDirectory(shownName(listing, index), level.node, survey, status, costs);
            setListedName(child, listedName(listing, index));
            if (!folder.link) {
                FolderListing* inner = takeListing(ahead, listing, index);
                child->ownClusters += inner->ownClusters;
                logNames(names, child, inner);
                levels.push_back({child, inner, 0});
                continue;
            }
            child->isLink = true;
            finishDirectory(child, sink, costs);
            adoptChild(level.node, child);
            continue;
        }
        DirNode* done = level.node;
        retireListing(ahead, listing);
        finishDirectory(done, sink, costs);
        levels.pop_back();
        if (levels.empty()) {
            status.finished();
            stopReadAhead(ahead);
            costs.namesLogged = names.count;
            costs.logBytesPerName = logBytesPerName(names);
            if (!log) {
                std::vector<DirNode*> reorder;
                settleNames(survey, names, reorder);
                sortAgain(reorder, sink, costs);
            }
            costs.walk = ticksNow() - start;
            lastScanCosts = costs;
            return done;
        }
        adoptChild(levels.back().node, done);
    }
}

DirNode* rereadDirectory(DirNode* node, ScanSink& sink) {
    DirNode* dir = node->parent;
    DriveSurvey* survey = node->survey;
    const std::string name = node->name, listed = listedNameOf(node);
    ListedEntry entry;
    Listing listing;
    const bool there = openListing(listing, listedPathOf(node), entry);
    const DWORD error = there ? ERROR_SUCCESS : GetLastError();
    closeListing(listing);
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        // The items carry the nodes, so they go first; the order of the rest holds.
        sink.removeItems(node);
        removeSubdirectory(dir, node);
        return nullptr;
    }
    // Not listed now is not empty: the node stays as it was.
    if (!there)
        return node;
    // The files the folder shares with others are settled again with what is in it now; the drive
    // gains what the model no longer counts.
    DirNode* root = rootOf(dir);
    const uint64_t usedBefore = root->totalClusters, freeBefore = survey->freeClusters;
    NameLog log;
    unlinkSubtree(node, &log);
    DirNode* fresh = scanDirectory(name, dir, survey, sink, listed, nullptr, &log);
    sink.removeItems(node);
    replaceSubdirectory(dir, node, fresh);
    std::vector<DirNode*> reorder;
    settleNames(survey, log, reorder);
    ScanCosts costs;
    sortAgain(reorder, sink, costs);
    // The fresh item came after the parent's last, whatever its total: the level is always sorted.
    sortBySize(dir->children);
    sink.sortChildren(dir);
    const uint64_t usedAfter = root->totalClusters;
    survey->freeClusters = usedAfter <= usedBefore
                               ? std::min(survey->totalClusters, freeBefore + (usedBefore - usedAfter))
                               : freeBefore - std::min(freeBefore, usedAfter - usedBefore);
    return fresh;
}

void listFiles(DirNode* node) {
    if (node->filesListed)
        return;
    if (!node->files)
        node->files = new SizeSortedArray<FileEntry>;
    // A link's target belongs elsewhere: listing it would show, and offer to delete, files that
    // its total does not contain.
    if (node->isLink) {
        node->filesListed = true;
        ++treeVersion;
        return;
    }
    ListedEntry entry;
    Listing listing;
    const DriveSurvey* survey = node->survey;
    listing.wantIds = survey->fileIds;
    const std::string folder = listedPathOf(node);
    if (!openListing(listing, folder, entry))
        return;
    // A file of several names shows its clusters under its first name listed in the folder where
    // it counts, and 0 under every other.
    std::unordered_set<uint64_t> shown;
    do {
        if (isDirectory(entry) || !listableName(entry.name))
            continue;
        FileEntry* file = new FileEntry;
        file->name = displayName(entry);
        file->fileId = entry.fileId & survey->fileIdMask;
        size_t first, last;
        if (file->fileId && !survey->linkedNames.empty() &&
            (linkedNamesOf(survey, file->fileId, first, last), first != last)) {
            if (countingFolder(survey, file->fileId) == node && shown.insert(file->fileId).second)
                file->clusters = survey->linkedNames[first].clusters;
        } else {
            file->clusters = clustersOnDisk(survey, entry, folder);
        }
        setListedName(node, file, entry.name);
        appendUnsorted(*node->files, file);
    } while (nextEntry(listing, entry));
    closeListing(listing);
    sortBySize(*node->files);
    node->filesListed = true;
    ++treeVersion;
}
