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
    uint64_t size = 0; // bytes
    DWORD attributes = 0;
    DWORD reparseTag = 0; // meaningful only with FILE_ATTRIBUTE_REPARSE_POINT
    bool hasShortName = false;
};

struct Listing {
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool wide = true;
    // Read through the system's own directory calls: entries come a block at a time into buffer,
    // and next is the offset of the one to take, or none when the block is used up.
    bool native = false;
    char* buffer = nullptr;
    size_t next = 0;
    size_t valid = 0; // bytes of the block the system wrote
    // Set by a caller that reads folder after folder with the same record: the buffer then
    // serves them all, and releaseListing frees it at the end.
    bool keepBuffer = false;
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
    size_t next = 0; // offset of the following entry, or SIZE_MAX after the last
};

// The entry at offset of a block of which the system wrote valid bytes; false when the entry, its
// name or its link to the next one leaves those bytes.
bool readDirEntry(const char* block, size_t valid, size_t offset, DirEntryView& view);

// The code page of names as listed. On Windows NT and later it is UTF-8, in which every UTF-16
// name has one exact form whatever the program's code page: a name converted to a legacy code
// page may come back as another entry's name ("s\u0142owa" best fits to "slowa") or as none
// ("\u65e5\u672c" to "??"). Windows 95 and 98 list and take names in the program's code page.
UINT diskCodePage();
// The name to reach an entry found by FindFirstFileA on Windows 95 and 98. Their long names come
// in the program's code page, with '?' for each character it lacks (Wine gives the nearest
// character instead): such a name may reach nothing, or another entry ("s\u0142owa.txt" listed as
// "slowa.txt"), and a pattern takes its '?' for a wildcard. A short name is exact, so an entry
// that has one is reached by it, and shown by its long name.
const char* reachableName(const WIN32_FIND_DATAA& found);
// A name or path between the disk's code page and UTF-16: appendNarrow appends the name of units
// UTF-16 units to out; wideOf converts text, empty when it cannot be converted.
void appendNarrow(std::string& out, const wchar_t* name, size_t units);
std::wstring wideOf(const std::string& text);
// A listed name or path as the program shows it, in its own code page: the same text where that
// is UTF-8, else with the code page's nearest characters, or '?'.
std::string shownText(const std::string& listed);
std::string shownText(const wchar_t* name, size_t units);
// The "\\?\" form of a path in UTF-16, or empty when the path cannot be converted.
std::wstring diskPath(const std::string& path);
