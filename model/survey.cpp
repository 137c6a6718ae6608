#include "model/survey.h"

#include "model/filetable.h"
#include "model/listing.h"
#include "model/names.h"
#include "model/native.h"
#include "model/scan.h"
#include "model/scansink.h"
#include "model/sizetree.h"
#include "settings/settings.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// INT 21h function 7303h (Get_ExtFreeSpace) through VWIN32, with fixed-width fields so that the
// 32-bit and 64-bit builds lay them out alike.
struct ExtGetDskFreSpcStruc {
    uint16_t structSize;
    uint16_t level; // the version word: 0 on input
    uint32_t sectorsPerCluster;
    uint32_t bytesPerSector;
    uint32_t availableClusters;
    uint32_t totalClusters;
    uint32_t availablePhysSectors;
    uint32_t totalPhysSectors;
    uint32_t availableAllocationUnits;
    uint32_t totalAllocationUnits;
    uint32_t reserved[2];
};
static_assert(sizeof(ExtGetDskFreSpcStruc) == 44);
static_assert(offsetof(ExtGetDskFreSpcStruc, sectorsPerCluster) == 4);

struct DIOC_REGISTERS {
    uint32_t regEBX;
    uint32_t regEDX;
    uint32_t regECX;
    uint32_t regEAX;
    uint32_t regEDI;
    uint32_t regESI;
    uint32_t regFlags;
};
static_assert(sizeof(DIOC_REGISTERS) == 28);

constexpr DWORD VWIN32_DIOC_DOS_DRIVEINFO = 6;
constexpr uint32_t carryFlag = 1;

const char gatheringText[] = "Gathering drive information...";

using GetDiskFreeSpaceExAProc = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);

// The cluster size every count of the drive is made with. It divides every file size and the
// drive's capacity, so it is never 0: a "Blocksizes" value below 1 (only a hand-edited file has
// one) gives way to the measured size, and a drive that reports no geometry at all (no medium)
// is counted in 512-byte sectors, the smallest unit any drive allocates.
uint32_t settleClusterSize(const std::string& rootPath, uint32_t measured) {
    IntSetting override(rootPath, "Blocksizes", IniFileName, static_cast<int32_t>(measured));
    if (override.value >= 1)
        return static_cast<uint32_t>(override.value);
    return measured != 0 ? measured : 512;
}

// The volume that holds the drive: a drive made with SUBST names its folder on another drive.
std::string volumeName(const std::string& rootPath) {
    char target[MAX_PATH + 8] = "";
    const std::string drive = rootPath.substr(0, 2);
    char letter = rootPath[0];
    if (QueryDosDeviceA(drive.c_str(), target, sizeof target) && strncmp(target, "\\??\\", 4) == 0 &&
        IsCharAlphaA(target[4]) && target[5] == ':')
        letter = target[4];
    return std::string("\\\\.\\") + letter + ":";
}

bool readHandle(void* context, uint64_t offset, void* buffer, size_t length) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    return ReadFile(static_cast<HANDLE>(context), buffer, static_cast<DWORD>(length), &read, &at) && read == length;
}

// The status bar's text while a drive's table is read; shown without waiting, so it lives for the
// whole run.
const std::array<std::array<char, 40>, 26> readingTexts = [] {
    std::array<std::array<char, 40>, 26> texts{};
    for (int drive = 0; drive < 26; ++drive)
        snprintf(texts[drive].data(), texts[drive].size(), "Reading the file table of %c:\\...", 'A' + drive);
    return texts;
}();

// Whether the table read is the drive's: the volume's serial number is the one Windows reports for
// the drive (Wine reports one of its own making); the root can be listed, and every subfolder its
// listing gives is the table's, or where it gives none, as many files.
bool sameDrive(const FileTable& table, const ntfs::Boot& boot, const std::string& rootPath) {
    DWORD serial = 0;
    if (!nativeCalls()->handlesFollowLinks &&
        (!GetVolumeInformationA(rootPath.c_str(), nullptr, 0, &serial, nullptr, nullptr, nullptr, 0) ||
         serial != static_cast<DWORD>(boot.serial)))
        return false;
    size_t first, last;
    subfoldersOf(table, table.root, first, last);
    std::vector<std::string> known;
    for (size_t i = first; i < last; ++i) {
        known.emplace_back();
        appendNarrow(known.back(), reinterpret_cast<const wchar_t*>(&table.text[table.folders[i].text]),
                     table.folders[i].units);
    }
    std::sort(known.begin(), known.end());
    Listing listing;
    ListedEntry entry;
    if (!openListing(listing, rootPath, entry))
        return false;
    bool same = true;
    size_t folders = 0, files = 0;
    do {
        if (!isDirectory(entry))
            ++files;
        else if (!isReparsePoint(entry) && listableName(entry.name)) {
            ++folders;
            same = std::binary_search(known.begin(), known.end(), entry.name);
        }
    } while (same && nextEntry(listing, entry));
    closeListing(listing);
    return same && (folders > 0 || files == table.rootFiles);
}

} // namespace

static_assert(sizeof(wchar_t) == sizeof(uint16_t), "UTF-16 names, as Windows keeps them");

FileTable* readFileTable(const DriveSurvey* survey, ScanSink& sink) {
    const NativeCalls* nt = nativeCalls();
    if (!wideRoute() || !nt)
        return nullptr;
    // The drive's root by its file number, and the volume that holds it.
    HANDLE rootHandle = CreateFileA(survey->rootPath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (rootHandle == INVALID_HANDLE_VALUE)
        return nullptr;
    const LONGLONG number = fileNumber(*nt, rootHandle);
    CloseHandle(rootHandle);
    if (number < 0 || (static_cast<uint64_t>(number) & ntfs::recordMask) >= noRecord)
        return nullptr;
    const uint32_t root = static_cast<uint32_t>(static_cast<uint64_t>(number) & ntfs::recordMask);
    const uint16_t sequence = static_cast<uint16_t>(static_cast<uint64_t>(number) >> 48);
    HANDLE volume = CreateFileA(volumeName(survey->rootPath).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (volume == INVALID_HANDLE_VALUE)
        return nullptr;
    FileTable* table = nullptr;
    ntfs::Boot boot;
    // A volume is read without the system's cache, into memory aligned to its sectors.
    void* first = VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE);
    if (first && readHandle(volume, 0, first, 4096) &&
        ntfs::parseBoot(static_cast<const uint8_t*>(first), 4096, boot)) {
        if (survey->driveIndex >= 0 && survey->driveIndex < 26)
            sink.showStatus(readingTexts[survey->driveIndex].data());
        VolumeSource source;
        source.context = volume;
        source.read = readHandle;
        table = readTable(source, boot, survey->clusterSize, root);
    }
    if (first)
        VirtualFree(first, 0, MEM_RELEASE);
    CloseHandle(volume);
    if (table) {
        const TableRecord& found = table->records[root];
        if (!(found.flags & recordInUse) || !(found.flags & recordFolder) || (sequence && sequence != found.sequence) ||
            !sameDrive(*table, boot, survey->rootPath)) {
            freeFileTable(table);
            table = nullptr;
        }
    }
    return table;
}

uint32_t queryTrueClusterSize(const std::string& rootPath) {
    HANDLE device = CreateFileA("\\\\.\\vwin32", 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (device == INVALID_HANDLE_VALUE)
        return 0;
    ExtGetDskFreSpcStruc result = {};
    result.level = 0;
    DIOC_REGISTERS registers = {};
    registers.regEAX = 0x7303;
    // The device exists only on 32-bit Windows 95 and 98, where addresses fit the registers.
    registers.regEDX = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(rootPath.c_str()));
    registers.regEDI = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&result));
    registers.regECX = sizeof result;
    registers.regFlags = carryFlag;
    DWORD returned = 0;
    BOOL ok = DeviceIoControl(device, VWIN32_DIOC_DOS_DRIVEINFO, &registers, sizeof registers, &registers,
                              sizeof registers, &returned, nullptr);
    CloseHandle(device);
    if (!ok || (registers.regFlags & carryFlag))
        return 0;
    return result.sectorsPerCluster * result.bytesPerSector;
}

DriveSurvey* surveyDrive(int32_t driveIndex, ScanSink& sink) {
    DriveSurvey* survey = new DriveSurvey;
    survey->rootPath = std::string(1, static_cast<char>('A' + driveIndex)) + ":\\";
    survey->driveIndex = driveIndex;
    const char* root = survey->rootPath.c_str();
    survey->driveType = GetDriveTypeA(root);

    char fileSystem[31] = "";
    if (GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, nullptr, fileSystem, sizeof fileSystem)) {
        CharUpperA(fileSystem);
        survey->fileSystem = fileSystem;
    }

    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (!GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters))
        sectorsPerCluster = bytesPerSector = freeClusters = totalClusters = 0;
    uint32_t measured = sectorsPerCluster * bytesPerSector;
    uint64_t capacityBytes = static_cast<uint64_t>(totalClusters) * measured;
    uint64_t freeBytes = static_cast<uint64_t>(freeClusters) * measured;
    if (uint32_t reported = queryTrueClusterSize(survey->rootPath))
        measured = reported;

    survey->volumeClusterSize = measured;
    survey->clusterSize = settleClusterSize(survey->rootPath, measured);
    survey->totalClusters = capacityBytes / survey->clusterSize;
    survey->freeClusters = freeBytes / survey->clusterSize;

    auto getDiskFreeSpaceEx = reinterpret_cast<GetDiskFreeSpaceExAProc>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetDiskFreeSpaceExA")));
    ULARGE_INTEGER callerFree, totalBytes, totalFree;
    if (getDiskFreeSpaceEx && getDiskFreeSpaceEx(root, &callerFree, &totalBytes, &totalFree)) {
        survey->totalClusters = totalBytes.QuadPart / survey->clusterSize;
        survey->freeClusters = totalFree.QuadPart / survey->clusterSize;
    }

    sink.showStatus(gatheringText);
    // An NTFS drive is read from its file table where the system lets the program read the volume.
    const int64_t start = ticksNow();
    FileTable* table = survey->fileSystem == "NTFS" ? readFileTable(survey, sink) : nullptr;
    const int64_t read = ticksNow() - start;
    // FAT and exFAT number a file by where its entry lies, and Windows 95 and 98 list no numbers;
    // a file table's names are known by their record's number.
    survey->fileIds = wideRoute() && nativeCalls() && (survey->fileSystem == "NTFS" || survey->fileSystem == "REFS");
    if (table)
        survey->fileIdMask = 0xFFFFFFFFFFFFull;
    survey->root = scanDirectory(survey->rootPath, nullptr, survey, sink, std::string(), table);
    if (table) {
        lastScanCosts.tableRead = read;
        lastScanCosts.tableIndexBytes = footprintOf(*table);
        lastScanCosts.tableFiles = table->files;
        lastScanCosts.tableBytes = table->tableBytes;
        freeFileTable(table);
    }

    // Files that grew during the scan, or a cluster size below the real one, can make used plus
    // free exceed the capacity; the whole drive is then at least their sum.
    uint64_t accounted = survey->root->totalClusters + survey->freeClusters;
    if (accounted > survey->totalClusters)
        survey->totalClusters = accounted;
    survey->complete = true;
    return survey;
}

void destroySurvey(DriveSurvey* survey) {
    if (survey->root)
        destroyNode(survey->root);
    delete survey;
}
