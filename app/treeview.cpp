#include "app/treeview.h"

#include "app/mainwindow.h"
#include "model/scan.h"
#include "model/scansink.h"
#include "model/sizetree.h"
#include "model/survey.h"
#include "pie/pieview.h"
#include "settings/settings.h"

namespace {

HTREEITEM parentOf(HTREEITEM item) {
    return reinterpret_cast<HTREEITEM>(
        SendMessageA(DirTreeView, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(item)));
}

bool isWithin(const DirNode* node, const DirNode* folder) {
    for (; node; node = node->parent)
        if (node == folder)
            return true;
    return false;
}

class TreeViewSink final : public ScanSink {
public:
    HTREEITEM insertItem(DirNode* folder) override {
        return insertDirItem(folder->parent ? folder->parent->treeItem : nullptr, folder->name.c_str(), folder);
    }

    void sortChildren(const DirNode* folder) override {
        TVSORTCB sort = {};
        sort.hParent = folder->treeItem;
        sort.lpfnCompare = compareBySize;
        SendMessageA(DirTreeView, TVM_SORTCHILDRENCB, 1, reinterpret_cast<LPARAM>(&sort));
    }

    void showStatus(const char* text) override {
        PostMessageA(statusBar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text));
    }

    // The control reports no change when the item is selected already (the user clicked it while
    // the scan ran); the chart must still switch to the drive, so the selection is moved off and
    // back, which reports the change.
    void selectItem(HTREEITEM item) override {
        const LPARAM selected = SendMessageA(DirTreeView, TVM_GETNEXTITEM, TVGN_CARET, 0);
        if (selected == reinterpret_cast<LPARAM>(item))
            SendMessageA(DirTreeView, TVM_SELECTITEM, TVGN_CARET, 0);
        SendMessageA(DirTreeView, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
    }

    // Before the items go: deleting the selected one selects another, whose node the selection
    // change may make current, and that must stand.
    void removeItems(const DirNode* folder) override {
        if (isWithin(pieView.currentNode, folder)) {
            pieView.currentNode = nullptr;
            clearHotItem(pieView);
        } else if (isWithin(pieView.hotItem.directory, folder)) {
            clearHotItem(pieView);
        }
        SendMessageA(DirTreeView, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(folder->treeItem));
    }
};

TreeViewSink treeViewSink;

} // namespace

ScanSink& screenSink() {
    return treeViewSink;
}

HTREEITEM insertDirItem(HTREEITEM parent, const char* text, DirNode* node) {
    TVINSERTSTRUCTA insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM;
    insert.item.pszText = const_cast<char*>(text);
    insert.item.lParam = reinterpret_cast<LPARAM>(node);
    return reinterpret_cast<HTREEITEM>(
        SendMessageA(DirTreeView, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

bool isSameOrAncestor(HTREEITEM item, HTREEITEM candidate) {
    for (; item; item = parentOf(item))
        if (item == candidate)
            return true;
    return false;
}

void collapseOldBranch(HTREEITEM oldItem, HTREEITEM newItem) {
    if (!newItem || !oldItem || oldItem == newItem)
        return;
    while (oldItem && !isSameOrAncestor(newItem, oldItem)) {
        SendMessageA(DirTreeView, TVM_EXPAND, TVE_COLLAPSE, reinterpret_cast<LPARAM>(oldItem));
        oldItem = parentOf(oldItem);
    }
}

void onSelectionChanged(HWND mainWindow, const NMTREEVIEWA* change) {
    DirNode* node = reinterpret_cast<DirNode*>(change->itemNew.lParam);
    if (!change->itemNew.hItem || !node)
        return;
    SetWindowTextA(mainWindow, (WindowTitle + " - " + pathOf(node)).c_str());
    if (autoCollapse.value)
        collapseOldBranch(change->itemOld.hItem, change->itemNew.hItem);
    if (autoExpand.value)
        SendMessageA(DirTreeView, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(change->itemNew.hItem));
    if (node->survey->complete) {
        clearHotItem(pieView);
        pieView.currentNode = node;
        pieView.currentDrive = node->survey->driveIndex;
        InvalidateRect(PieWindow, nullptr, TRUE);
    }
}
