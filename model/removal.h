// Removing a file, or a directory with everything in it, on the user's behalf. The disk is looked
// at as it is at that moment, through the names the file system listed, and never through a link.
// A directory is walked twice: a check pass decides for every entry what will be done with it and
// refuses the whole removal, before anything is deleted, where any entry cannot be removed safely;
// the delete pass looks at each entry again and stops where it is not what the check saw.
// What each system allows:
// - Windows NT and later: each folder is opened as itself, relative to its parent's handle, listed
//   through that handle, and each entry removed through a handle of its own, opened as the entry
//   itself (a link as the link) and named, case included, as listed.
// - Wine: the same calls, but Wine finds a name relative to a handle by the folder's path, and a
//   handle to a link reaches its target. So each folder and file must have the file number its
//   folder listed, a file whose handle the system names otherwise is a link and is removed by
//   renaming an empty file onto it, a folder's path must still lead to it before it is removed, and
//   links to folders and whatever is mounted inside (a folder of the same file system bound there
//   included, which only the mount table tells) are never entered. Between a look and the deletion
//   that follows it, a few microseconds, a rename elsewhere can still redirect it.
// - Windows 95 and 98, which have no links and no such handles: each entry by its path.
#pragma once

#include <windows.h>

#include <string>

// Where and why a removal stopped: the entry, in the names as listed (shownText shows them), and
// the system's error code; reason, when set, says what the system's description of the code would
// not.
struct RemovalFault {
    std::string path;
    DWORD error = 0;
    std::string reason;
};

enum class RemovalOutcome {
    Removed,   // all of it
    Untouched, // nothing was deleted
    Partial,   // it stopped after deleting some of it
};

// Called between entries of a long removal, so that the windows can repaint.
typedef void (*RemovalIdle)(void* context);

// Removes the entry name of the directory parent (names as listed; parent ends in a backslash): a
// file, or, with directory, a directory and everything in it. shown, when given, is the name the
// chart shows: an entry that the listing reached by its short name is removed only while its long
// name is still that one. An entry whose listed name is not the only one of its kind in its folder
// is refused; a link is removed as itself or refused with its target left alone; a file where a
// directory was, or the reverse, is left alone; read-only entries are removed too.
RemovalOutcome removeEntry(const std::string& parent, const std::string& name, bool directory,
                           RemovalFault& fault, RemovalIdle idle, void* context,
                           const std::string& shown = std::string());
