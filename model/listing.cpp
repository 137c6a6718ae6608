#include "model/listing.h"

namespace {

// Windows 95 and 98 set the top bit of the version; they lack the wide functions.
bool wideRoute() {
    static const bool nt = (GetVersion() & 0x80000000) == 0;
    return nt;
}

// The "\\?\" form of a path in UTF-16, or empty when the path cannot be converted.
std::wstring diskPath(const std::string& path) {
    int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), static_cast<int>(path.size()), nullptr, 0);
    if (length <= 0 && !path.empty())
        return std::wstring();
    std::wstring wide = L"\\\\?\\";
    const size_t prefix = wide.size();
    wide.resize(prefix + static_cast<size_t>(length));
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), static_cast<int>(path.size()), &wide[prefix], length);
    return wide;
}

void take(const WIN32_FIND_DATAW& found, ListedEntry& entry) {
    // 259 UTF-16 units at most: 777 bytes in UTF-8, fewer in any other code page.
    char name[1024];
    int length = WideCharToMultiByte(CP_ACP, 0, found.cFileName, -1, name, sizeof name, nullptr, nullptr);
    entry.name.assign(name, length > 0 ? static_cast<size_t>(length - 1) : 0);
    entry.size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    entry.attributes = found.dwFileAttributes;
    entry.reparseTag = found.dwReserved0;
    entry.hasShortName = found.cAlternateFileName[0] != L'\0';
}

void take(const WIN32_FIND_DATAA& found, ListedEntry& entry) {
    entry.name = found.cFileName;
    entry.size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    entry.attributes = found.dwFileAttributes;
    entry.reparseTag = found.dwReserved0;
    entry.hasShortName = found.cAlternateFileName[0] != '\0';
}

HANDLE findFirst(const std::string& pattern, ListedEntry& entry, bool& wide) {
    wide = wideRoute();
    if (!wide) {
        WIN32_FIND_DATAA found;
        HANDLE handle = FindFirstFileA(pattern.c_str(), &found);
        if (handle != INVALID_HANDLE_VALUE)
            take(found, entry);
        return handle;
    }
    std::wstring path = diskPath(pattern);
    if (path.empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    WIN32_FIND_DATAW found;
    HANDLE handle = FindFirstFileW(path.c_str(), &found);
    if (handle != INVALID_HANDLE_VALUE)
        take(found, entry);
    return handle;
}

// Runs the wide or the ANSI form of a function of one path.
template <class Wide, class Ansi> bool onPath(const std::string& path, Wide wideCall, Ansi ansiCall) {
    if (!wideRoute())
        return ansiCall(path.c_str()) != FALSE;
    std::wstring wide = diskPath(path);
    if (wide.empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    return wideCall(wide.c_str()) != FALSE;
}

} // namespace

bool openListing(Listing& listing, const std::string& directory, ListedEntry& entry) {
    listing.handle = findFirst(directory + "*", entry, listing.wide);
    return listing.handle != INVALID_HANDLE_VALUE;
}

bool nextEntry(Listing& listing, ListedEntry& entry) {
    if (listing.handle == INVALID_HANDLE_VALUE)
        return false;
    if (!listing.wide) {
        WIN32_FIND_DATAA found;
        if (!FindNextFileA(listing.handle, &found))
            return false;
        take(found, entry);
        return true;
    }
    WIN32_FIND_DATAW found;
    if (!FindNextFileW(listing.handle, &found))
        return false;
    take(found, entry);
    return true;
}

void closeListing(Listing& listing) {
    if (listing.handle != INVALID_HANDLE_VALUE)
        FindClose(listing.handle);
    listing.handle = INVALID_HANDLE_VALUE;
}

bool inspectEntry(const std::string& path, ListedEntry& entry) {
    bool wide;
    HANDLE handle = findFirst(path, entry, wide);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    FindClose(handle);
    return true;
}

bool deleteFileAt(const std::string& path) {
    return onPath(path, DeleteFileW, DeleteFileA);
}

bool removeDirectoryAt(const std::string& path) {
    return onPath(path, RemoveDirectoryW, RemoveDirectoryA);
}

bool setAttributesAt(const std::string& path, DWORD attributes) {
    return onPath(
        path, [attributes](const wchar_t* wide) { return SetFileAttributesW(wide, attributes); },
        [attributes](const char* ansi) { return SetFileAttributesA(ansi, attributes); });
}
