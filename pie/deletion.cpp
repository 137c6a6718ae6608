#include "pie/deletion.h"

#include "app/mainwindow.h"
#include "model/scan.h"
#include "model/scanthread.h"
#include "model/sizetree.h"
#include "pie/pieview.h"
#include "pie/texts.h"
#include "res/resource.h"
#include "settings/settings.h"

#include <commctrl.h>

#include <cstdio>

uint32_t lastDeleteError;

namespace {

constexpr UINT confirmStyle = MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2;

bool confirm(HWND window, const std::string& text, unsigned captionId) {
    return MessageBoxA(window, text.c_str(), loadText(captionId, 40).c_str(), confirmStyle) == IDYES;
}

// A directory link is removed as itself, never through its target: on Windows RemoveDirectoryA
// takes away a junction or directory symlink and leaves what it points at alone.
bool removeLink(const std::string& pathWithoutSlash) {
    if (RemoveDirectoryA(pathWithoutSlash.c_str()))
        return true;
    lastDeleteError = GetLastError();
    return false;
}

void reportFailure() {
    MessageBeep(0);
    const char* title = ProductTitle.c_str();
    switch (lastDeleteError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        if (MessageBoxA(PieWindow, loadText(IDS_NOT_FOUND_REFRESH, 40).c_str(), title,
                        MB_OKCANCEL | MB_ICONHAND) == IDOK)
            rescanCurrentDrive();
        break;
    case ERROR_ACCESS_DENIED:
        MessageBoxA(PieWindow, loadText(IDS_ACCESS_DENIED, 40).c_str(), title, MB_ICONHAND);
        break;
    default: {
        char text[40];
        std::snprintf(text, sizeof text, "LastError = %ld", static_cast<long>(lastDeleteError));
        MessageBoxA(PieWindow, text, title, MB_ICONHAND);
        break;
    }
    }
}

bool removeHotFile(HWND window, DirNode* dir, FileEntry* entry) {
    std::string path = pathOf(dir) + entry->name;
    if (!confirm(window, path + " ?", IDS_REMOVE_FILE))
        return true;
    HCURSOR oldCursor = SetCursor(waitCursor);
    bool done = SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL) && DeleteFileA(path.c_str());
    lastDeleteError = GetLastError();
    if (done) {
        removeFile(dir, entry);
        InvalidateRect(window, nullptr, TRUE);
    }
    SetCursor(oldCursor);
    return done;
}

bool removeHotDirectory(HWND window, DirNode* dir, DirNode* child) {
    std::string path = pathOf(child);
    if (!confirm(window, path + " ?", IDS_REMOVE_DIRECTORY))
        return true;
    HCURSOR oldCursor = SetCursor(waitCursor);
    bool done = child->isLink ? removeLink(path.substr(0, path.size() - 1)) : removeTree(path);
    if (done) {
        SendMessageA(DirTreeView, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(child->treeItem));
        removeSubdirectory(dir, child);
        InvalidateRect(window, nullptr, TRUE);
    }
    SetCursor(oldCursor);
    return done;
}

} // namespace

bool removeTree(const std::string& path) {
    bool ok = true;
    WIN32_FIND_DATAA entry;
    HANDLE listing = findFirstEntry(path + "*.*", entry);
    if (listing != INVALID_HANDLE_VALUE) {
        do {
            std::string full = path + entry.cFileName;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (entry.cFileName[0] == '.')
                    continue;
                ok = isLinkEntry(entry) ? removeLink(full) : removeTree(full + "\\");
            } else {
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
                    ok = SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL) != FALSE;
                if (ok)
                    ok = DeleteFileA(full.c_str()) != FALSE;
                if (!ok)
                    lastDeleteError = GetLastError();
            }
        } while (ok && FindNextFileA(listing, &entry));
        FindClose(listing);
    }
    if (ok && !RemoveDirectoryA(path.substr(0, path.size() - 1).c_str())) {
        ok = false;
        lastDeleteError = GetLastError();
    }
    return ok;
}

void deleteHotItem(HWND window, PieView& view) {
    DirNode* dir = view.currentNode;
    bool done = true;
    if (view.deleteAction == deleteFile && view.hotItem.file)
        done = removeHotFile(window, dir, view.hotItem.file);
    else if (view.deleteAction == deleteDirectory && view.hotItem.directory)
        done = removeHotDirectory(window, dir, view.hotItem.directory);
    else
        return;
    // What the hot item named may be gone now; the next mouse move finds what is there.
    clearHotItem(view);
    if (!done)
        reportFailure();
}
