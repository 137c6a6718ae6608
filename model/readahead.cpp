#include "model/readahead.h"

#include "model/filetable.h"
#include "model/listing.h"
#include "model/mounts.h"
#include "model/names.h"
#include "model/scan.h"
#include "model/survey.h"

#include <algorithm>

std::atomic<size_t> listingPeakBytes{0};

namespace {

size_t footprintOf(const FolderListing* listing) {
    return sizeof *listing + listing->path.capacity() + listing->folders.capacity() * sizeof(ListedFolder) +
           listing->names.capacity() + listing->ahead.capacity() * sizeof(void*) +
           listing->marks.capacity() * sizeof(FileMark);
}

// The folder's path as listed, ending in a backslash, built into path, whose room serves the
// caller's next folder too. Filled from its end while climbing to the first folder: one
// allocation at most, and no list of the ancestors.
void buildPath(const FolderListing* folder, std::string& path) {
    size_t length = 0;
    const FolderListing* root = folder;
    for (; root->parent; root = root->parent)
        length += root->parent->folders[root->index].nameLength + 1;
    path.resize(root->path.size() + length);
    size_t end = path.size();
    for (const FolderListing* level = folder; level->parent; level = level->parent) {
        const ListedFolder& listed = level->parent->folders[level->index];
        path[--end] = '\\';
        end -= listed.nameLength;
        level->parent->names.copy(&path[end], listed.nameLength, listed.nameStart);
    }
    root->path.copy(&path[0], root->path.size());
}

// A folder as the file table has it: its subfolders in listing order, each listed in one folder
// only, and its files' clusters. One that holds an entry the table could not read is listed
// instead, with everything below it.
void tableFolder(FileTable& table, FolderListing* folder) {
    folder->ownClusters = table.records[folder->record].clusters;
    linkedFilesOf(table, folder->record, folder->marks);
    size_t first, last;
    subfoldersOf(table, folder->record, first, last);
    for (size_t i = first; i < last; ++i) {
        const TableName& name = table.folders[i];
        TableRecord& record = table.records[name.record];
        if (record.flags & recordListed)
            continue;
        record.flags |= recordListed;
        const uint32_t start = static_cast<uint32_t>(folder->names.size());
        appendNarrow(folder->names, reinterpret_cast<const wchar_t*>(&table.text[name.text]), name.units);
        folder->folders.push_back({start, static_cast<uint32_t>(folder->names.size() - start), 0,
                                   name.hasShortName != 0,
                                   (record.flags & recordReparse) != 0 && !isDataTag(record.reparseTag),
                                   (record.flags & recordWalk) ? UINT32_MAX : name.record});
    }
}

// Reads one folder's listing, by the names as listed, or from the file table. A folder that cannot
// be listed has no subfolders and no files.
void readFolder(const ReadAhead& ahead, FolderListing* folder, ListingRoom& room) {
    const DriveSurvey* survey = ahead.survey;
    if (folder->record != UINT32_MAX) {
        tableFolder(*ahead.table, folder);
        folder->ahead.assign(folder->folders.size(), nullptr);
        folder->footprint = footprintOf(folder);
        return;
    }
    buildPath(folder, room.path);
    ListedEntry& entry = room.entry;
    Listing& listing = room.listing;
    listing.wantIds = survey->fileIds;
    if (openListing(listing, room.path, entry)) {
        do {
            if (!isDirectory(entry)) {
                const uint64_t clusters = clustersOnDisk(survey, entry, room.path);
                folder->ownClusters += clusters;
                if (entry.fileId && survey->fileIds)
                    folder->marks.push_back({entry.fileId & survey->fileIdMask, clusters});
            } else if (listableName(entry.name)) { // not itself, its parent, or a path to elsewhere
                // Wine lists a folder of the same file system mounted there as a plain folder.
                const bool link = isLinkEntry(entry) ||
                                  (ahead.mounts && isMountPoint(*ahead.mounts, room.path, entry.name));
                folder->folders.push_back(
                    {static_cast<uint32_t>(folder->names.size()), static_cast<uint32_t>(entry.name.size()),
                     static_cast<uint16_t>(entry.shown.size()), entry.hasShortName, link});
                folder->names += entry.name;
                folder->names += entry.shown;
            }
        } while (nextEntry(listing, entry));
        closeListing(listing);
    }
    folder->ahead.assign(folder->folders.size(), nullptr);
    folder->footprint = footprintOf(folder);
}

// Under the lock: a listing for subfolder index of parent, a spare one if there is one.
FolderListing* subfolderListing(ReadAhead& ahead, const FolderListing* parent, size_t index) {
    FolderListing* listing;
    if (ahead.spare.empty()) {
        listing = new FolderListing;
    } else {
        listing = ahead.spare.back();
        ahead.spare.pop_back();
    }
    listing->parent = parent;
    listing->index = static_cast<uint32_t>(index);
    listing->depth = parent->depth + 1;
    listing->record = parent->folders[index].record;
    return listing;
}

// Whether the next subfolder of a that nobody has taken on comes before b's in the walk's order.
// Both climb to the folder where their branches meet, each keeping the index of the branch it
// came up by, or its next subfolder while it has not climbed; the smaller index walks first.
// Where one is an ancestor of the other, the descendant's subfolders thus come first unless the
// ancestor's next one lies before the branch that leads to it.
bool walksBefore(const FolderListing* a, const FolderListing* b) {
    size_t branchA = a->nextAhead, branchB = b->nextAhead;
    for (; a->depth > b->depth; a = a->parent)
        branchA = a->index;
    for (; b->depth > a->depth; b = b->parent)
        branchB = b->index;
    for (; a != b; a = a->parent, b = b->parent) {
        branchA = a->index;
        branchB = b->index;
    }
    return branchA < branchB;
}

// Under the lock: there may be work for a waiting helper.
void wakeHelpers(ReadAhead& ahead) {
    if (ahead.idleHelpers > 0)
        SetEvent(ahead.wake);
}

// Under the lock: a listed folder whose subfolders the helpers may take on.
void offer(ReadAhead& ahead, FolderListing* listing) {
    listing->listed = true;
    ahead.bytes += listing->footprint;
    if (ahead.bytes > listingPeakBytes.load(std::memory_order_relaxed))
        listingPeakBytes.store(ahead.bytes, std::memory_order_relaxed);
    if (listing->folders.empty())
        return;
    listing->queued = true;
    ahead.queue.push_back(listing);
    wakeHelpers(ahead);
}

// Under the lock: the first subfolder in the walk's order that nobody has taken on, if any.
FolderListing* nextWork(ReadAhead& ahead) {
    FolderListing* first = nullptr;
    for (size_t i = 0; i < ahead.queue.size();) {
        FolderListing* parent = ahead.queue[i];
        size_t& next = parent->nextAhead;
        while (next < parent->folders.size() && (parent->folders[next].link || parent->ahead[next]))
            ++next;
        if (next == parent->folders.size()) {
            parent->queued = false;
            ahead.queue[i] = ahead.queue.back();
            ahead.queue.pop_back();
            continue;
        }
        if (!first || walksBefore(parent, first))
            first = parent;
        ++i;
    }
    if (!first)
        return nullptr;
    FolderListing* listing = subfolderListing(ahead, first, first->nextAhead);
    first->ahead[first->nextAhead++] = listing;
    return listing;
}

DWORD WINAPI helperMain(void* param) {
    ReadAhead& ahead = *static_cast<ReadAhead*>(param);
    ListingRoom room;
    EnterCriticalSection(&ahead.lock);
    while (!ahead.stopping) {
        FolderListing* work = ahead.unconsumed < readAheadLimit ? nextWork(ahead) : nullptr;
        if (!work) {
            ResetEvent(ahead.wake);
            ++ahead.idleHelpers;
            LeaveCriticalSection(&ahead.lock);
            WaitForSingleObject(ahead.wake, INFINITE);
            EnterCriticalSection(&ahead.lock);
            --ahead.idleHelpers;
            continue;
        }
        ++ahead.unconsumed;
        LeaveCriticalSection(&ahead.lock);
        const int64_t start = ticksNow();
        readFolder(ahead, work, room);
        const int64_t busy = ticksNow() - start;
        EnterCriticalSection(&ahead.lock);
        ahead.costs->helperBusy += busy;
        ++ahead.costs->helperListed;
        offer(ahead, work);
        if (ahead.walkWaiting)
            SetEvent(ahead.ready);
    }
    LeaveCriticalSection(&ahead.lock);
    return 0;
}

} // namespace

std::string listedName(const FolderListing* listing, size_t index) {
    const ListedFolder& folder = listing->folders[index];
    return listing->names.substr(folder.nameStart, folder.nameLength);
}

std::string shownName(const FolderListing* listing, size_t index) {
    const ListedFolder& folder = listing->folders[index];
    if (folder.shownLength == 0)
        return displayName(listedName(listing, index), folder.hasShortName);
    return listing->names.substr(folder.nameStart + folder.nameLength, folder.shownLength);
}

void startReadAhead(ReadAhead& ahead, const DriveSurvey* survey, int helpers, ScanCosts& costs) {
    ahead.survey = survey;
    ahead.costs = &costs;
    InitializeCriticalSection(&ahead.lock);
    ahead.wake = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ahead.ready = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    for (int i = 0; i < helpers; ++i)
        if (HANDLE thread = CreateThread(nullptr, 0, helperMain, &ahead, 0, nullptr))
            ahead.threads.push_back(thread);
}

void stopReadAhead(ReadAhead& ahead) {
    EnterCriticalSection(&ahead.lock);
    ahead.stopping = true;
    SetEvent(ahead.wake);
    LeaveCriticalSection(&ahead.lock);
    if (!ahead.threads.empty())
        WaitForMultipleObjects(static_cast<DWORD>(ahead.threads.size()), ahead.threads.data(), TRUE,
                               INFINITE);
    for (HANDLE thread : ahead.threads)
        CloseHandle(thread);
    for (FolderListing* listing : ahead.spare)
        delete listing;
    CloseHandle(ahead.wake);
    CloseHandle(ahead.ready);
    DeleteCriticalSection(&ahead.lock);
}

FolderListing* takeRoot(ReadAhead& ahead, const std::string& path, uint32_t record) {
    FolderListing* listing = new FolderListing;
    listing->path = path;
    listing->record = record;
    readFolder(ahead, listing, ahead.walkRoom);
    EnterCriticalSection(&ahead.lock);
    offer(ahead, listing);
    LeaveCriticalSection(&ahead.lock);
    return listing;
}

FolderListing* takeListing(ReadAhead& ahead, FolderListing* parent, size_t index) {
    EnterCriticalSection(&ahead.lock);
    FolderListing* listing = parent->ahead[index];
    if (!listing) {
        // No helper got to it: the walk reads it itself, and the helpers go on beyond it.
        listing = parent->ahead[index] = subfolderListing(ahead, parent, index);
        parent->nextAhead = std::max(parent->nextAhead, index + 1);
        LeaveCriticalSection(&ahead.lock);
        const int64_t start = ticksNow();
        readFolder(ahead, listing, ahead.walkRoom);
        ahead.costs->ownListings += ticksNow() - start;
        ++ahead.costs->ownListed;
        EnterCriticalSection(&ahead.lock);
        offer(ahead, listing);
        LeaveCriticalSection(&ahead.lock);
        return listing;
    }
    if (!listing->listed) {
        const int64_t start = ticksNow();
        ahead.walkWaiting = true;
        do {
            LeaveCriticalSection(&ahead.lock);
            WaitForSingleObject(ahead.ready, INFINITE);
            EnterCriticalSection(&ahead.lock);
        } while (!listing->listed);
        ahead.walkWaiting = false;
        ahead.costs->listingWaits += ticksNow() - start;
        ++ahead.costs->waits;
    }
    --ahead.unconsumed; // room for one more ahead
    wakeHelpers(ahead);
    LeaveCriticalSection(&ahead.lock);
    return listing;
}

void retireListing(ReadAhead& ahead, FolderListing* listing) {
    EnterCriticalSection(&ahead.lock);
    if (listing->queued)
        ahead.queue.erase(std::find(ahead.queue.begin(), ahead.queue.end(), listing));
    ahead.bytes -= listing->footprint;
    // Kept with the room its vectors have, up to as many as can be in use at once in a wide tree.
    if (ahead.spare.size() < 2 * readAheadLimit && listing->folders.capacity() <= 1024 &&
        listing->marks.capacity() <= 4096) {
        listing->folders.clear();
        listing->names.clear();
        listing->marks.clear();
        listing->ahead.clear();
        listing->ownClusters = 0;
        listing->record = UINT32_MAX;
        listing->nextAhead = 0;
        listing->listed = listing->queued = false;
        listing->footprint = 0;
        ahead.spare.push_back(listing);
        listing = nullptr;
    }
    LeaveCriticalSection(&ahead.lock);
    delete listing;
}
