#include "pie/deletion.h"

#include "model/links.h"
#include "model/names.h"
#include "model/removal.h"
#include "model/scan.h"
#include "model/scanthread.h"
#include "model/scansink.h"
#include "model/sizetree.h"
#include "pie/handles.h"
#include "pie/pieview.h"
#include "pie/texts.h"
#include "res/resource.h"
#include "settings/settings.h"

#include <cstdio>

uint32_t lastDeleteError;

namespace {

constexpr UINT confirmStyle = MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2;

bool confirm(HWND window, const std::string& text, unsigned captionId) {
    return MessageBoxA(window, text.c_str(), loadText(captionId, 40).c_str(), confirmStyle) == IDYES;
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

void idle(void* pump) {
    (*static_cast<PaintPump*>(pump))();
}

// The system's own description of an error code, without its final line break.
std::string systemReason(DWORD code) {
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string reason = text ? text : "";
    if (text)
        LocalFree(text);
    while (!reason.empty() && (reason.back() == '\r' || reason.back() == '\n' || reason.back() == ' '))
        reason.pop_back();
    return reason;
}

// The box's text: what the code means to the program, then where it stopped, why, and what is left.
std::string failureText(const std::string& lead, const RemovalFault& fault, RemovalOutcome outcome) {
    std::string text = lead + "\n\n" + shownText(fault.path) + "\n" +
                       (fault.reason.empty() ? systemReason(fault.error) : fault.reason);
    if (outcome == RemovalOutcome::Untouched)
        text += "\nNothing was deleted.";
    else if (outcome == RemovalOutcome::Partial)
        text += "\nWhat was deleted before this is gone; the rest is still there.";
    return text;
}

void reportFailure(HWND window, ScanSink& tree, const RemovalFault& fault, RemovalOutcome outcome) {
    lastDeleteError = fault.error;
    MessageBeep(0);
    const char* title = ProductTitle.c_str();
    switch (lastDeleteError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        if (MessageBoxA(window, failureText(loadText(IDS_NOT_FOUND_REFRESH, 40), fault, outcome).c_str(),
                        title, MB_OKCANCEL | MB_ICONHAND) == IDOK)
            rescanCurrentDrive(tree);
        break;
    case ERROR_ACCESS_DENIED:
        MessageBoxA(window, failureText(loadText(IDS_ACCESS_DENIED, 40), fault, outcome).c_str(), title,
                    MB_ICONHAND);
        break;
    default: {
        char code[40];
        std::snprintf(code, sizeof code, "LastError = %ld", static_cast<long>(lastDeleteError));
        MessageBoxA(window, failureText(code, fault, outcome).c_str(), title, MB_ICONHAND);
        break;
    }
    }
}

// The confirmation shows the names as the chart does; the disk is reached by the listed names.
// Returns false, with the fault, when the file is still there.
bool removeHotFile(HWND window, DirNode* dir, FileEntry* entry, RemovalFault& fault,
                   RemovalOutcome& outcome) {
    std::string question = pathOf(dir) + entry->name + " ?";
    if (entry->fileId && countingFolder(dir->survey, entry->fileId))
        question += "\n\n" + loadText(IDS_REMOVE_LINK, 255);
    if (!confirm(window, question, IDS_REMOVE_FILE))
        return true;
    HCURSOR oldCursor = SetCursor(waitCursor);
    PaintPump pump;
    outcome = removeEntry(listedPathOf(dir), listedNameOf(dir, entry), false, fault, idle, &pump, entry->name);
    // Where a link was replaced by an empty file that then could not go, that file is still there.
    if (outcome == RemovalOutcome::Removed) {
        removeFile(dir, entry);
        InvalidateRect(window, nullptr, TRUE);
    }
    SetCursor(oldCursor);
    return outcome == RemovalOutcome::Removed;
}

// After a removal that stopped half-way the chart must not show what is gone: the directory is
// read again from the disk.
bool removeHotDirectory(HWND window, ScanSink& tree, DirNode* dir, DirNode* child, RemovalFault& fault,
                        RemovalOutcome& outcome) {
    if (!confirm(window, pathOf(child) + " ?", IDS_REMOVE_DIRECTORY))
        return true;
    HCURSOR oldCursor = SetCursor(waitCursor);
    PaintPump pump;
    outcome = removeEntry(listedPathOf(dir), listedNameOf(child), true, fault, idle, &pump, child->name);
    if (outcome == RemovalOutcome::Removed) {
        tree.removeItems(child);
        removeSubdirectory(dir, child);
    } else if (outcome == RemovalOutcome::Partial) {
        // What is left takes the folder's place in the model and the tree: its old items go before
        // its old nodes, the fresh ones are sorted into the level. A folder gone meanwhile goes;
        // one that cannot be listed now stays as it was.
        rereadDirectory(child, tree);
    }
    if (outcome != RemovalOutcome::Untouched)
        InvalidateRect(window, nullptr, TRUE);
    SetCursor(oldCursor);
    return outcome == RemovalOutcome::Removed;
}

} // namespace

void deleteHotItem(HWND window, PieView& view, ScanSink& tree) {
    // The drive's scan thread is about to select one of its items; none may go before that.
    if (driveTable.settling[view.currentDrive].load(std::memory_order_acquire))
        return;
    DirNode* dir = view.currentNode;
    RemovalFault fault;
    RemovalOutcome outcome = RemovalOutcome::Removed;
    bool done;
    if (view.deleteAction == deleteFile && view.hotItem.file)
        done = removeHotFile(window, dir, view.hotItem.file, fault, outcome);
    else if (view.deleteAction == deleteDirectory && view.hotItem.directory)
        done = removeHotDirectory(window, tree, dir, view.hotItem.directory, fault, outcome);
    else
        return;
    // What the hot item named may be gone now; the next mouse move finds what is there.
    clearHotItem(view);
    if (!done)
        reportFailure(window, tree, fault, outcome);
}
