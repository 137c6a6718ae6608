// Times one paint of the pie window for a directory of 1,000,000 files ("Show files" on) and for
// one of 100,000 subdirectories, counts the GDI primitives of each paint (recorded into an
// enhanced metafile, which keeps one record per call), and times the hit test of one mouse move
// over each chart.
#include "model/scanthread.h"
#include "model/sizetree.h"
#include "model/survey.h"
#include "pie/handles.h"
#include "pie/paint.h"
#include "pie/piewindow.h"
#include "pie/pieview.h"
#include "settings/settings.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

int CALLBACK countRecord(HDC, HANDLETABLE*, const ENHMETARECORD*, int, LPARAM data) {
    ++*reinterpret_cast<unsigned*>(data);
    return 1;
}

double nowMs() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void measure(const char* what, HWND window, int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        InvalidateRect(window, nullptr, TRUE);
        double start = nowMs();
        UpdateWindow(window);
        times.push_back(nowMs() - start);
    }
    std::sort(times.begin(), times.end());
    HDC record = CreateEnhMetaFileA(nullptr, nullptr, nullptr, nullptr);
    paintPie(window, record, pieView, false);
    HENHMETAFILE metafile = CloseEnhMetaFile(record);
    unsigned records = 0;
    EnumEnhMetaFile(nullptr, metafile, countRecord, &records, nullptr);
    DeleteEnhMetaFile(metafile);
    std::printf("paint of %-28s %6.1f ms (median of %d), %u GDI records\n", what, times[times.size() / 2],
                runs, records);

    // Mouse moves at 360 points around the chart, halfway to the rim.
    RECT client;
    GetClientRect(window, &client);
    const double half = std::min(client.right, client.bottom) / 4.0;
    std::vector<double> moves;
    for (int degree = 0; degree < 360; ++degree) {
        const double radians = degree * 3.141592653589793 / 180;
        LPARAM point = MAKELPARAM(client.right / 2 + static_cast<int>(half * std::cos(radians)),
                                  client.bottom / 2 - static_cast<int>(half * std::sin(radians)));
        double start = nowMs();
        SendMessageA(window, WM_MOUSEMOVE, 0, point);
        moves.push_back(nowMs() - start);
    }
    std::sort(moves.begin(), moves.end());
    std::printf("hit test over %-23s %6.3f ms (median of %zu), %.3f ms at most\n", what, moves[moves.size() / 2],
                moves.size(), moves.back());
}

} // namespace

int main() {
    InitCommonControls();
    HINSTANCE instance = GetModuleHandleA(nullptr);
    registerPieWindowClass(instance);
    waitCursor = arrowCursor = LoadCursorA(nullptr, IDC_ARROW);
    HWND window =
        CreateWindowExA(0, PieClassName.c_str(), "paint benchmark", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                        800, 600, nullptr, nullptr, instance, nullptr);

    DriveSurvey survey;
    survey.rootPath = "C:\\";
    survey.clusterSize = 4096;
    survey.driveIndex = 2;
    survey.driveType = DRIVE_FIXED;
    survey.totalClusters = 100000000;
    survey.root = new DirNode;
    survey.root->name = survey.rootPath;
    survey.root->survey = &survey;
    survey.complete = true;
    driveTable.slots[2].store(&survey);

    DirNode* files = new DirNode;
    files->name = "Files";
    files->parent = survey.root;
    files->survey = &survey;
    files->files = new SizeSortedArray<FileEntry>;
    files->files->items.reserve(1000000);
    for (int i = 0; i < 1000000; ++i)
        files->files->items.push_back(
            new FileEntry{"file" + std::to_string(i), static_cast<uint64_t>(1 + i % 7)});
    sortBySize(*files->files);
    for (FileEntry* entry : files->files->items)
        files->ownClusters += entry->clusters;
    files->totalClusters = files->ownClusters;
    files->filesListed = true;
    appendUnsorted(survey.root->children, files);

    DirNode* folders = new DirNode;
    folders->name = "Folders";
    folders->parent = survey.root;
    folders->survey = &survey;
    for (int i = 0; i < 100000; ++i) {
        DirNode* child = new DirNode;
        child->name = "dir" + std::to_string(i);
        child->parent = folders;
        child->survey = &survey;
        child->totalClusters = 1 + i % 13;
        folders->totalClusters += child->totalClusters;
        appendUnsorted(folders->children, child);
    }
    sortBySize(folders->children);
    appendUnsorted(survey.root->children, folders);

    pieView.currentDrive = 2;
    showFiles.value = 1;
    pieView.currentNode = files;
    measure("1,000,000 files", window, 5);
    showFiles.value = 0;
    pieView.currentNode = folders;
    measure("100,000 subdirectories", window, 5);

    pieView.currentNode = nullptr;
    driveTable.slots[2].store(nullptr);
    DestroyWindow(window);
    destroyNode(survey.root);
    return 0;
}
