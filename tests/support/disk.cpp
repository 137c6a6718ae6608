#include "support/disk.h"

#include "settings/settings.h"

#include <gtest/gtest.h>

#include <windows.h>

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

void removeContents(const std::string& folder) {
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA((folder + "*").c_str(), &entry);
    if (listing != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string full = folder + name;
            SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                wipeTree(full);
            else if (!DeleteFileA(full.c_str()))
                RemoveDirectoryA(full.c_str());
        } while (FindNextFileA(listing, &entry));
        FindClose(listing);
    }
}

} // namespace

void wipeTree(const std::string& path) {
    std::string folder = path.back() == '\\' ? path : path + "\\";
    removeContents(folder);
    RemoveDirectoryA(folder.c_str());
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
    removeContents(root);
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
