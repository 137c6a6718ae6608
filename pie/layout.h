// The geometry of the pie: logical units (10,000 across the shorter side of the window, origin at
// the centre, y downward), angles in tenths of a degree from twelve o'clock counter-clockwise,
// the slices of one directory and where their labels go. No window is needed to compute it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct DirNode;
struct FileEntry;
struct PieView;

// Shared: the files of several names that lie in several subdirectories, counted in none of them.
enum class SliceGroup { Subdirectory, Shared, File, OwnFiles, FreeSpace, Rest };

// 32 bytes: a directory of a million files makes a million of them.
struct Slice {
    SliceGroup group;
    int32_t start;
    union {
        DirNode* child;   // for a subdirectory
        FileEntry* entry; // for a file
    };
    uint64_t size; // clusters
    int32_t sweep;
};

struct PieLayout {
    std::vector<Slice> slices;
    // The clusters the whole disc stands for: the drive's capacity at its root, else the
    // directory's total, or the slices' sum where that is larger.
    uint64_t total = 0;
    // Where the last slice ends: 3600, or less where the files listed after the scan add up to less
    // than the directory's total.
    int32_t end = 0;
    // The fixed labels of the shared, own-files, free-space and rest slices.
    std::string sharedName, ownFilesName, freeSpaceName, restName;
};

POINT pointAt(int32_t angle, int32_t distance);
uint64_t pieTotal(const DirNode* node);
int32_t pieRadius(int32_t fontHeight, bool onScreen);
// Slices with a sweep above this get a label; a window without height labels nothing.
int32_t labelThreshold(int32_t clientHeight);

// The slices of the view's current node, in drawing order; none when its total is 0.
PieLayout layoutPie(const PieView& view, bool showFiles);
// The same, made once and kept while the current node, showFiles and the size tree stay as they
// were: the paint and every mouse move over a chart of a million files use it.
const PieLayout& currentLayout(const PieView& view, bool showFiles);
// The index of the slice drawn at a pie angle, found by a binary search over the start angles;
// -1 where no slice is drawn.
ptrdiff_t sliceAt(const PieLayout& layout, int32_t angle);
// The name a slice is labelled with: the item's own or the group's fixed text.
const std::string& sliceName(const PieLayout& layout, const Slice& slice);

struct LabelGeometry {
    POINT lineFrom; // on the rim
    POINT lineTo;   // 200 units out, where the text is anchored
    UINT align;     // SetTextAlign flags
};
// Alignment of a label whose slice is centred at pie angle mid.
UINT labelAlignment(int32_t mid);
LabelGeometry labelGeometry(const Slice& slice, int32_t radius);
