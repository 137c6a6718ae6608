#include "model/scan.h"

#include "app/mainwindow.h"
#include "app/treeview.h"
#include "model/sizetree.h"
#include "model/survey.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

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

HANDLE openListing(const DirNode* node, WIN32_FIND_DATAA& entry) {
    return findFirstEntry(pathOf(node) + "*", entry);
}

bool isDirectory(const WIN32_FIND_DATAA& entry) {
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The status bar names the directory being read. A walk enters thousands of directories a
// second, and each text makes the user interface repaint the bar, which under Wine costs about
// a millisecond of a shared CPU; so a name is posted only when the last one has stood for a
// moment, and the walk's last directory is always posted at its end, where it stays.
struct StatusTicker {
    static constexpr DWORD interval = 50; // milliseconds: twenty texts a second are still read as motion
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
        // Posted so the scan never waits for the user interface; the node owns the text.
        PostMessageA(statusBar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(node->name.c_str()));
        posted = true;
        unposted = nullptr;
    }
};

// Creates the node, gives it its tree item and names it in the status bar.
DirNode* enterDirectory(const std::string& name, DirNode* parent, DriveSurvey* survey, StatusTicker& status) {
    DirNode* node = new DirNode;
    node->name = name;
    node->parent = parent;
    node->survey = survey;
    node->treeItem = insertDirItem(parent ? parent->treeItem : nullptr, node->name.c_str(), node);
    status.entered(node);
    return node;
}

// The directory is read completely: its total is final and its children are put in order. The
// tree view is asked to sort only when the listing order was not already largest first: each
// request is a round trip to the user-interface thread, and most directories have no or one
// subdirectory. Items already in order stay in listing order, ties included, as in children.
void finishDirectory(DirNode* node) {
    node->totalClusters += node->ownClusters;
    auto larger = [](const DirNode* a, const DirNode* b) { return a->totalClusters > b->totalClusters; };
    if (std::is_sorted(node->children.items.begin(), node->children.items.end(), larger))
        return;
    sortBySize(node->children);
    TVSORTCB sort = {};
    sort.hParent = node->treeItem;
    sort.lpfnCompare = compareBySize;
    SendMessageA(DirTreeView, TVM_SORTCHILDRENCB, 1, reinterpret_cast<LPARAM>(&sort));
}

void adoptChild(DirNode* parent, DirNode* child) {
    appendUnsorted(parent->children, child);
    parent->totalClusters += child->totalClusters;
}

// The listing of a directory is opened by the names as the file system spells them, not by the
// shown names of pathOf: a shown name may differ in case, and a case-sensitive file system (a
// Linux folder under Wine) resolves such a name only by searching the parent directory, once for
// every subdirectory, which makes a wide folder cost the square of its size.
struct Level {
    DirNode* node;
    HANDLE listing;
    std::string name; // as listed; for the walk's first directory its whole path
};

// The path of a child of the innermost level, as listed, ending in a backslash.
std::string listedPath(const std::vector<Level>& levels, const char* child) {
    std::string path;
    for (const Level& level : levels) {
        path += level.name;
        if (&level != &levels.front())
            path += '\\';
    }
    return path + child + '\\';
}

} // namespace

HANDLE findFirstEntry(const std::string& pattern, WIN32_FIND_DATAA& entry) {
    if (pattern.size() < MAX_PATH)
        return FindFirstFileA(pattern.c_str(), &entry);
    // The ...A functions stop at MAX_PATH characters; beyond it only the wide function with the
    // "\\?\" prefix reaches. Its handle then goes on with FindNextFileA like any other.
    int length = MultiByteToWideChar(CP_ACP, 0, pattern.c_str(), -1, nullptr, 0);
    if (length <= 0)
        return INVALID_HANDLE_VALUE;
    std::wstring wide = L"\\\\?\\";
    size_t prefix = wide.size();
    wide.resize(prefix + static_cast<size_t>(length));
    MultiByteToWideChar(CP_ACP, 0, pattern.c_str(), -1, &wide[prefix], length);
    WIN32_FIND_DATAW found;
    HANDLE listing = FindFirstFileW(wide.c_str(), &found);
    if (listing == INVALID_HANDLE_VALUE)
        return listing;
    entry.dwFileAttributes = found.dwFileAttributes;
    entry.ftCreationTime = found.ftCreationTime;
    entry.ftLastAccessTime = found.ftLastAccessTime;
    entry.ftLastWriteTime = found.ftLastWriteTime;
    entry.nFileSizeHigh = found.nFileSizeHigh;
    entry.nFileSizeLow = found.nFileSizeLow;
    entry.dwReserved0 = found.dwReserved0;
    entry.dwReserved1 = found.dwReserved1;
    WideCharToMultiByte(CP_ACP, 0, found.cFileName, -1, entry.cFileName, sizeof entry.cFileName, nullptr,
                        nullptr);
    WideCharToMultiByte(CP_ACP, 0, found.cAlternateFileName, -1, entry.cAlternateFileName,
                        sizeof entry.cAlternateFileName, nullptr, nullptr);
    return listing;
}

bool isLinkEntry(const WIN32_FIND_DATAA& entry) {
    return (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && !isDataTag(entry.dwReserved0);
}

uint64_t clustersFor(const DriveSurvey* survey, DWORD sizeLow, DWORD sizeHigh) {
    uint64_t size = (static_cast<uint64_t>(sizeHigh) << 32) | sizeLow;
    uint64_t clusterSize = survey->clusterSize;
    return size / clusterSize + (size % clusterSize != 0 ? 1 : 0);
}

const char* displayName(WIN32_FIND_DATAA& entry) {
    char* name = entry.cFileName;
    if (entry.cAlternateFileName[0] != '\0')
        return name;
    bool ascii = true;
    for (const char* c = name; *c; ++c)
        ascii = ascii && static_cast<unsigned char>(*c) < 0x80;
    if (ascii) {
        CharLowerA(name);
        CharUpperBuffA(name, 1);
        return name;
    }
    // A character outside ASCII may take several bytes, and changing the case of one byte of it
    // would break the name; change whole characters in UTF-16 instead.
    WCHAR wide[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, name, -1, wide, MAX_PATH) <= 0)
        return name;
    CharLowerW(wide);
    if (!IS_HIGH_SURROGATE(wide[0]))
        CharUpperBuffW(wide, 1);
    char narrow[MAX_PATH];
    int length = WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof narrow, nullptr, nullptr);
    if (length > 0)
        std::memcpy(name, narrow, static_cast<size_t>(length));
    return name;
}

int CALLBACK compareBySize(LPARAM a, LPARAM b, LPARAM) {
    uint64_t sizeA = reinterpret_cast<const DirNode*>(a)->totalClusters;
    uint64_t sizeB = reinterpret_cast<const DirNode*>(b)->totalClusters;
    return sizeA > sizeB ? -1 : sizeA < sizeB ? 1 : 0;
}

// Depth first with an explicit stack of open listings instead of recursion, so that the deepest
// tree a file system allows is walked on a small thread stack; the order of work is that of the
// recursive walk.
DirNode* scanDirectory(const std::string& name, DirNode* parent, DriveSurvey* survey) {
    WIN32_FIND_DATAA entry;
    std::vector<Level> levels;
    StatusTicker status;
    DirNode* top = enterDirectory(name, parent, survey, status);
    std::string topPath = pathOf(top);
    levels.push_back({top, findFirstEntry(topPath + "*", entry), topPath});
    bool haveEntry = levels.back().listing != INVALID_HANDLE_VALUE;
    for (;;) {
        Level& level = levels.back();
        if (haveEntry) {
            if (!isDirectory(entry)) {
                level.node->ownClusters += clustersFor(survey, entry.nFileSizeLow, entry.nFileSizeHigh);
            } else if (entry.cFileName[0] != '.') {
                bool link = isLinkEntry(entry);
                std::string listedName = entry.cFileName;
                DirNode* child = enterDirectory(displayName(entry), level.node, survey, status);
                if (link) {
                    child->isLink = true;
                    finishDirectory(child);
                    adoptChild(level.node, child);
                } else {
                    HANDLE listing = findFirstEntry(listedPath(levels, listedName.c_str()) + "*", entry);
                    levels.push_back({child, listing, std::move(listedName)});
                    haveEntry = listing != INVALID_HANDLE_VALUE;
                    continue;
                }
            }
            haveEntry = FindNextFileA(level.listing, &entry) != FALSE;
            continue;
        }
        if (level.listing != INVALID_HANDLE_VALUE)
            FindClose(level.listing);
        DirNode* done = level.node;
        finishDirectory(done);
        levels.pop_back();
        if (levels.empty()) {
            status.finished();
            return done;
        }
        adoptChild(levels.back().node, done);
        haveEntry = FindNextFileA(levels.back().listing, &entry) != FALSE;
    }
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
        return;
    }
    WIN32_FIND_DATAA entry;
    HANDLE listing = openListing(node, entry);
    if (listing == INVALID_HANDLE_VALUE)
        return;
    do {
        if (isDirectory(entry))
            continue;
        FileEntry* file = new FileEntry;
        file->name = displayName(entry);
        file->clusters = clustersFor(node->survey, entry.nFileSizeLow, entry.nFileSizeHigh);
        appendUnsorted(*node->files, file);
    } while (FindNextFileA(listing, &entry));
    FindClose(listing);
    sortBySize(*node->files);
    node->filesListed = true;
}
