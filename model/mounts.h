// Where Linux mounts something inside a drive, under Wine. Wine lists a folder where another file
// system is mounted as a reparse point, but a folder of the same file system bound there (as a
// chroot binds /home) as a plain one: walking it counts what it shows twice, and deleting through
// it deletes the folder bound there. Only the mount table tells, read once per scan or deletion.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The mount points inside one drive: their paths as listed ("L:\\Dir\\mirror", in the disk's code
// page, no final backslash) and the last step of each, both sorted.
struct DriveMounts {
    std::vector<std::string> paths;
    std::vector<std::string> names;
};

// The mount points of a mount table (the text of /proc/self/mountinfo), as Linux names them.
std::vector<std::string> mountPoints(std::string_view table);

// Under Wine, the mount points inside the drive of path (as listed, "L:\\..."), read from the
// mount table now; none on Windows, where nothing is read.
DriveMounts mountsInDrive(const std::string& path);

// Whether the folder listed as name in the folder at folder (as listed, ending in a backslash) is
// a mount point.
bool isMountPoint(const DriveMounts& mounts, std::string_view folder, std::string_view name);
