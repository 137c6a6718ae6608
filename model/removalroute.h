// Inside removeEntry: the one walk that checks and then deletes a tree, and the routes it takes to
// the disk. A route does five things (open the chosen entry's folder, list a folder, look at an
// entry, remove a file or link, remove an emptied folder); the walk does the rest: the depth-first
// stack, the position, the check pass and the delete pass, the idle calls and the fault record.
#pragma once

#include "model/mounts.h"
#include "model/native.h"
#include "model/removal.h"

#include <cstdint>
#include <string>
#include <vector>

// An entry of a folder as its listing gave it. The name is the one the route reaches it by; the
// alias is the other one the listing gave, if any: the short name on the handle routes, the long
// name of an entry reached by its short name on the path route.
struct RemovalEntry {
    uint32_t nameStart = 0, nameLength = 0;
    uint32_t aliasStart = 0, aliasLength = 0;
    DWORD attributes = 0;
    DWORD reparseTag = 0;
    LONGLONG fileId = -1; // where the route's listing gives one (Wine's)
    bool twin = false;    // another entry of the folder is listed under the same name
};

// A listing gives a folder's "." and ".." first, once each: an entry listed by either name again
// is one a damaged or foreign volume holds, and is refused like any name no folder can hold.
struct DotEntries {
    bool self = false, parent = false;
    // Whether the entry is the folder's own "." or "..", listed for the first time.
    bool skip(const wchar_t* name, size_t units);
};

struct RemovalFolder {
    HANDLE handle = nullptr; // the handle routes; the path route names a folder by the position
    LONGLONG number = -1; // Wine: its file number
    std::wstring names; // its entries' names and aliases one after another
    std::vector<RemovalEntry> entries;
    DotEntries dots;
    size_t next = 0;
    size_t pathLength = 0;     // of the position's shown path, up to and with this folder
    uint32_t record = 0;       // the check pass's record of this folder
    bool chosenParent = false; // the folder of the chosen entry: listed for it alone, never removed
    bool verifiedName = false; // Wine: the position's reported name was read from its handle
};

// What becomes of an entry: worked out in the check pass, and again, before anything is done, in
// the delete pass, which stops where the two differ.
enum class Decision : uint8_t {
    Gone,    // no longer there
    Delete,  // a file, deleted through its handle (on the path route, by its path)
    Enter,   // a folder, emptied and then removed through its handle
    Replace, // Wine: a link to a file, replaced by an empty file that is then deleted
    Unlink,  // Windows: a link, removed as itself through a handle opened as the link
    Refuse,  // never removed: error and reason say why
};

struct Look {
    Decision decision = Decision::Gone;
    HANDLE handle = nullptr; // on the entry, for Delete, Enter and Unlink on the handle routes
    DWORD attributes = 0;
    bool folder = false; // what stands there is a folder, or a link to one
    DWORD error = 0;     // Refuse: the system's code
    const char* reason = nullptr;
    LONGLONG number = -1; // the entry's file number, on the handle routes
};

// Where the walk is: the current folder's path in the forms the routes and the messages need,
// kept in step by pushFolder and popFolder.
struct RemovalPosition {
    std::string shown;     // as listed, ending in a backslash, then the name of the entry looked at
    std::wstring nt;       // "\\??\\C:\\...\\"
    std::wstring reported; // Wine: what the system calls the current folder's handle, no final backslash
    struct Mark {
        size_t shown, nt, reported;
        std::wstring replaced; // reported as it was, where the folder's own name replaced it
    };
    std::vector<Mark> marks;
};

struct RemovalWalk;

struct RemovalRoute {
    // Opens the folder at path (as listed, ending in a backslash) into top.handle, step by step from
    // its drive's root, each step as itself, and sets the position to it.
    bool (*openParent)(RemovalWalk& walk, const std::string& path, RemovalFolder& top);
    // Reads the folder's entries, without "." and "..", whole.
    bool (*list)(RemovalWalk& walk, RemovalFolder& folder);
    // Looks at the entry of folder as the disk has it now; in the check pass only where nothing
    // changes.
    Look (*look)(RemovalWalk& walk, RemovalFolder& folder, const RemovalEntry& entry);
    // Removes the file or link that look found (Delete, Replace, Unlink) and closes its handle.
    bool (*removeEntry)(RemovalWalk& walk, RemovalFolder& folder, const RemovalEntry& entry, Look& look);
    // Removes the folder the walk is leaving, now empty, at the position.
    bool (*removeFolder)(RemovalWalk& walk, RemovalFolder& folder);
    // The route reaches entries by their short names where they have one, as the scan listed them.
    bool reachesByShortName;
};

extern const RemovalRoute ntRoute, wineRoute, pathRoute;

// What the check pass saw of each entry, in the order of the walk; end is, for a folder, the
// record after its contents; number is the file number the entry had, where the route reads one.
struct RemovalRecord {
    uint32_t nameHash;
    uint32_t end;
    Decision decision;
    LONGLONG number;
};

struct RemovalWalk {
    const RemovalRoute* route = nullptr;
    const NativeCalls* nt = nullptr; // the handle routes
    RemovalPosition at;
    std::vector<RemovalFolder> folders;
    std::vector<char> buffer; // for listings, and for the name the system gives a handle
    std::vector<RemovalRecord> records;
    size_t replayed = 0;
    bool deleting = false;
    bool removedAny = false;
    RemovalFault* fault = nullptr;
    RemovalIdle idle = nullptr;
    void* context = nullptr;
    DriveMounts mounts; // Wine: the mount points of the chosen entry's drive
};

// The fault at the position; false, so that a route can return it.
bool fail(RemovalWalk& walk, DWORD error, const char* reason = nullptr);
bool failStatus(RemovalWalk& walk, NtStatus status);
inline Look refusal(DWORD error, const char* reason = nullptr) {
    Look look;
    look.decision = Decision::Refuse;
    look.error = error;
    look.reason = reason;
    return look;
}

inline const wchar_t* nameOf(const RemovalFolder& folder, const RemovalEntry& entry) {
    return folder.names.data() + entry.nameStart;
}
void addEntry(RemovalFolder& folder, const wchar_t* name, size_t units, const wchar_t* alias, size_t aliasUnits,
              DWORD attributes, DWORD reparseTag, LONGLONG fileId);

// The system drops the dots and blanks at the end of each step of the names it reports.
size_t reportedLength(const wchar_t* name, size_t units);
// Enters the folder of the entry named last in the position (name of units, as listed; the
// parent's path is parentLength long), and leaves it again. replaceReported sets what the system calls the current folder's handle, where
// that is not its parent's name followed by its own (a folder that is also a drive's root).
void pushFolder(RemovalPosition& at, size_t parentLength, const wchar_t* name, size_t units);
void popFolder(RemovalPosition& at);
void replaceReported(RemovalPosition& at, const std::wstring& reported);

// The handle routes: opens the folder at path (as listed, ending in a backslash) step by step from
// its drive's root, each step relative to the last and checked to be the folder itself (atRoot,
// when set, first looks at the root); the last step asks for lastAccess too. Sets the position.
struct StepCheck {
    bool (*atRoot)(RemovalWalk& walk, HANDLE root);
    bool (*itself)(RemovalWalk& walk, HANDLE parent, HANDLE step, const wchar_t* name, size_t units);
};
bool openBySteps(RemovalWalk& walk, const std::string& path, ACCESS_MASK lastAccess, ULONG asItself,
                 const StepCheck& check, HANDLE& handle);

// Whether the scan listed entries by their short names where they have one, where the route
// reaches them by their long names: Windows 95 and 98 as Wine reports them.
bool scanUsedShortNames(const RemovalWalk& walk);

// The handle routes: the folder's entries as its handle lists them, with their file numbers withIds.
bool listByHandle(RemovalWalk& walk, RemovalFolder& folder, bool withIds);

// removeEntry through the given route: the route is chosen by removalRoute, or, in a test, by the
// test.
const RemovalRoute& removalRoute();
RemovalOutcome removeEntryBy(const RemovalRoute& route, const std::string& parent, const std::string& name,
                             bool directory, RemovalFault& fault, RemovalIdle idle, void* context,
                             const std::string& shown = std::string());

extern const char* const folderLinkReason;
extern const char* const changedReason;
extern const char* const twinReason;
extern const char* const oddNameReason;
