// The size tree: one DirNode per directory of a scanned drive, with the clusters its own files
// take and the clusters of its whole subtree. Sizes are cluster counts, 64-bit because drives
// exceed 4 GB; bytes exist only for display.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct DirNode;
struct DriveSurvey;
struct FileEntry;

void destroyNode(DirNode* node);
void destroyElement(DirNode* node);
void destroyElement(FileEntry* entry);

// Changes with every change to a complete tree that a view of it must notice: a file list read, a
// file or directory removed, a tree destroyed. Written and read on the user-interface thread only.
extern uint64_t treeVersion;

// Owned records kept largest first; among equal sizes the one added first stays first.
template <class T> struct SizeSortedArray {
    std::vector<T*> items;

    SizeSortedArray() = default;
    SizeSortedArray(const SizeSortedArray&) = delete;
    SizeSortedArray& operator=(const SizeSortedArray&) = delete;
    ~SizeSortedArray() {
        for (T* item : items)
            destroyElement(item);
    }
};

// How the name the file system listed follows from the shown name, which may differ in letter
// case: the disk is reached only through the listed name, since on a case-sensitive file system
// (a Linux folder under Wine, an NTFS folder with case sensitivity on) KEEP.TXT and keep.txt are
// two files, both shown as Keep.txt. Most listed names are the shown one, or it in lower or upper
// case; only the rest are kept, in the survey's listedNames.
enum class ListedCase : uint8_t { AsShown, Lower, Upper, Apart };

struct FileEntry {
    std::string name; // as shown
    // 0 for a name of a file of several names that counts elsewhere (in a folder above, or under
    // another name listed before it).
    uint64_t clusters = 0;
    uint64_t fileId = 0; // the file's number where its listing gives one, masked as the survey's
    ListedCase listedCase = ListedCase::AsShown;
};

struct DirNode {
    SizeSortedArray<DirNode> children;
    SizeSortedArray<FileEntry>* files = nullptr; // absent until the directory is first listed
    bool filesListed = false;
    // A junction, symbolic link or mount point: counted as empty and never listed, so that no
    // file is counted twice and no walk loops back into an ancestor.
    bool isLink = false;
    ListedCase listedCase = ListedCase::AsShown;
    DirNode* parent = nullptr;
    DriveSurvey* survey = nullptr;
    std::string name; // as shown
    uint64_t ownClusters = 0;
    // Files of several names that lie in several of its subfolders and not in itself: they count
    // here, and in none of those subfolders.
    uint64_t sharedClusters = 0;
    uint64_t totalClusters = 0;
    HTREEITEM treeItem = nullptr;

    ~DirNode() { delete files; }
};

inline uint64_t sizeOf(const DirNode* node) {
    return node->totalClusters;
}
inline uint64_t sizeOf(const FileEntry* entry) {
    return entry->clusters;
}

template <class T> size_t count(const SizeSortedArray<T>& array) {
    return array.items.size();
}

template <class T> T* elementAt(const SizeSortedArray<T>& array, size_t index) {
    return array.items[index];
}

// Records are gathered with appendUnsorted while a directory is read and ordered once at its end
// with sortBySize: a stable sort gives the order of insertion one by one, in O(n log n).
template <class T> void appendUnsorted(SizeSortedArray<T>& array, T* item) {
    array.items.push_back(item);
}

template <class T> void sortBySize(SizeSortedArray<T>& array) {
    std::stable_sort(array.items.begin(), array.items.end(),
                     [](const T* a, const T* b) { return sizeOf(a) > sizeOf(b); });
}

// Index of the record itself, or -1.
template <class T> ptrdiff_t indexOf(const SizeSortedArray<T>& array, const T* item) {
    auto found = std::find(array.items.begin(), array.items.end(), item);
    return found == array.items.end() ? -1 : found - array.items.begin();
}

// Removes the record at index, shifting the later ones down, and destroys it.
template <class T> void removeAt(SizeSortedArray<T>& array, size_t index) {
    T* item = array.items[index];
    array.items.erase(array.items.begin() + static_cast<ptrdiff_t>(index));
    destroyElement(item);
}

// Paths end in a backslash; the root's path is its drive's root path ("C:\").
std::string pathOf(const DirNode* node);
// The same path in the names the file system listed: the one to reach the directory on disk.
std::string listedPathOf(const DirNode* node);
// Records the name the file system listed for a node (whose name and survey are set) or for a
// file of dir.
void setListedName(DirNode* node, const std::string& listed);
void setListedName(const DirNode* dir, FileEntry* entry, const std::string& listed);
std::string listedNameOf(const DirNode* node);
std::string listedNameOf(const DirNode* dir, const FileEntry* entry);
DirNode* rootOf(DirNode* node);
// The node of the subtree whose path equals path, ignoring the case of ASCII letters.
DirNode* findByPath(DirNode* node, const std::string& path);
void subtractFromAncestors(DirNode* node, uint64_t clusters);
// Bookkeeping after the file or directory was deleted on disk; neither re-sorts anything.
void removeFile(DirNode* dir, FileEntry* entry);
void removeSubdirectory(DirNode* dir, DirNode* child);
// Bookkeeping after a subdirectory was read again: fresh takes old's place among dir's children
// and the totals above it and the drive's free space change by the difference; old is destroyed.
void replaceSubdirectory(DirNode* dir, DirNode* old, DirNode* fresh);
