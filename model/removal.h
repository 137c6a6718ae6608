// Removing a file, or a directory with everything in it, on the user's behalf. The disk is looked
// at as it is at that moment, through the names the file system gives, and never through a link.
// On Windows NT and later (and Wine) every step works through handles: each directory is opened
// as itself, listed through its handle, and each entry in it is opened relative to that handle and
// removed through the handle that was checked, so no name is resolved twice. Windows 95 and 98,
// which have neither handles of that kind nor links, work by path.
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
// file, or, with directory, a directory and everything in it. A directory is walked and checked
// whole before anything is deleted: if any entry of it cannot be removed safely (a link that the
// system can remove only together with its target, a folder that cannot be opened), nothing is.
// A link is removed as itself, or left alone with its target; a file where a directory was, or the
// reverse, is left alone; read-only entries are removed too.
RemovalOutcome removeEntry(const std::string& parent, const std::string& name, bool directory,
                           RemovalFault& fault, RemovalIdle idle, void* context);
