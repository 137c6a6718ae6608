#include "app/treeview.h"

#include "app/mainwindow.h"

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
