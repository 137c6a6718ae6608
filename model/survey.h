// One drive: its root path, type, file system, the cluster size every count of it uses, its
// capacity and free space in clusters, and the root of its size tree.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/links.h"

struct DirNode;
struct FileTable;
class ScanSink;

struct DriveSurvey {
    DirNode* root = nullptr;
    uint64_t totalClusters = 0;
    uint64_t freeClusters = 0;
    uint32_t clusterSize = 0;
    uint32_t volumeClusterSize = 0; // as the volume reports it, whatever the override
    int32_t driveIndex = 0;
    uint32_t driveType = 0;
    // Set as the survey's last step; before that the user interface reads only node paths. Read
    // by the user interface while the scan thread may still be writing it.
    std::atomic<bool> complete{false};
    std::string rootPath;
    std::string fileSystem;
    // The listed names of the nodes and file entries whose listed name is not the shown one in
    // some letter case (ListedCase::Apart), by record.
    std::unordered_map<const void*, std::string> listedNames;
    // Whether listings give file numbers that tell the names of one file (NTFS, ReFS, and every
    // drive under Wine: Linux inode numbers), and the bits of them that do: a file table's names
    // are known by record number alone, which Windows' listings give with a sequence number.
    bool fileIds = false;
    uint64_t fileIdMask = ~0ull;
    // The names of every file that has several, sorted by file number.
    std::vector<LinkedName> linkedNames;
};

// Surveys and scans drive driveIndex (0 for A), showing its progress through the sink; returns
// when the survey is complete.
DriveSurvey* surveyDrive(int32_t driveIndex, ScanSink& sink);
void destroySurvey(DriveSurvey* survey);
// The cluster size reported by the Windows 95/98 VWIN32 extended free-space query, or 0 where
// that device does not exist (Windows NT and later, Wine).
uint32_t queryTrueClusterSize(const std::string& rootPath);

// The file table of an NTFS drive, read where the system lets the program read its volume, with
// files counted in the survey's clusters; null when the drive is to be walked: the volume cannot
// be opened, is not NTFS of a layout the reader knows, its table does not hold together, or it is
// not the drive's. Once the volume shows NTFS, the sink shows that the table is being read.
FileTable* readFileTable(const DriveSurvey* survey, ScanSink& sink);
