#include "app/clipboard.h"

#include "app/mainwindow.h"
#include "app/startup.h"
#include "model/sizetree.h"
#include "pie/paint.h"
#include "pie/pieview.h"
#include "settings/settings.h"

#include <windows.h>

#include <string>

void copyPieToClipboard() {
    if (!pieView.currentNode)
        return;
    // Sized to the text: a fixed block would cut, or overrun, a long path.
    const std::string text = "Piechart of " + pathOf(pieView.currentNode);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, text.size() + 1);
    if (!block)
        return;
    lstrcpyA(static_cast<char*>(GlobalLock(block)), text.c_str());
    GlobalUnlock(block);

    // The frame in hundredths of a millimetre, from the screen's size in millimetres and pixels.
    RECT frame;
    GetClientRect(PieWindow, &frame);
    HDC screen = GetDC(PieWindow);
    const int horizontalSize = GetDeviceCaps(screen, HORZSIZE),
              verticalSize = GetDeviceCaps(screen, VERTSIZE);
    const int horizontalPixels = GetDeviceCaps(screen, HORZRES),
              verticalPixels = GetDeviceCaps(screen, VERTRES);
    const int horizontal = horizontalSize * 100 / horizontalPixels,
              vertical = verticalSize * 100 / verticalPixels;
    frame.left *= horizontal;
    frame.right *= horizontal;
    frame.top *= vertical;
    frame.bottom *= vertical;
    // The description ends in two nulls: the string's own and one more.
    const std::string description = ProductTitle + '\0';
    HDC record = CreateEnhMetaFileA(screen, nullptr, &frame, description.c_str());
    ReleaseDC(PieWindow, screen);
    paintPie(PieWindow, record, pieView, false);
    HENHMETAFILE metafile = CloseEnhMetaFile(record);

    if (OpenClipboard(MainWindow)) {
        if (EmptyClipboard()) {
            SetClipboardData(CF_ENHMETAFILE, metafile);
            SetClipboardData(CF_TEXT, block);
            CloseClipboard();
            return;
        }
        CloseClipboard();
    }
    DeleteEnhMetaFile(metafile);
    GlobalFree(block);
}
