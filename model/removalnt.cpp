// The handle route of Windows NT and later: every entry is opened as itself relative to its
// folder's handle (a link as the link), and removed through that handle.
#include "model/names.h"
#include "model/removalroute.h"
#include "model/scan.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <vector>

namespace {

const char* const otherCaseReason =
    "Another entry, whose name differs only in letter case, is reached by this name. Neither is "
    "removed here.";

// Windows NT 4.0 has no reparse points, and the option to open one as itself came with Windows 2000.
ULONG asItself() {
    static const ULONG option = LOBYTE(LOWORD(GetVersion())) >= 5 ? ntOpenReparsePoint : 0;
    return option;
}

bool isLink(const NtTagInfo& info) {
    return (info.attributes & FILE_ATTRIBUTE_REPARSE_POINT) && !isDataTag(info.reparseTag);
}

// Whether the handle's own name ends in the listed name, case included: a name relative to a
// folder is matched without regard to case, so of KEEP.TXT and keep.txt (which a volume written
// from another system may hold) either may be reached.
bool namedExactly(RemovalWalk& walk, HANDLE handle, const wchar_t* name, size_t units) {
    const NativeCalls& nt = *walk.nt;
    std::vector<char>& buffer = walk.buffer; // no listing is being read meanwhile
    NtIoStatus io = {};
    if (nt.queryFile(handle, &io, buffer.data(), static_cast<ULONG>(buffer.size()), ntFileNameInformation) < 0)
        return false;
    ULONG bytes;
    memcpy(&bytes, buffer.data(), sizeof bytes);
    const size_t length = std::min<size_t>(bytes, buffer.size() - sizeof(ULONG)) / sizeof(wchar_t);
    const wchar_t* reported = reinterpret_cast<const wchar_t*>(buffer.data() + sizeof(ULONG));
    return length > units && reported[length - units - 1] == L'\\' &&
           std::wmemcmp(reported + length - units, name, units) == 0;
}

bool stepIsItself(RemovalWalk& walk, HANDLE, HANDLE step, const wchar_t* name, size_t units) {
    return !isLink(attributesOf(*walk.nt, step)) && namedExactly(walk, step, name, units);
}

bool openParent(RemovalWalk& walk, const std::string& path, RemovalFolder& top) {
    return openBySteps(walk, path, 0, asItself(), StepCheck{nullptr, stepIsItself}, top.handle);
}

bool list(RemovalWalk& walk, RemovalFolder& folder) {
    return listByHandle(walk, folder, false);
}

// Opening for deletion is itself the check: it fails where the user may not delete the entry or
// another program holds it open without allowing that.
Look look(RemovalWalk& walk, RemovalFolder& folder, const RemovalEntry& entry) {
    const NativeCalls& nt = *walk.nt;
    const wchar_t* name = nameOf(folder, entry);
    ACCESS_MASK access = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
    if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY)
        access |= FILE_LIST_DIRECTORY;
    Look look;
    NtStatus status = openAt(nt, folder.handle, name, entry.nameLength, access, asItself(), look.handle);
    if (status == ntNameNotFound || status == ntPathNotFound)
        return look;
    if (status < 0)
        return refusal(nt.dosError(status));
    if (!namedExactly(walk, look.handle, name, entry.nameLength)) {
        nt.close(look.handle);
        return refusal(ERROR_DUP_NAME, otherCaseReason);
    }
    const NtTagInfo now = attributesOf(nt, look.handle);
    look.number = fileNumber(nt, look.handle);
    look.attributes = now.attributes;
    look.folder = (now.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    look.decision = isLink(now) ? Decision::Unlink : look.folder ? Decision::Enter : Decision::Delete;
    return look;
}

bool removeFile(RemovalWalk& walk, RemovalFolder&, const RemovalEntry&, Look& look) {
    const NtStatus status = dispose(*walk.nt, look.handle, look.attributes);
    walk.nt->close(look.handle);
    look.handle = nullptr;
    walk.removedAny = walk.removedAny || status >= 0;
    return status >= 0 || failStatus(walk, status);
}

// The folder goes when the walk closes its handle.
bool removeFolder(RemovalWalk& walk, RemovalFolder& folder) {
    const NtStatus status = dispose(*walk.nt, folder.handle, attributesOf(*walk.nt, folder.handle).attributes);
    walk.removedAny = walk.removedAny || status >= 0;
    return status >= 0 || failStatus(walk, status);
}

} // namespace

const RemovalRoute ntRoute = {openParent, list, look, removeFile, removeFolder, false};
