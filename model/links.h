// Files of several names (hard links). Such a file takes its clusters once, so it counts once: in
// the lowest folder that holds all its names, and so in every folder above that one, and in no
// folder below it. Each folder's total is then the space that deleting it would free.
//
// A scan counts every name where it is listed and logs the names that carry a file number; when
// the walk is done, settleNames finds the numbers logged more than once and moves each such file
// to its folder. Only the names of files with several names are kept, in the survey, for the file
// lists, the chart's texts and deletions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct DirNode;
struct DriveSurvey;

// One name of a file that has several, kept in the survey sorted by file number.
struct LinkedName {
    uint64_t id = 0;
    DirNode* folder = nullptr;
    uint64_t clusters = 0; // of the file, counted once at the folder of its names
};

// A file of a folder that may have other names: its number and the clusters counted for it.
struct FileMark {
    uint64_t id;
    uint64_t clusters;
};

// The names a scan logged, 16 bytes each, in blocks of a fixed size: growing never copies, and a
// scan of a million files holds 16 MB at most for it. Freed by settleNames.
struct NameLog {
    struct Name {
        uint64_t id;
        uint32_t folder;   // index into folders
        uint32_t clusters; // below bigMark; else bigMark + an index into big
    };
    static constexpr size_t blockNames = 4096;
    static constexpr uint32_t bigMark = 0x80000000u;
    std::vector<Name*> blocks;
    size_t count = 0;
    std::vector<DirNode*> folders; // each folder that logged a name, once
    std::vector<uint64_t> big;     // cluster counts that do not fit 31 bits

    NameLog() = default;
    NameLog(const NameLog&) = delete;
    NameLog& operator=(const NameLog&) = delete;
    ~NameLog();
};

// Logs a name of folder that counted clusters for the file with number id (never 0).
void logName(NameLog& log, uint64_t id, DirNode* folder, uint64_t clusters);
// The log's bytes per name, for the benchmarks.
double logBytesPerName(const NameLog& log);

// Moves every file logged under several names (equal number and equal clusters: two files that
// only share a number, as files of two Linux file systems may, stay apart) from the folders of its
// names to their lowest common folder, keeps its names in survey->linkedNames and empties the log.
// Each node whose children's order may have changed is added to reorder.
void settleNames(DriveSurvey* survey, NameLog& log, std::vector<DirNode*>& reorder);

// The kept names of the file with number id: [first, last) of survey->linkedNames; empty when
// the file has one name.
void linkedNamesOf(const DriveSurvey* survey, uint64_t id, size_t& first, size_t& last);
// The folder a file of several names counts in, or null for a file of one name.
DirNode* countingFolder(const DriveSurvey* survey, uint64_t id);
DirNode* lowestCommonFolder(DirNode* a, DirNode* b);

// Bookkeeping after the name of file id in dir was deleted on disk: the file's clusters move to
// the folder of its remaining names, and the file lists that show them are read again when next
// shown. Nothing is freed.
void unlinkName(DirNode* dir, uint64_t id);
// Bookkeeping before subtree is removed: the files it shares with folders outside it move to the
// folder of their remaining names (nothing of them is freed); the names it holds are forgotten.
// With keep, the names outside it are logged there, each counted in its own folder again,
// instead of being settled: the subtree is to be read again and settled with them.
void unlinkSubtree(DirNode* subtree, NameLog* keep = nullptr);
