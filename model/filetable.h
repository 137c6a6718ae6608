// An NTFS drive read from its master file table: every file record of the volume in one pass of
// large sequential reads, instead of a listing per folder. The index it leaves holds what a walk
// would take from the folders' listings: each folder's subfolders in listing order (the volume's
// own collation of names) with their names, links and file records, and the clusters of the files
// each folder lists. Only Windows NT and later open a volume, and only for an elevated
// administrator there; every other drive is walked.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct DriveSurvey;
struct FileMark;

// One file record, by its number. A folder's size holds, once the table is built, the clusters of
// the files it lists.
struct TableRecord {
    // The bytes a file's data takes on the volume: none where its record holds it, the clusters
    // really given to a sparse or compressed stream (and to CompactOS's stream of a file it
    // compressed), else the unnamed stream's length.
    uint64_t size = 0;
    uint32_t reparseTag = 0;
    uint16_t sequence = 0;
    uint16_t flags = 0;
};

// One name of a record in a folder, as a listing shows it (never a separate short name).
struct TableName {
    uint32_t record = 0, parent = 0;
    uint32_t text = 0; // where its UTF-16 units start in the table's text
    uint16_t parentSequence = 0;
    uint8_t units = 0;
    uint8_t hasShortName = 0;
};

constexpr uint32_t noRecord = UINT32_MAX;

// A name of a file that has several: the folder that lists it, and the file.
struct TableLink {
    uint32_t parent = 0, record = 0;
};

struct FileTable {
    std::vector<TableRecord> records;
    // The names of files of several names, by folder; counted in no folder's size.
    std::vector<TableLink> links;
    // The names of folders, grouped by parent, each group in the order a listing gives them.
    std::vector<TableName> folders;
    std::vector<uint16_t> text;
    uint32_t root = noRecord; // the record of the drive's root
    uint64_t tableBytes = 0;  // of the file table read
    size_t files = 0;         // names of files counted
};

// Record flags.
enum : uint16_t {
    recordInUse = 1,
    recordFolder = 2,
    recordReparse = 4,
    recordDosName = 8,  // has a separate short name
    recordBad = 16,     // failed its checks twice: its folder is listed instead
    recordWalk = 32,    // a folder to list, with all below it: one of its entries could not be read
    recordListed = 64, // a folder already listed in some folder: none is listed twice
    recordNamed = 128, // a file with one name listed so far
    recordLinked = 256, // a file with several names listed
};

// Reads the file table of the survey's drive, counting files with the survey's cluster size; null
// when the drive is to be walked (not NTFS, the volume cannot be opened, a layout this reader does
// not know, a damaged table). The table is built on the calling thread.
FileTable* readFileTable(const DriveSurvey* survey);
void freeFileTable(FileTable* table);

// The bytes the index holds, for the benchmarks.
size_t footprintOf(const FileTable& table);

// The names of folder record's subfolders, in listing order: [first, last) of table.folders.
void subfoldersOf(const FileTable& table, uint32_t record, size_t& first, size_t& last);
// Adds to marks each file of several names that folder record lists, by record number, with the
// clusters it takes on the survey's drive.
void linkedFilesOf(const FileTable& table, const DriveSurvey* survey, uint32_t record, std::vector<FileMark>& marks);
