// An NTFS volume read from its master file table: every file record in one pass of large
// sequential reads, instead of a listing per folder. The index it leaves holds what a walk would
// take from the folders' listings: each folder's subfolders in listing order (the volume's own
// collation of names) with their names, links and file records, the clusters of the files each
// folder lists, and the names of files with several. Built from a source of the volume's bytes and
// nothing else, so that it runs, and is fuzzed, on any host; the survey opens the volume and checks
// that it is the drive's.
#pragma once

#include "model/ntfs.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct FileMark;

// Reads length bytes at offset of the volume into buffer; offset, length and buffer are multiples
// of the sector size (a volume is read without the system's cache).
struct VolumeSource {
    void* context = nullptr;
    bool (*read)(void* context, uint64_t offset, void* buffer, size_t length) = nullptr;
};

// One file record, by its number.
struct TableRecord {
    // In the clusters files are counted in. A file's: what its data takes on the volume (none
    // where its record holds it, the clusters really given to a sparse or compressed stream and
    // to CompactOS's stream, else the unnamed stream's length rounded up). A folder's: those of
    // the files it lists.
    uint64_t clusters = 0;
    uint32_t reparseTag = 0;
    uint16_t sequence = 0;
    uint16_t flags = 0;
};

// One name of a folder in its parent, as a listing shows it (never a separate short name).
struct TableName {
    uint32_t record = 0, parent = 0;
    uint32_t text = 0; // where its UTF-16 units start in the table's text
    uint16_t parentSequence = 0;
    uint8_t units = 0;
    uint8_t hasShortName = 0;
};

// A name of a file that has several: the folder that lists it, and the file.
struct TableLink {
    uint32_t parent = 0, record = 0;
};

constexpr uint32_t noRecord = UINT32_MAX;

struct FileTable {
    std::vector<TableRecord> records;
    // The names of folders, grouped by parent, each group in the order a listing gives them.
    std::vector<TableName> folders;
    std::vector<uint16_t> text;
    // The names of files of several names, by folder.
    std::vector<TableLink> links;
    uint32_t root = noRecord; // the record of the drive's root
    uint32_t rootFiles = 0;   // the names of files its listing gives
    uint32_t clusterSize = 0; // bytes of the clusters files are counted in
    uint64_t tableBytes = 0;  // of the file table read
    size_t files = 0;         // names of files counted
};

// Record flags.
enum : uint16_t {
    recordInUse = 1,
    recordFolder = 2,
    recordReparse = 4,
    recordDosName = 8,     // has a separate short name
    recordBad = 16,        // failed its checks twice: its folder is listed instead
    recordWalk = 32,       // a folder to list, with all below it: one of its entries could not be read
    recordListed = 64,     // a folder already listed in some folder: none is listed twice
    recordNamed = 128,     // listed under one name so far
    recordLinked = 256,    // listed under several names
    recordUnlistable = 512 // a folder holding a name no listing gives: it is listed instead
};

// Reads the table of the volume whose boot sector is boot, counting files in clusters of
// clusterSize bytes, and with root the record of the drive's root folder. Null when the table
// cannot be read, does not hold together, or is larger than the process can hold: the drive is
// then walked. Nothing is ever written.
FileTable* readTable(const VolumeSource& source, const ntfs::Boot& boot, uint32_t clusterSize, uint32_t root);
void freeFileTable(FileTable* table);

// The bytes the index holds, for the benchmarks.
size_t footprintOf(const FileTable& table);

// The names of folder record's subfolders, in listing order: [first, last) of table.folders.
void subfoldersOf(const FileTable& table, uint32_t record, size_t& first, size_t& last);
// Adds to marks each file of several names that folder record lists, by record number, with the
// clusters it takes.
void linkedFilesOf(const FileTable& table, uint32_t record, std::vector<FileMark>& marks);
