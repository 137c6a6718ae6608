#include "app/treeview.h"

#include "app/mainwindow.h"
#include "model/sizetree.h"
#include "model/survey.h"
#include "pie/pieview.h"
#include "settings/settings.h"

namespace {

HTREEITEM parentOf(HTREEITEM item) {
    return reinterpret_cast<HTREEITEM>(
        SendMessageA(DirTreeView, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(item)));
}

} // namespace

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
