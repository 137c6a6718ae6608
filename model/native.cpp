#include "model/native.h"

#include <type_traits>

const NativeCalls* nativeCalls() {
    static const NativeCalls calls = [] {
        NativeCalls found = {};
        HMODULE ntdll = GetModuleHandleA("ntdll.dll");
        if (!ntdll)
            return found;
        auto get = [ntdll](auto& function, const char* name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
                reinterpret_cast<void*>(GetProcAddress(ntdll, name)));
            return function != nullptr;
        };
        if (!(get(found.open, "NtOpenFile") && get(found.create, "NtCreateFile") &&
              get(found.query, "NtQueryDirectoryFile") && get(found.queryFile, "NtQueryInformationFile") &&
              get(found.setFile, "NtSetInformationFile") && get(found.queryObject, "NtQueryObject") &&
              get(found.close, "NtClose") && get(found.dosError, "RtlNtStatusToDosError")))
            return NativeCalls{};
        found.handlesFollowLinks = GetProcAddress(ntdll, "wine_get_version") != nullptr;
        return found;
    }();
    return calls.open ? &calls : nullptr;
}

bool wideRoute() {
    static const bool nt = (GetVersion() & 0x80000000) == 0;
    return nt;
}

NtStatus openAt(const NativeCalls& nt, HANDLE folder, const wchar_t* name, size_t units, ACCESS_MASK access,
                ULONG options, HANDLE& handle) {
    handle = nullptr;
    if (units > 0x7FFF) // more than the system's names can hold
        return ntNameInvalid;
    const NtName ntName = {static_cast<USHORT>(units * sizeof(wchar_t)),
                           static_cast<USHORT>(units * sizeof(wchar_t)), name};
    const NtObject object = {sizeof object, folder, &ntName, folder ? 0u : 0x40u /* OBJ_CASE_INSENSITIVE */,
                             nullptr,       nullptr};
    NtIoStatus io = {};
    return nt.open(&handle, access | SYNCHRONIZE, &object, &io, ntShareAll, options | ntSynchronous | ntForBackup);
}

NtTagInfo attributesOf(const NativeCalls& nt, HANDLE handle) {
    NtTagInfo info = {};
    NtIoStatus io = {};
    if (nt.queryFile(handle, &io, &info, sizeof info, ntFileAttributeTagInformation) >= 0)
        return info;
    // Windows NT 4.0 knows no reparse points and no such query.
    NtBasicInfo basic = {};
    if (nt.queryFile(handle, &io, &basic, sizeof basic, ntFileBasicInformation) >= 0)
        info.attributes = basic.attributes;
    return info;
}

LONGLONG fileNumber(const NativeCalls& nt, HANDLE handle) {
    LARGE_INTEGER number = {};
    NtIoStatus io = {};
    return nt.queryFile(handle, &io, &number, sizeof number, ntFileInternalInformation) >= 0 ? number.QuadPart
                                                                                             : -1;
}

namespace {

NtStatus setAttributes(const NativeCalls& nt, HANDLE handle, DWORD attributes) {
    NtBasicInfo basic = {}; // zero times: left as they are
    attributes &= settableAttributes;
    basic.attributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    NtIoStatus io = {};
    return nt.setFile(handle, &io, &basic, sizeof basic, ntFileBasicInformation);
}

} // namespace

NtStatus dispose(const NativeCalls& nt, HANDLE handle, DWORD attributes) {
    const BOOLEAN yes = TRUE;
    NtIoStatus io = {};
    NtStatus status = nt.setFile(handle, &io, &yes, sizeof yes, ntFileDispositionInformation);
    if ((status == ntCannotDelete || status == ntAccessDenied) && (attributes & FILE_ATTRIBUTE_READONLY)) {
        if (setAttributes(nt, handle, attributes & ~FILE_ATTRIBUTE_READONLY) >= 0) {
            status = nt.setFile(handle, &io, &yes, sizeof yes, ntFileDispositionInformation);
            if (status < 0)
                setAttributes(nt, handle, attributes);
        }
    }
    return status;
}
