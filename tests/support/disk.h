// Files and folders for the tests, made and removed through Win32 on the test drives (T:, U:, V:
// and others), which the test runners map to folders of the build. Links, and what else Win32
// cannot make, are laid out on the Linux side (tests/fixtures/make-drive.sh).
#pragma once

#include <cstdint>
#include <string>

// An empty folder T:\name\ (removed first with everything in it); returns its path.
std::string freshFolder(const std::string& name);
// Empties the root of a test drive ("U") and returns its root path ("U:\\").
std::string freshDrive(const std::string& letter);
void makeDir(const std::string& path);
// A file of the given length; long files are sparse on the Linux side, so 5 GB costs nothing.
void makeFile(const std::string& path, uint64_t length);
// The same by UTF-16 paths, for names outside the code page the tests run in.
void makeDir(const std::wstring& path);
void makeFile(const std::wstring& path, uint64_t length);
// Removes a folder with its contents, by their UTF-16 names. Only for folders without links: under
// Wine deleting a link to a file deletes its target, and a link to a folder stays, unless the
// folder it names is empty, which goes instead.
void wipeTree(const std::string& path);
// The build folder holding tarvale.exe and the help files: the parent of the test program's folder.
std::string programFolder();
// Where the settings file lands: the Windows directory.
std::string settingsFilePath();
// Deletes the settings file. On the Windows 95/98 route the test drives' real cluster size is then
// set in it, as a user of those systems sets it: the size they report would change every count.
void resetSettings();

// Whether the program takes its Windows 95/98 route: Wine reports one of those systems.
bool legacyRoute();
// The cluster size Wine reports for a drive mapped to a Linux folder: 4096 bytes, and 32 KB as
// Windows 95 or 98, which cap a big drive's geometry as those systems did (below 2 GB in at most
// 65,535 clusters).
uint32_t reportedClusterSize();
