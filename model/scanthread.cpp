#include "model/scanthread.h"

#include "app/mainwindow.h"
#include "model/sizetree.h"
#include "model/survey.h"
#include "pie/pieview.h"

#include <windows.h>
#include <commctrl.h>

DriveTable driveTable;

namespace {

DriveSurvey scanningSurvey;

// The walk keeps its own stack of open listings (see scanDirectory), so the thread's stack only
// holds fixed-size frames whatever the depth of the drive.
constexpr SIZE_T scanStackSize = 8192;

DWORD WINAPI scanThreadMain(void* param) {
    // The request belongs to this thread: copy it and free it before anything else.
    ScanRequest* owned = static_cast<ScanRequest*>(param);
    const int32_t driveIndex = owned->driveIndex;
    const bool reselect = owned->reselect;
    const std::string path = std::move(owned->path);
    delete owned;

    DriveSurvey* survey = surveyDrive(driveIndex);
    // Once stored, the survey belongs to the user interface, which may destroy it on a refresh or
    // when the window closes: the item to show is taken before, and its handle stays valid
    // because a settling slot is neither scanned again nor freed.
    DirNode* show = reselect ? findByPath(survey->root, path) : nullptr;
    const LPARAM item = reinterpret_cast<LPARAM>((show ? show : survey->root)->treeItem);
    driveTable.settling[driveIndex].store(true, std::memory_order_relaxed);
    driveTable.slots[driveIndex].store(survey, std::memory_order_release);

    // The control reports no change when the item is selected already (the user clicked it while
    // the scan ran); the chart must still switch to the drive, so the selection is moved off and
    // back, which reports the change.
    if (SendMessageA(DirTreeView, TVM_GETNEXTITEM, TVGN_CARET, 0) == item)
        SendMessageA(DirTreeView, TVM_SELECTITEM, TVGN_CARET, 0);
    SendMessageA(DirTreeView, TVM_SELECTITEM, TVGN_CARET, item);
    driveTable.settling[driveIndex].store(false, std::memory_order_release);
    return 0;
}

bool launch(const ScanRequest& request) {
    ScanRequest* copy = new ScanRequest(request);
    HANDLE thread = CreateThread(nullptr, scanStackSize, scanThreadMain, copy, 0, nullptr);
    if (!thread) {
        delete copy;
        return false;
    }
    CloseHandle(thread);
    return true;
}

} // namespace

DriveSurvey* const scanningMark = &scanningSurvey;

DriveSurvey* surveyInSlot(int32_t driveIndex) {
    DriveSurvey* survey = driveTable.slots[driveIndex].load(std::memory_order_acquire);
    return survey == scanningMark ? nullptr : survey;
}

bool slotIsEmpty(int32_t driveIndex) {
    return driveTable.slots[driveIndex].load(std::memory_order_acquire) == nullptr;
}

void freeDriveTable() {
    for (int drive = 0; drive < 26; ++drive) {
        DriveSurvey* survey = driveTable.slots[drive].load(std::memory_order_acquire);
        if (survey && survey != scanningMark && !driveTable.settling[drive].load()) {
            driveTable.slots[drive].store(nullptr, std::memory_order_relaxed);
            destroySurvey(survey);
        }
    }
}

void startScan(const ScanRequest& request) {
    driveTable.slots[request.driveIndex].store(scanningMark, std::memory_order_relaxed);
    if (!launch(request))
        driveTable.slots[request.driveIndex].store(nullptr, std::memory_order_relaxed);
}

void rescanCurrentDrive() {
    if (pieView.currentNode)
        rescanDrive(pieView.currentDrive, pathOf(pieView.currentNode));
}

void rescanDrive(int32_t driveIndex, const std::string& path) {
    DriveSurvey* survey = surveyInSlot(driveIndex);
    if (!survey || !survey->complete || driveTable.settling[driveIndex].load())
        return;
    ScanRequest request;
    request.driveIndex = driveIndex;
    request.reselect = true;
    request.path = path;
    if (pieView.currentNode && pieView.currentDrive == driveIndex) {
        pieView.currentNode = nullptr;
        clearHotItem(pieView);
    }
    // The items carry the nodes, so they go first.
    SendMessageA(DirTreeView, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(survey->root->treeItem));
    destroySurvey(survey);
    startScan(request);
}
