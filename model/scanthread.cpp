#include "model/scanthread.h"

#include "model/scansink.h"
#include "model/sizetree.h"
#include "model/survey.h"

#include <windows.h>

DriveTable driveTable;

namespace {

DriveSurvey scanningSurvey;

// The walk keeps its own stack of open listings (see scanDirectory), so the thread's stack only
// holds fixed-size frames whatever the depth of the drive.
constexpr SIZE_T scanStackSize = 8192;

struct ThreadStart {
    ScanRequest request;
    ScanSink* sink;
};

DWORD WINAPI scanThreadMain(void* param) {
    // The request belongs to this thread: copy it and free it before anything else.
    ThreadStart* owned = static_cast<ThreadStart*>(param);
    const int32_t driveIndex = owned->request.driveIndex;
    const bool reselect = owned->request.reselect;
    const std::string path = std::move(owned->request.path);
    ScanSink& sink = *owned->sink;
    delete owned;

    DriveSurvey* survey = surveyDrive(driveIndex, sink);
    // Once stored, the survey belongs to the user interface, which may destroy it on a refresh or
    // when the window closes: the item to show is taken before, and its handle stays valid
    // because a settling slot is neither scanned again nor freed.
    DirNode* show = reselect ? findByPath(survey->root, path) : nullptr;
    const HTREEITEM item = (show ? show : survey->root)->treeItem;
    driveTable.settling[driveIndex].store(true, std::memory_order_relaxed);
    driveTable.slots[driveIndex].store(survey, std::memory_order_release);
    sink.selectItem(item);
    driveTable.settling[driveIndex].store(false, std::memory_order_release);
    return 0;
}

bool launch(const ScanRequest& request, ScanSink& sink) {
    ThreadStart* copy = new ThreadStart{request, &sink};
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

void startScan(const ScanRequest& request, ScanSink& sink) {
    driveTable.slots[request.driveIndex].store(scanningMark, std::memory_order_relaxed);
    if (!launch(request, sink))
        driveTable.slots[request.driveIndex].store(nullptr, std::memory_order_relaxed);
}

void rescanDrive(int32_t driveIndex, const std::string& path, ScanSink& sink) {
    DriveSurvey* survey = surveyInSlot(driveIndex);
    if (!survey || !survey->complete || driveTable.settling[driveIndex].load())
        return;
    ScanRequest request;
    request.driveIndex = driveIndex;
    request.reselect = true;
    request.path = path;
    // The items carry the nodes, so they go first.
    sink.removeItems(survey->root);
    destroySurvey(survey);
    startScan(request, sink);
}
