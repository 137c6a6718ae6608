#include "model/removal.h"

#include "model/listing.h"
#include "model/native.h"
#include "model/scan.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr ULONG shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr size_t listingBufferSize = 64 * 1024;

const char* const folderLinkReason =
    "This is a link to a folder. It cannot be removed here without deleting what it points to.";

// An entry of a folder being removed, as its listing gave it; the name is in the folder's names.
struct Entry {
    uint32_t nameStart = 0, nameLength = 0;
    DWORD attributes = 0;
    DWORD reparseTag = 0;
};

// A folder the walk is in: opened as itself, its listing read whole before anything in it is
// touched, so that removing entries cannot disturb the listing.
struct Folder {
    HANDLE handle = nullptr;    // handle route only; the path route names it by the walk's path
    std::wstring names;         // its entries' names one after another
    std::vector<Entry> entries; // without "." and ".."
    size_t next = 0;
    size_t pathLength = 0; // of the walk's path, name and wide path up to and with this folder
    size_t nameLength = 0;
    size_t wideLength = 0;
    bool chosenParent = false; // the folder of the chosen entry: listed for it alone, never removed
    bool expectDirectory = false;
};

struct Walk {
    const NativeCalls* nt = nullptr; // null on the path route
    bool deleting = false;
    bool removedAny = false;
    std::string path;  // of the current entry, as listed, for the user and for the path route
    std::wstring name; // what the system calls the current folder's handle, by checked steps
    std::wstring wide; // the current folder's full path in the listed names, "\\??\\C:\\...\\"
    std::vector<Folder> folders;
    std::vector<char> buffer;
    RemovalFault* fault = nullptr;
    RemovalIdle idle = nullptr;
    void* context = nullptr;
};

enum class Kind { Gone, File, Folder, Link, FolderLink };

bool fail(Walk& walk, DWORD error, const char* reason = nullptr) {
    walk.fault->path = walk.path;
    walk.fault->error = error;
    walk.fault->reason = reason ? reason : "";
    return false;
}

bool failStatus(Walk& walk, NtStatus status) {
    return fail(walk, walk.nt->dosError(status));
}

bool isDotOrDotDot(const wchar_t* name, size_t units) {
    return (units == 1 && name[0] == L'.') || (units == 2 && name[0] == L'.' && name[1] == L'.');
}

const wchar_t* nameOf(const Folder& folder, const Entry& entry) {
    return folder.names.data() + entry.nameStart;
}

void addEntry(Folder& folder, const wchar_t* name, size_t units, DWORD attributes, DWORD reparseTag) {
    folder.entries.push_back(
        {static_cast<uint32_t>(folder.names.size()), static_cast<uint32_t>(units), attributes, reparseTag});
    folder.names.append(name, units);
}

// ---- The handle route ----

NtStatus openAt(const NativeCalls& nt, HANDLE folder, const wchar_t* name, size_t units, ACCESS_MASK access,
                ULONG options, HANDLE& handle) {
    handle = nullptr;
    if (units > 0x7FFF) // more than the system's names can hold
        return ntNameInvalid;
    const NtName ntName = {static_cast<USHORT>(units * sizeof(wchar_t)),
                           static_cast<USHORT>(units * sizeof(wchar_t)), name};
    // Relative to a folder the name is matched exactly; a full path as the system matches paths.
    const NtObject object = {sizeof object, folder, &ntName, folder ? 0u : 0x40u /* OBJ_CASE_INSENSITIVE */,
                             nullptr,       nullptr};
    NtIoStatus io = {};
    return nt.open(&handle, access | SYNCHRONIZE, &object, &io, shareAll,
                   options | ntSynchronous | ntForBackup);
}

// The name the system gives the object a handle reaches.
bool handleName(const NativeCalls& nt, HANDLE handle, std::wstring& name) {
    std::vector<char> buffer(2048);
    for (;;) {
        ULONG needed = 0;
        NtStatus status = nt.queryObject(handle, ntObjectNameInformation, buffer.data(),
                                         static_cast<ULONG>(buffer.size()), &needed);
        if (status == ntInfoLengthMismatch || status == ntBufferOverflow) {
            if (buffer.size() >= 256 * 1024)
                return false;
            buffer.resize(buffer.size() * 4);
            continue;
        }
        if (status < 0)
            return false;
        const NtName* found = reinterpret_cast<const NtName*>(buffer.data());
        name.assign(found->buffer, found->length / sizeof(wchar_t));
        return true;
    }
}

// The system drops the dots and blanks at the end of each step of the names it reports.
size_t reportedLength(const wchar_t* name, size_t units) {
    while (units > 0 && (name[units - 1] == L'.' || name[units - 1] == L' '))
        --units;
    return units;
}

// Under Wine a handle reaches what a link points to: it is the entry itself only when the system
// names it as the entry's folder followed by the entry's name. (A link whose target's name differs
// from its own only by final dots or blanks would pass; a folder listed as a link never gets here.)
bool namedAsItself(const Walk& walk, HANDLE handle, const wchar_t* name, size_t units) {
    std::wstring reported;
    if (!handleName(*walk.nt, handle, reported))
        return false;
    const size_t length = reportedLength(name, units);
    const size_t base = walk.name.size();
    return reported.size() == base + 1 + length && reported.compare(0, base, walk.name) == 0 &&
           reported[base] == L'\\' && reported.compare(base + 1, length, name, length) == 0;
}

NtTagInfo attributesOf(const NativeCalls& nt, HANDLE handle) {
    NtTagInfo info = {};
    NtIoStatus io = {};
    if (nt.queryFile(handle, &io, &info, sizeof info, ntFileAttributeTagInformation) >= 0)
        return info;
    // Windows NT 4.0 knows no reparse points and no such query.
    NtBasicInfo basic = {};
    if (nt.queryFile(handle, &io, &basic, sizeof basic, ntFileBasicInformation) >= 0)
        info.attributes = basic.attributes;
    return info;
}

// A reparse point other than a folder whose data lies elsewhere (OneDrive, deduplication): the
// scan counts those as folders and never walks a link.
bool isLink(const NtTagInfo& info) {
    return (info.attributes & FILE_ATTRIBUTE_REPARSE_POINT) && !isDataTag(info.reparseTag);
}

bool isLink(const NativeCalls& nt, HANDLE handle) {
    return isLink(attributesOf(nt, handle));
}

NtStatus setAttributes(const NativeCalls& nt, HANDLE handle, DWORD attributes) {
    NtBasicInfo basic = {}; // zero times: left as they are
    basic.attributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    NtIoStatus io = {};
    return nt.setFile(handle, &io, &basic, sizeof basic, ntFileBasicInformation);
}

// Marks the entry of the handle for deletion; a read-only one has that attribute cleared, and put
// back when it still cannot be deleted. The entry goes when the handle is closed.
NtStatus dispose(const NativeCalls& nt, HANDLE handle, DWORD attributes) {
    const BOOLEAN yes = TRUE;
    NtIoStatus io = {};
    NtStatus status = nt.setFile(handle, &io, &yes, sizeof yes, ntFileDispositionInformation);
    if ((status == ntCannotDelete || status == ntAccessDenied) && (attributes & FILE_ATTRIBUTE_READONLY)) {
        const DWORD kept =
            attributes & (FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                          FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_TEMPORARY);
        if (setAttributes(nt, handle, kept) >= 0) {
            status = nt.setFile(handle, &io, &yes, sizeof yes, ntFileDispositionInformation);
            if (status < 0)
                setAttributes(nt, handle, attributes & ~FILE_ATTRIBUTE_DIRECTORY);
        }
    }
    return status;
}

LONGLONG fileNumber(const NativeCalls& nt, HANDLE handle) {
    LARGE_INTEGER number = {};
    NtIoStatus io = {};
    return nt.queryFile(handle, &io, &number, sizeof number, ntFileInternalInformation) >= 0 ? number.QuadPart
                                                                                             : -1;
}

// Whether the folder's path still leads to the folder the walk checked, which Wine's calls by a
// name relative to it rely on.
bool stillThere(const Walk& walk, HANDLE folder) {
    const size_t length = walk.wide.size() > 7 ? walk.wide.size() - 1 : walk.wide.size();
    HANDLE again;
    if (openAt(*walk.nt, nullptr, walk.wide.data(), length, FILE_READ_ATTRIBUTES, ntDirectoryFile, again) < 0)
        return false;
    const LONGLONG number = fileNumber(*walk.nt, again);
    walk.nt->close(again);
    return number != -1 && number == fileNumber(*walk.nt, folder);
}

struct RenameInfo {
    BOOLEAN replace;
    HANDLE root;
    ULONG nameBytes;
    wchar_t name[1];
};

// Under Wine deleting a file reaches a link's target, but renaming onto a name replaces the entry
// of that name itself: a new empty file takes the entry's name, and is then deleted as itself.
// Wine finds what a name relative to a folder's handle means by the folder's path, not by the
// folder itself: that path is checked before the temporary file is made, and the temporary file
// shows again that it leads to the folder the walk checked, before anything is renamed there.
NtStatus replaceAndDelete(Walk& walk, HANDLE folder, const wchar_t* name, size_t units) {
    const NativeCalls& nt = *walk.nt;
    if (!stillThere(walk, folder))
        return ntPathNotFound;
    HANDLE temporary = nullptr;
    wchar_t temporaryName[32] = L"~tarvale-";
    size_t length = 0;
    NtStatus status = ntNameCollision;
    for (uint32_t attempt = 0; attempt < 100 && status == ntNameCollision; ++attempt) {
        length = 9;
        for (uint32_t number = GetCurrentProcessId() * 100 + attempt; number || length == 9; number >>= 4)
            temporaryName[length++] = L"0123456789abcdef"[number & 15];
        const NtName ntName = {static_cast<USHORT>(length * sizeof(wchar_t)),
                               static_cast<USHORT>(length * sizeof(wchar_t)), temporaryName};
        const NtObject object = {sizeof object, folder, &ntName, 0, nullptr, nullptr};
        NtIoStatus io = {};
        status = nt.create(&temporary, DELETE | SYNCHRONIZE, &object, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                           shareAll, 2 /* FILE_CREATE */, ntNonDirectoryFile | ntSynchronous, nullptr, 0);
    }
    if (status < 0)
        return status;
    NtIoStatus io = {};
    if (namedAsItself(walk, temporary, temporaryName, length)) {
        std::vector<char> rename(
            std::max(sizeof(RenameInfo), offsetof(RenameInfo, name) + units * sizeof(wchar_t)));
        RenameInfo* info = reinterpret_cast<RenameInfo*>(rename.data());
        info->replace = TRUE;
        info->root = folder;
        info->nameBytes = static_cast<ULONG>(units * sizeof(wchar_t));
        memcpy(info->name, name, units * sizeof(wchar_t));
        status = nt.setFile(temporary, &io, info, static_cast<ULONG>(rename.size()), ntFileRenameInformation);
    } else {
        status = ntPathNotFound;
    }
    const BOOLEAN yes = TRUE;
    NtStatus deleted = nt.setFile(temporary, &io, &yes, sizeof yes, ntFileDispositionInformation);
    nt.close(temporary);
    if (status < 0)
        return status;
    walk.removedAny = true;
    return deleted;
}

// What the entry is now, looked at through a handle of its own where the route has one.
Kind classify(Walk& walk, const Folder& folder, const Entry& entry, HANDLE& handle, NtStatus& status,
              DWORD& attributes) {
    const NativeCalls& nt = *walk.nt;
    const wchar_t* name = nameOf(folder, entry);
    const bool listedFolder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    handle = nullptr;
    attributes = entry.attributes;
    if (nt.handlesFollowLinks) {
        // Links to folders list as reparse points; links to files only the rename can remove.
        if (listedFolder && (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            return Kind::FolderLink;
        if (!listedFolder)
            return Kind::File;
        status = openAt(nt, folder.handle, name, entry.nameLength,
                        FILE_LIST_DIRECTORY | FILE_ADD_FILE | DELETE | FILE_READ_ATTRIBUTES |
                            FILE_WRITE_ATTRIBUTES,
                        ntDirectoryFile | ntOpenReparsePoint, handle);
        if (status < 0)
            return Kind::Gone;
        if (!namedAsItself(walk, handle, name, entry.nameLength)) {
            nt.close(handle);
            handle = nullptr;
            return Kind::FolderLink;
        }
        return Kind::Folder;
    }
    ACCESS_MASK access = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
    if (listedFolder)
        access |= FILE_LIST_DIRECTORY;
    status = openAt(nt, folder.handle, name, entry.nameLength, access, ntOpenReparsePoint, handle);
    if (status < 0)
        return Kind::Gone;
    const NtTagInfo now = attributesOf(nt, handle);
    attributes = now.attributes;
    if (isLink(now))
        return Kind::Link;
    return (now.attributes & FILE_ATTRIBUTE_DIRECTORY) ? Kind::Folder : Kind::File;
}

bool readFolderByHandle(Walk& walk, Folder& folder) {
    const NativeCalls& nt = *walk.nt;
    for (BOOLEAN restart = TRUE;; restart = FALSE) {
        NtIoStatus io = {};
        NtStatus status = nt.query(folder.handle, nullptr, nullptr, nullptr, &io, walk.buffer.data(),
                                   static_cast<ULONG>(walk.buffer.size()), ntFileBothDirectoryInformation,
                                   FALSE, nullptr, restart);
        if (status == ntNoMoreFiles)
            return true;
        if (status < 0)
            return failStatus(walk, status);
        for (size_t offset = 0; offset != SIZE_MAX;) {
            DirEntryView view;
            if (!readDirEntry(walk.buffer.data(), io.information, offset, view))
                return fail(walk, ERROR_INVALID_DATA);
            if (!isDotOrDotDot(view.name, view.units))
                addEntry(folder, view.name, view.units, view.attributes, view.reparseTag);
            offset = view.next;
        }
    }
}

// ---- The path route of Windows 95 and 98 ----

bool readFolderByPath(Walk& walk, Folder& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((walk.path + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return fail(walk, GetLastError());
    do {
        std::wstring name = wideOf(reachableName(found));
        if (!isDotOrDotDot(name.data(), name.size()))
            addEntry(folder, name.data(), name.size(), found.dwFileAttributes, 0);
    } while (FindNextFileA(search, &found));
    DWORD error = GetLastError();
    FindClose(search);
    return error == ERROR_NO_MORE_FILES || fail(walk, error);
}

// Deletes the file or removes the directory at the walk's path, as deleteFile or removeDirectory
// does; a read-only one has that attribute cleared, and put back when it still cannot go. The
// attributes are looked up when not known from a listing.
bool removeByPath(Walk& walk, DWORD attributes, BOOL(WINAPI* remove)(LPCSTR)) {
    std::string path = walk.path;
    if (!path.empty() && path.back() == '\\')
        path.pop_back();
    if (attributes == INVALID_FILE_ATTRIBUTES)
        attributes = GetFileAttributesA(path.c_str());
    if (remove(path.c_str()))
        return walk.removedAny = true;
    DWORD error = GetLastError();
    if (error == ERROR_ACCESS_DENIED && (attributes & FILE_ATTRIBUTE_READONLY) &&
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL)) {
        if (remove(path.c_str()))
            return walk.removedAny = true;
        error = GetLastError();
        SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_DIRECTORY);
    }
    return fail(walk, error);
}

// ---- The walk ----

bool readFolder(Walk& walk, Folder& folder) {
    return walk.nt ? readFolderByHandle(walk, folder) : readFolderByPath(walk, folder);
}

void closeFolder(Walk& walk, Folder& folder) {
    if (folder.handle && !folder.chosenParent)
        walk.nt->close(folder.handle);
    folder.handle = nullptr;
}

// Enters the folder of entry (its handle open, the walk's path and name naming it).
bool enterFolder(Walk& walk, HANDLE handle, const wchar_t* name, size_t units) {
    walk.path += '\\';
    walk.name += L'\\';
    walk.name.append(name, reportedLength(name, units));
    walk.wide.append(name, units).push_back(L'\\');
    walk.folders.emplace_back();
    Folder& folder = walk.folders.back();
    folder.handle = handle;
    folder.pathLength = walk.path.size();
    folder.nameLength = walk.name.size();
    folder.wideLength = walk.wide.size();
    return readFolder(walk, folder);
}

// Leaves the current folder; when deleting, removes it, now that it is empty.
bool leaveFolder(Walk& walk) {
    Folder& folder = walk.folders.back();
    bool ok = true;
    if (walk.deleting && !folder.chosenParent) {
        if (walk.nt && walk.nt->handlesFollowLinks && !stillThere(walk, folder.handle)) {
            ok = fail(walk, ERROR_PATH_NOT_FOUND); // Wine removes a folder by its path
        } else if (walk.nt) {
            NtTagInfo now = attributesOf(*walk.nt, folder.handle);
            NtStatus status = dispose(*walk.nt, folder.handle, now.attributes);
            ok = status >= 0 || failStatus(walk, status);
            walk.removedAny = walk.removedAny || ok;
        } else {
            ok = removeByPath(walk, INVALID_FILE_ATTRIBUTES, RemoveDirectoryA);
        }
    }
    closeFolder(walk, folder);
    walk.folders.pop_back();
    if (!walk.folders.empty()) {
        walk.name.resize(walk.folders.back().nameLength);
        walk.wide.resize(walk.folders.back().wideLength);
    }
    return ok;
}

// One entry of the current folder, as the walk finds it on the disk now.
bool visitByHandle(Walk& walk, Folder& folder, const Entry& entry) {
    HANDLE handle;
    NtStatus status = 0;
    DWORD attributes;
    const Kind kind = classify(walk, folder, entry, handle, status, attributes);
    const bool isFolder = kind == Kind::Folder || kind == Kind::FolderLink ||
                          (kind == Kind::Link && (attributes & FILE_ATTRIBUTE_DIRECTORY));
    if (folder.chosenParent && kind != Kind::Gone && isFolder != folder.expectDirectory) {
        // The chart showed the other kind: what stands there now was not chosen.
        if (handle)
            walk.nt->close(handle);
        return fail(walk, folder.expectDirectory ? ERROR_DIRECTORY : ERROR_ACCESS_DENIED);
    }
    switch (kind) {
    case Kind::Gone:
        if (status == ntNameNotFound || status == ntPathNotFound)
            return !folder.chosenParent || fail(walk, ERROR_FILE_NOT_FOUND);
        return failStatus(walk, status);
    case Kind::FolderLink:
        return fail(walk, ERROR_NOT_SUPPORTED, folderLinkReason);
    case Kind::Folder:
        return enterFolder(walk, handle, nameOf(folder, entry), entry.nameLength);
    case Kind::File:
    case Kind::Link:
        if (!walk.deleting) {
            if (handle)
                walk.nt->close(handle);
            return true;
        }
        if (!handle)
            status = replaceAndDelete(walk, folder.handle, nameOf(folder, entry), entry.nameLength);
        else {
            status = dispose(*walk.nt, handle, attributes);
            walk.nt->close(handle);
            walk.removedAny = walk.removedAny || status >= 0;
        }
        return status >= 0 || failStatus(walk, status);
    }
    return false;
}

bool visitByPath(Walk& walk, Folder& folder, const Entry& entry) {
    const bool isFolder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (folder.chosenParent && isFolder != folder.expectDirectory)
        return fail(walk, folder.expectDirectory ? ERROR_DIRECTORY : ERROR_ACCESS_DENIED);
    // Windows 95 and 98 have no links; Wine reporting one of them lists a link to a folder so, and
    // a path through it would reach what it points to.
    if (isFolder && (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return fail(walk, ERROR_NOT_SUPPORTED, folderLinkReason);
    if (isFolder) {
        walk.path += '\\';
        walk.folders.emplace_back();
        walk.folders.back().pathLength = walk.path.size();
        return readFolderByPath(walk, walk.folders.back());
    }
    if (!walk.deleting)
        return true;
    if (removeByPath(walk, entry.attributes, DeleteFileA))
        return true;
    // Gone already: what was to be removed is not there.
    return (!folder.chosenParent && walk.fault->error == ERROR_FILE_NOT_FOUND);
}

// Depth first with a stack of folders, so that the deepest tree is walked on a small stack: each
// folder is emptied and removed before the next entry of its parent is taken, and the first
// failure ends the whole walk.
bool run(Walk& walk) {
    while (!walk.folders.empty()) {
        if (walk.idle)
            walk.idle(walk.context);
        Folder& folder = walk.folders.back();
        if (folder.next == folder.entries.size()) {
            if (!leaveFolder(walk))
                return false;
            if (!walk.folders.empty())
                walk.path.resize(walk.folders.back().pathLength);
            continue;
        }
        const Entry entry = folder.entries[folder.next++];
        const size_t depth = walk.folders.size();
        appendNarrow(walk.path, nameOf(folder, entry), entry.nameLength);
        if (!(walk.nt ? visitByHandle(walk, folder, entry) : visitByPath(walk, folder, entry)))
            return false;
        if (walk.folders.size() == depth) // a file or link, done
            walk.path.resize(folder.pathLength);
    }
    return true;
}

// Opens the folder at path (as listed, ending in a backslash) step by step from its drive's root,
// each step as itself: a path that now leads through a link is not the one the chart showed.
bool openParent(Walk& walk, const std::string& path, HANDLE& handle) {
    const NativeCalls& nt = *walk.nt;
    std::wstring wide = diskPath(path);
    if (wide.size() < 7)
        return fail(walk, ERROR_INVALID_NAME);
    wide[1] = L'?'; // "\??\C:\..."
    walk.wide = wide;
    walk.path = path.substr(0, 3);
    // Under Wine the folder of the chosen entry takes the temporary file that replaces a file; a
    // handle asking for that right elsewhere could fail where only reading is allowed.
    const ACCESS_MASK last = nt.handlesFollowLinks ? FILE_ADD_FILE : 0;
    NtStatus status = openAt(nt, nullptr, wide.data(), 7, FILE_LIST_DIRECTORY | (wide.size() == 7 ? last : 0),
                             ntDirectoryFile, handle);
    if (status < 0)
        return failStatus(walk, status);
    if (nt.handlesFollowLinks && !handleName(nt, handle, walk.name)) {
        nt.close(handle);
        return fail(walk, ERROR_INVALID_NAME);
    }
    if (!walk.name.empty() && walk.name.back() == L'\\')
        walk.name.pop_back();
    for (size_t start = 7; start < wide.size();) {
        size_t end = wide.find(L'\\', start);
        if (end == std::wstring::npos)
            end = wide.size();
        const wchar_t* step = wide.data() + start;
        const size_t units = end - start;
        HANDLE next;
        appendNarrow(walk.path, step, units);
        walk.path += '\\';
        status = openAt(nt, handle, step, units,
                        FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | (end + 1 >= wide.size() ? last : 0),
                        ntDirectoryFile | ntOpenReparsePoint, next);
        nt.close(handle);
        if (status < 0)
            return failStatus(walk, status);
        handle = next;
        const bool itself =
            nt.handlesFollowLinks ? namedAsItself(walk, handle, step, units) : !isLink(nt, handle);
        if (!itself) {
            nt.close(handle);
            return fail(walk, ERROR_PATH_NOT_FOUND);
        }
        walk.name += L'\\';
        walk.name.append(step, reportedLength(step, units));
        start = end + 1;
    }
    return true;
}

// The chosen entry as its folder lists it now, by its exact name: a search by name alone would
// also find another entry of the same name in other letter case, or of the same short name.
bool lookUp(Walk& walk, Folder& parent, const std::wstring& name) {
    Folder all;
    all.handle = parent.handle;
    if (!readFolder(walk, all))
        return false;
    for (const Entry& entry : all.entries)
        if (entry.nameLength == name.size() &&
            name.compare(0, name.size(), nameOf(all, entry), entry.nameLength) == 0) {
            addEntry(parent, name.data(), name.size(), entry.attributes, entry.reparseTag);
            return true;
        }
    appendNarrow(walk.path, name.data(), name.size());
    return fail(walk, ERROR_FILE_NOT_FOUND);
}

bool walkAll(Walk& walk, const Folder& parent, bool deleting) {
    walk.deleting = deleting;
    walk.folders.assign(1, parent);
    walk.path.resize(parent.pathLength);
    walk.name.resize(parent.nameLength);
    walk.wide.resize(parent.wideLength);
    bool ok = run(walk);
    while (!walk.folders.empty()) {
        closeFolder(walk, walk.folders.back());
        walk.folders.pop_back();
    }
    return ok;
}

} // namespace

RemovalOutcome removeEntry(const std::string& parent, const std::string& name, bool directory,
                           RemovalFault& fault, RemovalIdle idle, void* context) {
    Walk walk;
    walk.nt = wideRoute() ? nativeCalls() : nullptr;
    walk.fault = &fault;
    walk.idle = idle;
    walk.context = context;
    walk.buffer.resize(listingBufferSize);
    Folder top;
    top.chosenParent = true;
    top.expectDirectory = directory;
    if (walk.nt) {
        if (!openParent(walk, parent, top.handle))
            return RemovalOutcome::Untouched;
    } else {
        walk.path = parent;
    }
    top.pathLength = walk.path.size();
    top.nameLength = walk.name.size();
    top.wideLength = walk.wide.size();
    // On the path route the look-up lists the parent by its path.
    bool ok = lookUp(walk, top, wideOf(name));
    // A directory is checked whole before anything of it is deleted.
    if (ok && directory)
        ok = walkAll(walk, top, false);
    if (ok)
        ok = walkAll(walk, top, true);
    if (top.handle)
        walk.nt->close(top.handle);
    if (ok)
        return RemovalOutcome::Removed;
    return walk.removedAny ? RemovalOutcome::Partial : RemovalOutcome::Untouched;
}
