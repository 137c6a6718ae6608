#include "model/listing.h"

#include "model/names.h"
#include "model/native.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

// FindFirstFileW takes a block of the process heap for each listing and gives it back at its end;
// under Wine, with listings read on several threads while the tree view allocates its items on
// the same heap, the heap's free lists grow until every allocation searches thousands of
// fragments, and a folder of 200,000 subfolders took three times as long as one thread alone.
// Read through the system's own directory calls a listing takes nothing from a heap.
constexpr size_t nativeBufferSize = 64 * 1024;

void takeName(const wchar_t* name, int units, ListedEntry& entry) {
    entry.name.clear();
    entry.shown.clear();
    appendNarrow(entry.name, name, static_cast<size_t>(units));
}

void take(const WIN32_FIND_DATAA& found, ListedEntry& entry) {
    const char* reachable = reachableName(found);
    entry.name = reachable;
    if (reachable == found.cFileName)
        entry.shown.clear();
    else
        entry.shown = found.cFileName;
    entry.size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    entry.allocated = entry.size;
    entry.fileId = 0;
    entry.attributes = found.dwFileAttributes;
    entry.reparseTag = found.dwReserved0;
    entry.hasShortName = found.cAlternateFileName[0] != '\0';
}

// Windows NT 4.0 and 2000 do not list file numbers, nor do some redirectors: those listings are
// read without them.
bool refusesClass(NtStatus status) {
    return status == ntInvalidInfoClass || status == ntInvalidParameter || status == ntNotSupported ||
           status == ntInvalidLevel;
}
std::atomic<bool> systemListsIds{true};

// The next block of entries of a native listing; false at the end or on an error.
bool readBlock(Listing& listing, const NativeCalls& nt, bool first) {
    NtIoStatus io = {};
    NtStatus status = nt.query(listing.handle, nullptr, nullptr, nullptr, &io, listing.buffer, nativeBufferSize,
                               listing.withIds ? ntFileIdBothDirectoryInformation : ntFileBothDirectoryInformation,
                               FALSE, nullptr, FALSE);
    if (first && listing.withIds && refusesClass(status)) {
        if (status == ntInvalidInfoClass)
            systemListsIds.store(false, std::memory_order_relaxed);
        listing.withIds = false;
        io = {};
        status = nt.query(listing.handle, nullptr, nullptr, nullptr, &io, listing.buffer, nativeBufferSize,
                          ntFileBothDirectoryInformation, FALSE, nullptr, TRUE);
    }
    if (status < 0) {
        SetLastError(status == ntNoMoreFiles ? ERROR_NO_MORE_FILES : nt.dosError(status));
        return false;
    }
    listing.next = 0;
    listing.valid = io.information;
    return true;
}

bool takeNative(Listing& listing, const NativeCalls& nt, ListedEntry& entry, bool first = false) {
    if (listing.next == SIZE_MAX && !readBlock(listing, nt, first))
        return false;
    DirEntryView found;
    if (!readDirEntry(listing.buffer, listing.valid, listing.next, found, listing.withIds)) {
        listing.next = SIZE_MAX;
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    listing.next = found.next;
    takeName(found.name, static_cast<int>(found.units), entry);
    entry.size = found.size;
    entry.allocated = found.allocated;
    // -1: the file system has no number for it that is its own.
    entry.fileId = found.fileId != -1 ? static_cast<uint64_t>(found.fileId) : 0;
    entry.attributes = found.attributes;
    entry.reparseTag = found.reparseTag;
    entry.hasShortName = found.hasShortName;
    return true;
}

bool openNative(Listing& listing, const NativeCalls& nt, const std::string& directory, ListedEntry& entry) {
    listing.native = true;
    // The NT form of the path; a directory other than a drive's root is named without its
    // final backslash.
    std::wstring path = diskPath(directory);
    if (path.empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    path[1] = L'?';
    if (path.size() > 7 && path.back() == L'\\')
        path.pop_back();
    const NtName name = {static_cast<USHORT>(path.size() * sizeof(wchar_t)),
                         static_cast<USHORT>(path.size() * sizeof(wchar_t)), path.c_str()};
    const NtObject object = {sizeof object, nullptr, &name, 0x40 /* OBJ_CASE_INSENSITIVE */,
                             nullptr,       nullptr};
    NtIoStatus io = {};
    HANDLE handle;
    NtStatus status = nt.open(&handle, FILE_LIST_DIRECTORY | SYNCHRONIZE, &object, &io,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              ntDirectoryFile | ntSynchronous | ntForBackup);
    if (status < 0) {
        SetLastError(nt.dosError(status));
        return false;
    }
    listing.handle = handle;
    if (!listing.buffer)
        listing.buffer =
            static_cast<char*>(VirtualAlloc(nullptr, nativeBufferSize, MEM_COMMIT, PAGE_READWRITE));
    listing.next = SIZE_MAX;
    listing.withIds = listing.wantIds && systemListsIds.load(std::memory_order_relaxed);
    if (listing.buffer && takeNative(listing, nt, entry, true))
        return true;
    DWORD error = listing.buffer ? GetLastError() : ERROR_NOT_ENOUGH_MEMORY;
    closeListing(listing);
    // As FindFirstFileW says of a directory that lists nothing, not even "." and "..".
    SetLastError(error == ERROR_NO_MORE_FILES ? ERROR_FILE_NOT_FOUND : error);
    return false;
}

} // namespace

// The system fills the block; still, an entry is taken only when it and its name lie within the
// bytes the system said it wrote, and the next one begins after it, so that a damaged answer can
// neither be read beyond its end nor loop.
bool readDirEntry(const char* block, size_t valid, size_t offset, DirEntryView& view, bool withId) {
    const size_t header = withId ? ntIdDirEntryHeader : ntDirEntryHeader;
    if (offset >= valid || valid - offset < header)
        return false;
    NtDirEntry found;
    memcpy(&found, block + offset, ntDirEntryHeader);
    const size_t room = valid - offset - header;
    if (found.nameBytes == 0 || found.nameBytes % sizeof(wchar_t) != 0 || found.nameBytes > room)
        return false;
    const size_t length = header + found.nameBytes;
    if (found.nextOffset != 0 && (found.nextOffset < length || found.nextOffset >= valid - offset))
        return false;
    view.fileId = -1;
    if (withId)
        memcpy(&view.fileId, block + offset + ntIdDirEntryFileId, sizeof view.fileId);
    view.name = reinterpret_cast<const wchar_t*>(block + offset + header);
    view.units = found.nameBytes / sizeof(wchar_t);
    view.size = static_cast<uint64_t>(found.endOfFile.QuadPart);
    view.allocated = static_cast<uint64_t>(found.allocated.QuadPart);
    view.attributes = found.attributes;
    view.reparseTag = (found.attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? found.eaSize : 0;
    view.hasShortName = found.shortNameLength != 0;
    view.shortUnits = static_cast<size_t>(found.shortNameLength) / sizeof(wchar_t);
    if (view.shortUnits > 12)
        return false;
    memcpy(view.shortName, found.shortName, sizeof view.shortName);
    view.next = found.nextOffset ? offset + found.nextOffset : SIZE_MAX;
    return true;
}

bool openListing(Listing& listing, const std::string& directory, ListedEntry& entry) {
    if (wideRoute())
        if (const NativeCalls* nt = nativeCalls())
            return openNative(listing, *nt, directory, entry);
    WIN32_FIND_DATAA found;
    listing.handle = FindFirstFileA((directory + "*").c_str(), &found);
    if (listing.handle == INVALID_HANDLE_VALUE)
        return false;
    take(found, entry);
    return true;
}

bool nextEntry(Listing& listing, ListedEntry& entry) {
    if (listing.handle == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_NO_MORE_FILES);
        return false;
    }
    if (listing.native)
        return takeNative(listing, *nativeCalls(), entry);
    WIN32_FIND_DATAA found;
    if (!FindNextFileA(listing.handle, &found))
        return false;
    take(found, entry);
    return true;
}

void closeListing(Listing& listing) {
    if (listing.native) {
        if (listing.handle != INVALID_HANDLE_VALUE)
            nativeCalls()->close(listing.handle);
        if (!listing.keepBuffer)
            releaseListing(listing);
    } else if (listing.handle != INVALID_HANDLE_VALUE) {
        FindClose(listing.handle);
    }
    listing.handle = INVALID_HANDLE_VALUE;
}

void releaseListing(Listing& listing) {
    if (listing.buffer)
        VirtualFree(listing.buffer, 0, MEM_RELEASE);
    listing.buffer = nullptr;
}
