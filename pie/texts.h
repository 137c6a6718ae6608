// The texts the chart shows: sizes, slice labels, the text for the slice under the mouse and the
// totals line. Pure functions of the model, the settings and the string table.
#pragma once

#include <cstdint>
#include <string>

struct DirNode;
struct FileEntry;

// A string of the program's string table, loaded with room for maxLength characters.
std::string loadText(unsigned id, int maxLength);

// Bytes as "1234 bytes", "10 kB", "9766 kB", "10 MB", "9 GB": the unit changes at powers of ten,
// the divisors are powers of two.
std::string formatSize(double bytes);
// Bytes on disk of a cluster count of the node's drive, formed in double precision.
double bytesOf(const DirNode* node, uint64_t clusters);

// The label of a slice by the "Show bytes" setting: the name alone, with the percentage of its
// drawn angle (sweep in tenths of a degree), or with its size.
std::string sliceLabel(const std::string& name, int32_t sweep, double bytes);

// Status texts for the slice under the mouse: a subdirectory, a file of node (a name of a file
// that counts elsewhere says where), or nothing hit (outside the pie: "Zoom out" when node has a
// parent, else empty).
std::string hoverText(const DirNode* child);
std::string hoverText(const DirNode* node, const FileEntry* entry);
std::string hoverTextOutside(const DirNode* node);
// The slice of the files of several names that node's subdirectories share.
std::string hoverTextShared(const DirNode* node);

// The totals line: the drive's capacity at its root, the subtree's total below it.
std::string totalsText(const DirNode* node);
