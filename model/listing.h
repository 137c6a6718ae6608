// The disk as the file system names it. Every listing and every change goes through the names the
// file system listed, never through the names the program shows, and on Windows NT and later in
// the "\\?\" form of the wide functions: that form is taken as it stands, so a name ending in a
// dot or a blank means itself, and a path may be longer than MAX_PATH. Windows 95 and 98 have
// neither; their file systems hold no such names, and the plain ANSI functions serve there.
// Names and paths are kept in the disk's code page (diskCodePage) and end in a backslash where
// they name a directory to list.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// One entry of a listing as the file system gave it.
struct ListedEntry {
    std::string name;  // may be longer than MAX_PATH bytes: NTFS allows 255 UTF-16 units
    std::string shown; // when not empty, the long name to show for an entry reached by its short name
    uint64_t size = 0;      // bytes
    uint64_t allocated = 0; // bytes the system says the data takes; the size where it says nothing
    uint64_t fileId = 0;    // the file's number, where the listing was asked for it; else 0
    DWORD attributes = 0;
    DWORD reparseTag = 0; // meaningful only with FILE_ATTRIBUTE_REPARSE_POINT
    bool hasShortName = false;
};

struct Listing {
    HANDLE handle = INVALID_HANDLE_VALUE;
    // On Windows NT and later (and Wine) read through the system's own directory calls: entries
    // come a block at a time into buffer, and next is the offset of the one to take, or none when
    // the block is used up. Windows 95 and 98 have FindFirstFileA.
    bool native = false;
    char* buffer = nullptr;
    size_t next = 0;
    size_t valid = 0; // bytes of the block the system wrote
    // Set by a caller that reads folder after folder with the same record: the buffer then
    // serves them all, and releaseListing frees it at the end.
    bool keepBuffer = false;
    // Set by the caller: entries with their file numbers, where the system lists them (Windows XP
    // and later, Wine). withIds tells whether this listing has them.
    bool wantIds = false;
    bool withIds = false;
};

// Opens the listing of the directory at path (ending in a backslash) and reads its first entry;
// false, with the system's error code, when it cannot be opened.
bool openListing(Listing& listing, const std::string& directory, ListedEntry& entry);
// The next entry; false at the end of the listing (the system's error code is then
// ERROR_NO_MORE_FILES) or on an error.
bool nextEntry(Listing& listing, ListedEntry& entry);
void closeListing(Listing& listing);
void releaseListing(Listing& listing);

inline bool isDirectory(const ListedEntry& entry) {
    return (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
inline bool isReparsePoint(const ListedEntry& entry) {
    return (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// One entry of a block of the system's directory listing, read in place.
struct DirEntryView {
    const wchar_t* name = nullptr; // not terminated
    size_t units = 0;
    uint64_t size = 0;
    DWORD attributes = 0;
    DWORD reparseTag = 0;
    bool hasShortName = false;
    wchar_t shortName[12] = {};
    size_t shortUnits = 0;
    uint64_t allocated = 0;
    LONGLONG fileId = -1; // read from a block of FILE_ID_BOTH_DIR_INFORMATION only
    size_t next = 0;      // offset of the following entry, or SIZE_MAX after the last
};

// The entry at offset of a block of which the system wrote valid bytes (of
// FILE_ID_BOTH_DIR_INFORMATION records withId, else FILE_BOTH_DIR_INFORMATION); false when the
// entry, its name or its link to the next one leaves those bytes.
bool readDirEntry(const char* block, size_t valid, size_t offset, DirEntryView& view, bool withId = false);
