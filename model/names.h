// Names and paths between the forms the program meets them in: UTF-16 as the system's wide and
// native calls take them, the disk's code page in which the model keeps them as listed, and the
// program's own code page in which the windows show them.
#pragma once

#include <windows.h>

#include <string>

// The code page of names as listed. On Windows NT and later it is UTF-8, in which every UTF-16
// name has one exact form whatever the program's code page: a name converted to a legacy code
// page may come back as another entry's name ("s\u0142owa" best fits to "slowa") or as none
// ("\u65e5\u672c" to "??"). Windows 95 and 98 list and take names in the program's code page.
UINT diskCodePage();
// The name to reach an entry found by FindFirstFileA on Windows 95 and 98. Their long names come
// in the program's code page, with '?' for each character it lacks (Wine gives the nearest
// character instead): such a name may reach nothing, or another entry ("s\u0142owa.txt" listed as
// "slowa.txt"), and a pattern takes its '?' for a wildcard. A short name is exact, so an entry
// that has one is reached by it, and shown by its long name.
const char* reachableName(const WIN32_FIND_DATAA& found);
// A name or path between the disk's code page and UTF-16: appendNarrow appends the name of units
// UTF-16 units to out; wideOf converts text, empty when it cannot be converted.
void appendNarrow(std::string& out, const wchar_t* name, size_t units);
std::wstring wideOf(const std::string& text);
// A listed name or path as the program shows it, in its own code page: the same text where that
// is UTF-8, else with the code page's nearest characters, or '?'.
std::string shownText(const std::string& listed);
std::string shownText(const wchar_t* name, size_t units);
// Whether a listing of a sound folder can give the name: not empty, not "." or "..", and without
// a backslash or a slash. A volume written by another system, or damaged, can hold such a name, and
// a path through it reaches another entry, or none: the scan lists no such entry and the deletion
// refuses it. The narrow form takes a name in the disk's code page.
bool listableName(const wchar_t* name, size_t units);
bool listableName(const std::string& name);
// The "\\?\" form of a path in UTF-16, or empty when the path cannot be converted.
std::wstring diskPath(const std::string& path);
