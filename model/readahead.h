// Reading the listings of folders before the walk reaches them. The walk spends most of its time
// waiting for the tree view to take each folder's item; meanwhile a few helper threads read the
// listings of the folders it will enter next, in the order it will enter them, so that it finds
// each one ready. Only when a listing is read changes: the walk itself, its tree-view requests and
// their order stay those of a plain depth-first walk.
#pragma once

#include "model/links.h"
#include "model/listing.h"

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct DriveMounts;
struct DriveSurvey;
struct FileTable;
struct ScanCosts;

// A subfolder as its parent's listing gave it; its name, as the file system lists it, is kept in
// the listing's names.
struct ListedFolder {
    uint32_t nameStart = 0;
    uint32_t nameLength = 0;
    uint16_t shownLength = 0; // of the long name to show, after the listed one, when they differ
    bool hasShortName = false;
    bool link = false;            // a link or a mount point: never listed, counted empty
    uint32_t record = UINT32_MAX; // its record in the drive's file table, where it is read from there
};

// What the walk needs of one folder: its subfolders in listing order and its files' clusters.
// A folder is known by its parent's listing and its index there, not by a path and a place of its
// own: those would grow with the depth, and a chain of 20,000 folders would hold their square.
struct FolderListing {
    // Subfolder index of parent, depth levels below the walk's first folder. Every ancestor is
    // alive while a helper reads this folder or it waits in the queue: the walk retires a folder
    // only after it has taken and retired all its subfolders, and taking one waits until its
    // helper has finished reading it.
    const FolderListing* parent = nullptr;
    uint32_t index = 0;
    uint32_t depth = 0;
    uint32_t record = UINT32_MAX; // read from the file table, or listed when none
    std::string path; // the walk's first folder only: its path as listed, ending in a backslash
    std::vector<ListedFolder> folders;
    std::string names; // the subfolders' names one after another: one block, not one per name
    uint64_t ownClusters = 0;
    // Its files that carry a number, each counted in ownClusters too: on a drive walked, every
    // file; from a file table, those of several names.
    std::vector<FileMark> marks;
    // The listing of each subfolder, once a helper or the walk has taken it on; owned by the walk
    // from the moment it enters that subfolder.
    std::vector<FolderListing*> ahead;
    size_t nextAhead = 0; // the first subfolder nobody has taken on
    bool listed = false;
    bool queued = false;  // among the read-ahead's listings with subfolders left to take on
    size_t footprint = 0; // bytes it holds, once listed
};

// What a thread reads listings with, kept from one folder to the next: the folder's path, the
// listing's buffer and the entry's name.
struct ListingRoom {
    std::string path;
    Listing listing;
    ListedEntry entry;

    ListingRoom() { listing.keepBuffer = true; }
    ListingRoom(const ListingRoom&) = delete;
    ListingRoom& operator=(const ListingRoom&) = delete;
    ~ListingRoom() { releaseListing(listing); }
};

struct ReadAhead {
    const DriveSurvey* survey = nullptr;
    FileTable* table = nullptr; // the drive's file table, when it was read
    // Under Wine, the drive's mount points: made before the helpers start, and only read.
    const DriveMounts* mounts = nullptr;
    CRITICAL_SECTION lock;
    // Each signal is a call to the Wine server, which the walk's messages to the tree view need
    // too: an event is set only when a thread waits for it.
    HANDLE wake = nullptr;             // manual reset: work or room for it may be there, or the end
    HANDLE ready = nullptr;            // auto reset: a helper has finished a listing
    int idleHelpers = 0;               // waiting for wake
    bool walkWaiting = false;          // for ready
    std::vector<FolderListing*> queue; // listed folders with subfolders nobody has taken on yet
    size_t unconsumed = 0;             // listings taken on by helpers and not yet by the walk
    size_t bytes = 0;                  // held by the listings read and not yet retired
    // Retired listings, kept with the room their vectors have for the next ones, so that most
    // folders cost the helpers and the walk no allocation of their own.
    std::vector<FolderListing*> spare;
    ListingRoom walkRoom;       // for the folders the walk reads itself
    ScanCosts* costs = nullptr; // the walk's waits and own listings, the helpers' busy time
    bool stopping = false;
    std::vector<HANDLE> threads;
};

// How far the helpers may run ahead of the walk, in listings: bounds their memory when one folder
// holds hundreds of thousands of subfolders.
constexpr size_t readAheadLimit = 128;
// The most bytes the listings of any scan held at once, for the benchmarks.
extern std::atomic<size_t> listingPeakBytes;

// The name of subfolder index as the file system lists it, and as the program shows it.
std::string listedName(const FolderListing* listing, size_t index);
std::string shownName(const FolderListing* listing, size_t index);

// Starts the helpers; the walk's first listing is read by the walk itself (takeRoot). Time spent
// waiting and reading is added to costs.
void startReadAhead(ReadAhead& ahead, const DriveSurvey* survey, int helpers, ScanCosts& costs);
// Ends and waits for the helpers; every listing must have been retired.
void stopReadAhead(ReadAhead& ahead);
// The listing of the folder at path, read now by the calling thread: from the file table when
// record is one of its folders.
FolderListing* takeRoot(ReadAhead& ahead, const std::string& path, uint32_t record = UINT32_MAX);
// The listing of subfolder index of parent, read by a helper (waiting for it if need be) or now.
FolderListing* takeListing(ReadAhead& ahead, FolderListing* parent, size_t index);
// The walk is done with the folder: frees its listing.
void retireListing(ReadAhead& ahead, FolderListing* listing);
