#include "app/clipboard.h"

#include "app/mainwindow.h"
#include "app/startup.h"
#include "model/sizetree.h"
#include "pie/paint.h"
#include "pie/pieview.h"
#include "settings/settings.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The code page in which other programs read CF_TEXT: the system's ANSI code page, which this
// program's own may differ from (it runs in UTF-8 where Windows allows).
UINT systemAnsiCodePage() {
    char text[8];
    if (GetLocaleInfoA(LOCALE_SYSTEM_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE, text, sizeof text) > 0)
        if (UINT codePage = static_cast<UINT>(std::strtoul(text, nullptr, 10)))
            return codePage;
    return CP_ACP;
}

// A movable block holding size bytes of data; null when there is no memory.
HGLOBAL blockOf(const void* data, size_t size) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
    if (block) {
        std::memcpy(GlobalLock(block), data, size);
        GlobalUnlock(block);
    }
    return block;
}

// The caption as CF_UNICODETEXT and as CF_TEXT, each with its terminating null. A character the
// ANSI code page lacks becomes its nearest letter there, or "?"; the Unicode form keeps it.
bool captionBlocks(const std::string& caption, HGLOBAL& unicode, HGLOBAL& ansi) {
    const int length = static_cast<int>(caption.size()) + 1;
    std::wstring wide(
        static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, caption.c_str(), length, nullptr, 0)), L'\0');
    if (wide.empty())
        wide.assign(1, L'\0');
    else
        MultiByteToWideChar(CP_ACP, 0, caption.c_str(), length, &wide[0], static_cast<int>(wide.size()));
    const UINT codePage = systemAnsiCodePage();
    const int wideLength = static_cast<int>(wide.size());
    std::string text(static_cast<size_t>(WideCharToMultiByte(codePage, 0, wide.c_str(), wideLength, nullptr,
                                                             0, nullptr, nullptr)),
                     '\0');
    if (text.empty())
        text.assign(1, '\0');
    else
        WideCharToMultiByte(codePage, 0, wide.c_str(), wideLength, &text[0], static_cast<int>(text.size()),
                            nullptr, nullptr);
    unicode = blockOf(wide.c_str(), wide.size() * sizeof(wchar_t));
    ansi = blockOf(text.c_str(), text.size());
    if (unicode && ansi)
        return true;
    if (unicode)
        GlobalFree(unicode);
    if (ansi)
        GlobalFree(ansi);
    return false;
}

} // namespace

void copyPieToClipboard() {
    if (!pieView.currentNode)
        return;
    // Sized to the text: a fixed block would cut, or overrun, a long path.
    HGLOBAL unicode, block;
    if (!captionBlocks("Piechart of " + pathOf(pieView.currentNode), unicode, block))
        return;

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
            SetClipboardData(CF_UNICODETEXT, unicode);
            CloseClipboard();
            return;
        }
        CloseClipboard();
    }
    DeleteEnhMetaFile(metafile);
    GlobalFree(block);
    GlobalFree(unicode);
}
