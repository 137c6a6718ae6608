// The system's own file calls, present in every Windows NT and in Wine, looked up at run time:
// listings read into a buffer of the caller's, which is how the scan and its helpers list folders
// and a deletion lists and looks again; files opened relative to a directory handle, which is how
// a deletion reaches each entry by the name its folder listed; and what is asked of a handle: its
// attributes, its file number (also the drive root's, which finds the root in an NTFS file
// table) and its deletion.
#pragma once

#include <windows.h>

#include <cstddef>

typedef LONG NtStatus;

constexpr NtStatus ntNoMoreFiles = static_cast<NtStatus>(0x80000006);
constexpr NtStatus ntBufferOverflow = static_cast<NtStatus>(0x80000005);
constexpr NtStatus ntInvalidInfoClass = static_cast<NtStatus>(0xC0000003);
constexpr NtStatus ntInvalidParameter = static_cast<NtStatus>(0xC000000D);
constexpr NtStatus ntNotSupported = static_cast<NtStatus>(0xC00000BB);
constexpr NtStatus ntInvalidLevel = static_cast<NtStatus>(0xC0000148);
constexpr NtStatus ntInfoLengthMismatch = static_cast<NtStatus>(0xC0000004);
constexpr NtStatus ntNameInvalid = static_cast<NtStatus>(0xC0000033);
constexpr NtStatus ntNameNotFound = static_cast<NtStatus>(0xC0000034);
constexpr NtStatus ntNameCollision = static_cast<NtStatus>(0xC0000035);
constexpr NtStatus ntPathNotFound = static_cast<NtStatus>(0xC000003A);
constexpr NtStatus ntAccessDenied = static_cast<NtStatus>(0xC0000022);
constexpr NtStatus ntCannotDelete = static_cast<NtStatus>(0xC0000121);
constexpr NtStatus ntDirectoryNotEmpty = static_cast<NtStatus>(0xC0000101);

// NtOpenFile and NtCreateFile options.
constexpr ULONG ntDirectoryFile = 0x1;
constexpr ULONG ntSynchronous = 0x20; // FILE_SYNCHRONOUS_IO_NONALERT
constexpr ULONG ntNonDirectoryFile = 0x40;
constexpr ULONG ntForBackup = 0x4000;
constexpr ULONG ntOpenReparsePoint = 0x200000;

// Information classes.
constexpr int ntFileBothDirectoryInformation = 3;
constexpr int ntFileBasicInformation = 4;
constexpr int ntFileInternalInformation = 6;
constexpr int ntFileRenameInformation = 10;
constexpr int ntFileDispositionInformation = 13;
constexpr int ntFileNameInformation = 9;
constexpr int ntFileAttributeTagInformation = 35;
constexpr int ntFileIdBothDirectoryInformation = 37;
constexpr int ntFileIdInformation = 59;
constexpr int ntObjectNameInformation = 1;

struct NtName {
    USHORT length, maximumLength; // in bytes
    const wchar_t* buffer;
};
struct NtObject {
    ULONG length;
    HANDLE root; // a directory the name is relative to, or null for a full name
    const NtName* name;
    ULONG attributes;
    void* securityDescriptor;
    void* securityQuality;
};
struct NtIoStatus {
    union {
        NtStatus status;
        void* pointer;
    };
    ULONG_PTR information;
};
struct NtBasicInfo {
    LARGE_INTEGER created, accessed, written, changed;
    ULONG attributes;
};
struct NtTagInfo {
    ULONG attributes, reparseTag;
};
// FILE_BOTH_DIR_INFORMATION: what FindFirstFileW itself reads.
struct NtDirEntry {
    ULONG nextOffset, fileIndex;
    LARGE_INTEGER created, accessed, written, changed, endOfFile, allocated;
    ULONG attributes, nameBytes, eaSize; // eaSize holds the reparse tag of a reparse point
    CCHAR shortNameLength;
    wchar_t shortName[12];
    wchar_t name[1];
};
constexpr size_t ntDirEntryHeader = offsetof(NtDirEntry, name);
static_assert(ntDirEntryHeader == 94, "the system's layout, on both targets");
// FILE_ID_BOTH_DIR_INFORMATION: the same, then the entry's file number, then its name.
constexpr size_t ntIdDirEntryFileId = 96;
constexpr size_t ntIdDirEntryHeader = 104;

struct NativeCalls {
    NtStatus(NTAPI* open)(HANDLE*, ACCESS_MASK, const NtObject*, NtIoStatus*, ULONG share, ULONG options);
    NtStatus(NTAPI* create)(HANDLE*, ACCESS_MASK, const NtObject*, NtIoStatus*, LARGE_INTEGER*,
                            ULONG attributes, ULONG share, ULONG disposition, ULONG options, void*, ULONG);
    NtStatus(NTAPI* query)(HANDLE, HANDLE, void*, void*, NtIoStatus*, void*, ULONG, int, BOOLEAN single,
                           const NtName* mask, BOOLEAN restart);
    NtStatus(NTAPI* queryFile)(HANDLE, NtIoStatus*, void*, ULONG, int);
    NtStatus(NTAPI* setFile)(HANDLE, NtIoStatus*, const void*, ULONG, int);
    NtStatus(NTAPI* queryObject)(HANDLE, int, void*, ULONG, ULONG*);
    NtStatus(NTAPI* close)(HANDLE);
    ULONG(NTAPI* dosError)(NtStatus);
    // Under Wine every handle describes what a link points to, whatever the options it was opened
    // with, and deleting through it deletes the target.
    bool handlesFollowLinks;
};

// Null where any of them is missing: Windows 95 and 98, whose kernel is not NT's, have none.
// Wine has them whatever system it reports, so the Wine route serves there too.
const NativeCalls* nativeCalls();

// Windows 95 and 98 set the top bit of the version; they lack the wide functions. (Wine asked to
// report them sets it too, and still has the native calls.)
bool wideRoute();

constexpr ULONG ntShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The attributes a program can set; the others (directory, reparse point, compressed, ...) are
// the file system's own.
constexpr DWORD settableAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                     FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Opens name (units UTF-16 units) relative to the folder handle, matched exactly, or, with no
// folder, the full NT path name ("\??\C:\..."), matched as the system matches paths.
NtStatus openAt(const NativeCalls& nt, HANDLE folder, const wchar_t* name, size_t units, ACCESS_MASK access,
                ULONG options, HANDLE& handle);
NtTagInfo attributesOf(const NativeCalls& nt, HANDLE handle);
LONGLONG fileNumber(const NativeCalls& nt, HANDLE handle);
// Marks the entry of the handle for deletion; a read-only one has that attribute cleared, and put
// back when it still cannot be deleted. The entry goes when the handle is closed.
NtStatus dispose(const NativeCalls& nt, HANDLE handle, DWORD attributes);
