// Scans run on threads of their own, one per drive; the drive table tracks each drive letter.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

struct DriveSurvey;
class ScanSink;

// A slot is empty (null), scanning (scanningMark) or holds the drive's complete survey. The
// scan thread stores its survey with release order after completing it, and the user interface
// loads with acquire order, so a survey seen in a slot is seen complete. No locks.
struct DriveTable {
    std::atomic<DriveSurvey*> slots[26];
    // Set from just before the scan thread stores its survey until its sink has selected the item
    // to show (in the program, until the tree view has handled that message): the selection names
    // one of the survey's items, so until then the survey is neither scanned again nor freed.
    std::atomic<bool> settling[26];
};

extern DriveTable driveTable;
extern DriveSurvey* const scanningMark;

// The complete survey in the slot, or null while the slot is empty or scanning.
DriveSurvey* surveyInSlot(int32_t driveIndex);
bool slotIsEmpty(int32_t driveIndex);
// Empties every slot; slots still scanning or settling are left to their threads, which end with
// the process.
void freeDriveTable();

struct ScanRequest {
    int32_t driveIndex = 0;
    bool reselect = false;
    std::string path; // with reselect: the directory to select after the scan, as pathOf gives it
};

// Marks the slot scanning and starts the drive's thread, which shows the scan through the sink and
// ends by selecting the item of the folder to show; the caller has checked the slot was empty. A
// thread that cannot be started leaves the slot empty again, so the drive can be picked again.
void startScan(const ScanRequest& request, ScanSink& sink);
// Throws away the drive's tree, if it has a complete one that has settled, and scans it again,
// reselecting path (as pathOf gives it) at the end. The sink removes the old items first.
void rescanDrive(int32_t driveIndex, const std::string& path, ScanSink& sink);
