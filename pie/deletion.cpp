#include "pie/deletion.h"

#include "app/mainwindow.h"
#include "model/listing.h"
#include "model/scanthread.h"
#include "model/sizetree.h"
#include "pie/pieview.h"
#include "pie/texts.h"
#include "res/resource.h"
#include "settings/settings.h"

#include <commctrl.h>

#include <cstdio>
#include <vector>

uint32_t lastDeleteError;

namespace {

constexpr UINT confirmStyle = MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2;

bool confirm(HWND window, const std::string& text, unsigned captionId) {
    return MessageBoxA(window, text.c_str(), loadText(captionId, 40).c_str(), confirmStyle) == IDYES;
}

bool failed() {
    lastDeleteError = GetLastError();
    return false;
}

bool failWith(DWORD code) {
    lastDeleteError = code;
    return false;
}

// A long deletion lets the windows repaint every few hundredths of a second. Only paints are
// handled: a click or a key could act on the model while it is being changed.
struct PaintPump {
    static constexpr DWORD interval = 50; // milliseconds
    DWORD last = GetTickCount();

    void operator()() {
        if (GetTickCount() - last < interval)
            return;
        // A bounded number: a window that never validated itself would keep the walk here.
        MSG msg;
        for (int n = 0; n < 64 && PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE); ++n)
            DispatchMessageA(&msg);
        last = GetTickCount();
    }
};

// A file inside a tree being removed. Clearing the attributes of a link would change its target's,
// so a reparse point is deleted as it is.
bool removeTreeFile(const std::string& path, const ListedEntry& entry) {
    if ((entry.attributes & FILE_ATTRIBUTE_READONLY) && !isReparsePoint(entry) &&
        !setAttributesAt(path, FILE_ATTRIBUTE_NORMAL))
        return failed();
    return deleteFileAt(path) || failed();
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

// What the chart offered may have changed since the scan: the file is looked at again, and a
// directory that now stands in its place is left alone.
bool removeListedFile(const std::string& path) {
    ListedEntry now;
    if (!inspectEntry(path, now))
        return failed();
    if (isDirectory(now))
        return failWith(ERROR_ACCESS_DENIED);
    bool done = (isReparsePoint(now) || setAttributesAt(path, FILE_ATTRIBUTE_NORMAL)) && deleteFileAt(path);
    lastDeleteError = GetLastError();
    return done;
}

// The directory is looked at again: a link or other reparse point that now stands in its place is
// removed as itself, never walked, and a file there is left alone.
bool removeListedDirectory(const std::string& path) {
    const std::string self = path.substr(0, path.size() - 1);
    ListedEntry now;
    if (!inspectEntry(self, now))
        return failed();
    if (!isDirectory(now))
        return failWith(ERROR_DIRECTORY);
    if (isReparsePoint(now))
        return removeDirectoryAt(self) || failed();
    return removeTree(path);
}

// The confirmation shows the names as the chart does; the disk is reached by the listed names.
bool removeHotFile(HWND window, DirNode* dir, FileEntry* entry) {
    if (!confirm(window, pathOf(dir) + entry->name + " ?", IDS_REMOVE_FILE))
        return true;
    HCURSOR oldCursor = SetCursor(waitCursor);
    bool done = removeListedFile(listedPathOf(dir) + listedNameOf(dir, entry));
    if (done) {
        removeFile(dir, entry);
        InvalidateRect(window, nullptr, TRUE);
    }
    SetCursor(oldCursor);
    return done;
}

bool removeHotDirectory(HWND window, DirNode* dir, DirNode* child) {
    if (!confirm(window, pathOf(child) + " ?", IDS_REMOVE_DIRECTORY))
        return true;
    HCURSOR oldCursor = SetCursor(waitCursor);
    bool done = removeListedDirectory(listedPathOf(child));
    if (done) {
        SendMessageA(DirTreeView, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(child->treeItem));
        removeSubdirectory(dir, child);
        InvalidateRect(window, nullptr, TRUE);
    }
    SetCursor(oldCursor);
    return done;
}

} // namespace

// Depth first with an explicit stack of open listings, so that the deepest tree the scan counted
// is removed on a small stack; each directory is emptied and removed before the next entry of its
// parent is taken, and the first failure ends the whole walk.
bool removeTree(const std::string& path) {
    struct Level {
        Listing listing;
        std::string path; // as listed, ending in a backslash
    };
    std::vector<Level> levels;
    ListedEntry entry;
    auto enter = [&](std::string directory) {
        levels.push_back({Listing(), std::move(directory)});
        return openListing(levels.back().listing, levels.back().path, entry);
    };
    PaintPump pump;
    bool haveEntry = enter(path);
    bool ok = true;
    while (ok) {
        pump();
        Level& level = levels.back();
        if (haveEntry) {
            // "." and "..", and every directory whose name begins with a dot, are skipped.
            if (isDirectory(entry) && entry.name[0] != '.') {
                std::string inner = level.path + entry.name;
                if (!isReparsePoint(entry)) {
                    haveEntry = enter(inner + '\\');
                    continue;
                }
                ok = removeDirectoryAt(inner) || failed(); // a link goes as itself
            } else if (!isDirectory(entry)) {
                ok = removeTreeFile(level.path + entry.name, entry);
            }
            if (ok)
                haveEntry = nextEntry(level.listing, entry);
            continue;
        }
        closeListing(level.listing);
        if (!removeDirectoryAt(level.path.substr(0, level.path.size() - 1))) {
            ok = failed();
            break;
        }
        levels.pop_back();
        if (levels.empty())
            return true;
        haveEntry = nextEntry(levels.back().listing, entry);
    }
    for (Level& open : levels)
        closeListing(open.listing);
    return false;
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
