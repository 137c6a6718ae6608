// The path route of Windows 95 and 98: no handles of the kind the other routes use, and no links;
// every entry is reached by its path in the program's code page, by its short name where it has
// one.
#include "model/names.h"
#include "model/removalroute.h"

namespace {

bool openParent(RemovalWalk& walk, const std::string& path, RemovalFolder&) {
    walk.at.shown = path;
    return true;
}

bool list(RemovalWalk& walk, RemovalFolder& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((walk.at.shown + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return fail(walk, GetLastError());
    do {
        const char* reachable = reachableName(found);
        const std::wstring name = wideOf(reachable);
        const std::wstring alias = reachable == found.cFileName ? std::wstring() : wideOf(found.cFileName);
        if (!folder.dots.skip(name.data(), name.size()))
            addEntry(folder, name.data(), name.size(), alias.data(), alias.size(), found.dwFileAttributes, 0, -1);
    } while (FindNextFileA(search, &found));
    const DWORD error = GetLastError();
    FindClose(search);
    return error == ERROR_NO_MORE_FILES || fail(walk, error);
}

// The position names the entry.
Look look(RemovalWalk& walk, RemovalFolder&, const RemovalEntry&) {
    Look look;
    const DWORD attributes = GetFileAttributesA(walk.at.shown.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? look : refusal(error);
    }
    look.attributes = attributes;
    look.folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    look.decision = look.folder ? Decision::Enter : Decision::Delete;
    return look;
}

// Deletes the file or removes the directory at path, as remove does; a read-only one has that
// attribute cleared, and put back when it still cannot go.
bool removeByPath(RemovalWalk& walk, const std::string& path, DWORD attributes, BOOL(WINAPI* remove)(LPCSTR)) {
    if (remove(path.c_str()))
        return walk.removedAny = true;
    DWORD error = GetLastError();
    if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_READONLY)) {
        const DWORD cleared = attributes & settableAttributes & ~FILE_ATTRIBUTE_READONLY;
        if (SetFileAttributesA(path.c_str(), cleared ? cleared : FILE_ATTRIBUTE_NORMAL)) {
            if (remove(path.c_str()))
                return walk.removedAny = true;
            error = GetLastError();
            SetFileAttributesA(path.c_str(), attributes & settableAttributes);
        }
    }
    return fail(walk, error);
}

bool removeFile(RemovalWalk& walk, RemovalFolder&, const RemovalEntry&, Look& look) {
    return removeByPath(walk, walk.at.shown, look.attributes, DeleteFileA);
}

// Only a folder's path ends in a backslash, which goes; a file's name may end in the byte 0x5C, the
// second byte of a character of a double-byte code page.
bool removeFolder(RemovalWalk& walk, RemovalFolder&) {
    const std::string path = walk.at.shown.substr(0, walk.at.shown.size() - 1);
    return removeByPath(walk, path, GetFileAttributesA(path.c_str()), RemoveDirectoryA);
}

} // namespace

const RemovalRoute pathRoute = {openParent, list, look, removeFile, removeFolder, true};
