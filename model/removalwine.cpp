// The handle route under Wine. Wine has the system's own calls, but they differ where deleting
// needs them most: a handle to a link reaches the link's target, and deleting through it deletes
// the target; a name relative to a folder's handle is found by the folder's path, not by the
// folder. So every entry opened must have the file number its folder's listing gave it (a folder
// replaced by another, or by a link, since the listing is not the one listed), a file must be
// named by the system as its folder's name followed by its own (a link to a file is named after
// its target, and is removed by renaming an empty file onto it), a folder's path must still lead
// to it before Wine removes it by that path, and what is mounted inside is never entered (Wine
// lists a folder where another file system is mounted as a reparse point, as Windows does a volume
// mounted in a folder; one where a folder of the same file system is bound, only the mount table
// tells).
#include "model/names.h"
#include "model/removalroute.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace {

// Wine shows a folder that Linux lets nobody write as read-only: nothing in it can be deleted.
const char* const lockedReason = "This folder may not be changed, so what it holds cannot be deleted.";

// The name the system gives the object a handle reaches, read into the walk's buffer (no listing
// is being read meanwhile).
bool handleName(RemovalWalk& walk, HANDLE handle, std::wstring& name) {
    std::vector<char>& buffer = walk.buffer;
    for (;;) {
        ULONG needed = 0;
        const NtStatus status = walk.nt->queryObject(handle, ntObjectNameInformation, buffer.data(),
                                                     static_cast<ULONG>(buffer.size()), &needed);
        if (status == ntInfoLengthMismatch || status == ntBufferOverflow) {
            if (buffer.size() >= 256 * 1024)
                return false;
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status < 0)
            return false;
        const NtName* found = reinterpret_cast<const NtName*>(buffer.data());
        name.assign(found->buffer, found->length / sizeof(wchar_t));
        return true;
    }
}

bool namedAs(const std::wstring& reported, const std::wstring& folder, const wchar_t* name, size_t units) {
    const size_t length = reportedLength(name, units);
    const size_t base = folder.size();
    return reported.size() == base + 1 + length && reported.compare(0, base, folder) == 0 &&
           reported[base] == L'\\' && reported.compare(base + 1, length, name, length) == 0;
}

// Whether the system names the handle as the entry name of the current folder. Wine names a
// handle after the deepest drive that holds it, so a folder that is also a drive's root is named
// after that drive: where the names differ, the folder's own name is read once and taken instead.
// (A link whose target's name differs from its own only by final dots or blanks would pass.)
bool namedInFolder(RemovalWalk& walk, RemovalFolder& folder, HANDLE handle, const wchar_t* name, size_t units) {
    std::wstring reported;
    if (!handleName(walk, handle, reported))
        return false;
    if (namedAs(reported, walk.at.reported, name, units))
        return true;
    std::wstring own;
    if (folder.verifiedName || !handleName(walk, folder.handle, own))
        return false;
    folder.verifiedName = true;
    if (!own.empty() && own.back() == L'\\')
        own.pop_back();
    if (own == walk.at.reported)
        return false;
    replaceReported(walk.at, own);
    return namedAs(reported, walk.at.reported, name, units);
}

// Whether the current folder's path, in the names as listed, still leads to the folder the walk
// holds.
bool stillThere(RemovalWalk& walk, const RemovalFolder& folder) {
    const std::wstring& path = walk.at.nt;
    HANDLE again;
    if (openAt(*walk.nt, nullptr, path.data(), path.size() > 7 ? path.size() - 1 : path.size(), FILE_READ_ATTRIBUTES,
               ntDirectoryFile, again) < 0)
        return false;
    const LONGLONG number = fileNumber(*walk.nt, again);
    walk.nt->close(again);
    return number != -1 && number == folder.number;
}

// Whether the folder lists name as a folder, not a link, of the given file number.
bool listedAsFolder(RemovalWalk& walk, HANDLE folderHandle, const wchar_t* name, size_t units, LONGLONG number) {
    RemovalFolder folder;
    folder.handle = folderHandle;
    if (!listByHandle(walk, folder, true))
        return false;
    for (const RemovalEntry& entry : folder.entries)
        if (entry.nameLength == units && folder.names.compare(entry.nameStart, units, name, units) == 0)
            return (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                   !(entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) && entry.fileId == number;
    return false;
}

bool nameRoot(RemovalWalk& walk, HANDLE root) {
    if (!handleName(walk, root, walk.at.reported))
        return false;
    if (!walk.at.reported.empty() && walk.at.reported.back() == L'\\')
        walk.at.reported.pop_back();
    return true;
}

// A step is itself when the system names it after its parent; one named after another drive is
// itself when its parent lists it as a folder of its file number.
bool stepIsItself(RemovalWalk& walk, HANDLE parent, HANDLE step, const wchar_t* name, size_t units) {
    std::wstring reported;
    if (!handleName(walk, step, reported))
        return false;
    if (!reported.empty() && reported.back() == L'\\') // a drive's root
        reported.pop_back();
    if (namedAs(reported, walk.at.reported, name, units)) {
        walk.at.reported = std::move(reported);
        return true;
    }
    const bool otherDrive = reported.compare(0, 7, walk.at.reported, 0, 7) != 0;
    walk.at.reported = std::move(reported);
    return otherDrive && listedAsFolder(walk, parent, name, units, fileNumber(*walk.nt, step));
}

// The chosen entry's folder takes the temporary file that replaces a link to a file; a handle
// asking for that right elsewhere could fail where only reading is allowed.
bool openParent(RemovalWalk& walk, const std::string& path, RemovalFolder& top) {
    if (!openBySteps(walk, path, FILE_ADD_FILE, ntOpenReparsePoint, StepCheck{nameRoot, stepIsItself}, top.handle))
        return false;
    top.number = fileNumber(*walk.nt, top.handle);
    top.verifiedName = true;
    walk.mounts = mountsInDrive(path);
    return !(attributesOf(*walk.nt, top.handle).attributes & FILE_ATTRIBUTE_READONLY) ||
           fail(walk, ERROR_ACCESS_DENIED, lockedReason);
}

bool list(RemovalWalk& walk, RemovalFolder& folder) {
    return listByHandle(walk, folder, true);
}

// Opening for deletion checks what Wine can tell without changing anything: that no other
// program holds the entry open without allowing its deletion, and the user's rights as Wine sees
// them.
Look look(RemovalWalk& walk, RemovalFolder& folder, const RemovalEntry& entry) {
    const NativeCalls& nt = *walk.nt;
    const wchar_t* name = nameOf(folder, entry);
    const bool listedFolder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // A folder of the same file system mounted there lists as a plain folder: the mount table tells.
    const std::string_view at = walk.at.shown;
    const bool link = listedFolder && ((entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
                                       isMountPoint(walk.mounts, at.substr(0, folder.pathLength),
                                                    at.substr(folder.pathLength)));
    if (link || (listedFolder && (entry.attributes & FILE_ATTRIBUTE_READONLY))) {
        Look look = link ? refusal(ERROR_NOT_SUPPORTED, folderLinkReason)
                         : refusal(ERROR_ACCESS_DENIED, lockedReason);
        look.folder = true;
        return look;
    }
    const ACCESS_MASK access =
        listedFolder ? FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD | DELETE |
                           FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES
                     : DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
    Look look;
    const NtStatus status = openAt(nt, folder.handle, name, entry.nameLength, access,
                                   (listedFolder ? ntDirectoryFile : ntNonDirectoryFile) | ntOpenReparsePoint,
                                   look.handle);
    if (status == ntNameNotFound || status == ntPathNotFound)
        return look;
    if (status < 0)
        return refusal(nt.dosError(status));
    look.number = fileNumber(nt, look.handle);
    if (look.number != entry.fileId) {
        nt.close(look.handle);
        return refusal(ERROR_PATH_NOT_FOUND, changedReason);
    }
    look.folder = listedFolder;
    if (listedFolder) {
        look.decision = Decision::Enter;
        return look;
    }
    if (namedInFolder(walk, folder, look.handle, name, entry.nameLength)) {
        look.attributes = attributesOf(nt, look.handle).attributes;
        look.decision = Decision::Delete;
        return look;
    }
    nt.close(look.handle);
    look.handle = nullptr;
    look.decision = Decision::Replace;
    return look;
}

struct RenameInfo {
    BOOLEAN replace;
    HANDLE root;
    ULONG nameBytes;
    wchar_t name[1];
};

// Renaming onto a name replaces the entry of that name itself: a new empty file takes the link's
// name, and is then deleted as itself. The folder's path is checked before the temporary file is
// made there, and the temporary file shows again that it leads to the folder the walk checked,
// before anything is renamed.
NtStatus replaceAndDelete(RemovalWalk& walk, RemovalFolder& folder, const wchar_t* name, size_t units) {
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
        const NtObject object = {sizeof object, folder.handle, &ntName, 0, nullptr, nullptr};
        NtIoStatus io = {};
        status = nt.create(&temporary, DELETE | SYNCHRONIZE, &object, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                           ntShareAll, 2 /* FILE_CREATE */, ntNonDirectoryFile | ntSynchronous, nullptr, 0);
    }
    if (status < 0)
        return status;
    NtIoStatus io = {};
    if (namedInFolder(walk, folder, temporary, temporaryName, length)) {
        std::vector<char> rename(std::max(sizeof(RenameInfo), offsetof(RenameInfo, name) + units * sizeof(wchar_t)));
        RenameInfo* info = reinterpret_cast<RenameInfo*>(rename.data());
        info->replace = TRUE;
        info->root = folder.handle;
        info->nameBytes = static_cast<ULONG>(units * sizeof(wchar_t));
        memcpy(info->name, name, units * sizeof(wchar_t));
        status = nt.setFile(temporary, &io, info, static_cast<ULONG>(rename.size()), ntFileRenameInformation);
    } else {
        status = ntPathNotFound;
    }
    const BOOLEAN yes = TRUE;
    const NtStatus deleted = nt.setFile(temporary, &io, &yes, sizeof yes, ntFileDispositionInformation);
    nt.close(temporary);
    if (status < 0)
        return status;
    walk.removedAny = true; // the link is gone, whatever becomes of the file in its place
    return deleted;
}

// Whether the folder still lists an entry of the file number. Wine grants every right a handle
// asks for and accepts a deletion, and then fails to unlink, without a word, what Linux does not
// let the user delete; a folder that still holds such an entry cannot be removed, and the chosen
// entry is looked for in its folder's listing once it should be gone.
bool stillListed(RemovalWalk& walk, const RemovalFolder& folder, LONGLONG number) {
    RemovalFolder now;
    now.handle = folder.handle;
    if (!listByHandle(walk, now, true))
        return false;
    for (const RemovalEntry& entry : now.entries)
        if (entry.fileId == number)
            return true;
    return false;
}

bool removeFile(RemovalWalk& walk, RemovalFolder& folder, const RemovalEntry& entry, Look& look) {
    NtStatus status;
    if (look.decision == Decision::Replace) {
        status = replaceAndDelete(walk, folder, nameOf(folder, entry), entry.nameLength);
    } else {
        status = dispose(*walk.nt, look.handle, look.attributes);
        walk.nt->close(look.handle);
        look.handle = nullptr;
        if (status >= 0 && folder.chosenParent && stillListed(walk, folder, entry.fileId))
            return fail(walk, ERROR_ACCESS_DENIED);
        walk.removedAny = walk.removedAny || status >= 0;
    }
    return status >= 0 || failStatus(walk, status);
}

// Wine removes a folder by the path it had when it was opened, when its handle is closed.
bool removeFolder(RemovalWalk& walk, RemovalFolder& folder) {
    if (!stillThere(walk, folder))
        return fail(walk, ERROR_PATH_NOT_FOUND);
    const NtStatus status = dispose(*walk.nt, folder.handle, attributesOf(*walk.nt, folder.handle).attributes);
    if (status == ntDirectoryNotEmpty) {
        // Emptied, as Wine said: an entry left there is one Linux did not let go.
        RemovalFolder left;
        left.handle = folder.handle;
        if (listByHandle(walk, left, true) && !left.entries.empty()) {
            appendNarrow(walk.at.shown, nameOf(left, left.entries.front()), left.entries.front().nameLength);
            return fail(walk, ERROR_ACCESS_DENIED);
        }
    }
    if (status < 0)
        return failStatus(walk, status);
    walk.nt->close(folder.handle);
    folder.handle = nullptr;
    const RemovalFolder& parent = walk.folders[walk.folders.size() - 2];
    if (parent.chosenParent && stillListed(walk, parent, folder.number))
        return fail(walk, ERROR_ACCESS_DENIED);
    walk.removedAny = true;
    return true;
}

} // namespace

const RemovalRoute wineRoute = {openParent, list, look, removeFile, removeFolder, false};
