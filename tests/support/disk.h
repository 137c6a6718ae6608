// Files and folders for the tests, made through Win32 on drive T:, which the test runner maps
// to a folder of the build.
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
// Removes a folder with its contents; links are removed, never followed.
void wipeTree(const std::string& path);
// The build folder holding tarvale.exe and the help files: the parent of the test program's folder.
std::string programFolder();
// Where the settings file lands: the Windows directory.
std::string settingsFilePath();
