#include "support/disk.h"

#include "settings/settings.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

void makeDir(const std::string& path) {
    ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path << " error " << GetLastError();
}

void makeDir(const std::wstring& path) {
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << "error " << GetLastError();
}

namespace {

void setLength(HANDLE file, uint64_t length) {
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(length);
    EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN));
    EXPECT_TRUE(SetEndOfFile(file));
    CloseHandle(file);
}

} // namespace

void makeFile(const std::string& path, uint64_t length) {
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path << " error " << GetLastError();
    setLength(file, length);
}

void makeFile(const std::wstring& path, uint64_t length) {
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    setLength(file, length);
}

namespace {

// By UTF-16 names, so that a name outside the code page the tests run in goes too.
void removeContents(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileW((folder + L"*").c_str(), &entry);
    if (listing != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring full = folder + name;
            SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                removeContents(full + L"\\");
                RemoveDirectoryW(full.c_str());
            } else if (!DeleteFileW(full.c_str())) {
                RemoveDirectoryW(full.c_str());
            }
        } while (FindNextFileW(listing, &entry));
        FindClose(listing);
    }
}

std::wstring wideFolder(const std::string& path) {
    std::wstring wide(path.size() + 1, L'\0');
    wide.resize(static_cast<size_t>(
        std::max(0, MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), &wide[0],
                                        static_cast<int>(wide.size())))));
    if (wide.empty() || wide.back() != L'\\')
        wide += L'\\';
    return wide;
}

} // namespace

void wipeTree(const std::string& path) {
    const std::wstring folder = wideFolder(path);
    removeContents(folder);
    RemoveDirectoryW(folder.c_str());
}

std::string freshFolder(const std::string& name) {
    std::string path = "T:\\" + name + "\\";
    wipeTree(path);
    makeDir(path);
    return path;
}

std::string freshDrive(const std::string& letter) {
    // Only the contents: under Wine, removing a drive's root removes the folder it is mapped to.
    std::string root = letter + ":\\";
    removeContents(wideFolder(root));
    return root;
}

std::string settingsFilePath() {
    char folder[MAX_PATH];
    GetWindowsDirectoryA(folder, MAX_PATH);
    return std::string(folder) + "\\" + IniFileName;
}

void resetSettings() {
    DeleteFileA(settingsFilePath().c_str());
    if (!legacyRoute())
        return;
    for (const char* root : {"K:\\", "L:\\", "R:\\", "U:\\", "V:\\"})
        WritePrivateProfileStringA("Blocksizes", root, "4096", settingsFilePath().c_str());
}

bool legacyRoute() {
    return (GetVersion() & 0x80000000) != 0;
}

uint32_t reportedClusterSize() {
    return legacyRoute() ? 32768 : 4096;
}

std::string programFolder() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder = path;
    folder = folder.substr(0, folder.rfind('\\'));
    return folder.substr(0, folder.rfind('\\'));
}
