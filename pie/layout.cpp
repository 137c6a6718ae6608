#include "pie/layout.h"

#include "model/scan.h"
#include "model/sizetree.h"
#include "model/survey.h"
#include "pie/pieview.h"
#include "pie/texts.h"
#include "res/resource.h"

#include <climits>
#include <algorithm>
#include <cmath>

namespace {

constexpr double twoPi = 6.283185307179586;

void addSlice(PieLayout& layout, SliceGroup group, DirNode* child, uint64_t size) {
    layout.slices.push_back(Slice{group, 0, {child}, size, 0});
}

void addSlice(PieLayout& layout, SliceGroup group, FileEntry* entry, uint64_t size) {
    Slice slice{group, 0, {nullptr}, size, 0};
    slice.entry = entry;
    layout.slices.push_back(slice);
}

// The pie angle at which slices adding up to running clusters end, on a disc of scale clusters.
int32_t angleAt(uint64_t running, uint64_t scale) {
    return static_cast<int32_t>(static_cast<double>(running) * 3600 / static_cast<double>(scale));
}

} // namespace

POINT pointAt(int32_t angle, int32_t distance) {
    double radians = (angle + 900) * twoPi / 3600;
    POINT point;
    point.x = static_cast<LONG>(distance * std::cos(radians));
    point.y = static_cast<LONG>(-distance * std::sin(radians));
    return point;
}

uint64_t pieTotal(const DirNode* node) {
    return node->parent ? node->totalClusters : node->survey->totalClusters;
}

int32_t pieRadius(int32_t fontHeight, bool onScreen) {
    return onScreen ? 4800 - fontHeight : 4600 - 2 * fontHeight;
}

int32_t labelThreshold(int32_t clientHeight) {
    return clientHeight > 0 ? 20000 / clientHeight : INT32_MAX;
}

PieLayout layoutPie(const PieView& view, bool showFiles) {
    PieLayout layout;
    DirNode* node = view.currentNode;
    if (!node || node->totalClusters == 0)
        return layout;
    size_t files = 0;
    if (showFiles) {
        listFiles(node);
        files = node->files ? count(*node->files) : 0;
    }
    layout.slices.reserve(count(node->children) + files + 4);

    for (DirNode* child : node->children.items)
        addSlice(layout, SliceGroup::Subdirectory, child, child->totalClusters);
    if (node->sharedClusters > 0) {
        layout.sharedName = loadText(IDS_SHARED_LINKS, 255);
        addSlice(layout, SliceGroup::Shared, static_cast<DirNode*>(nullptr), node->sharedClusters);
    }
    if (!showFiles) {
        layout.ownFilesName = loadText(IDS_THIS_DIRECTORY, 255);
        addSlice(layout, SliceGroup::OwnFiles, static_cast<DirNode*>(nullptr), node->ownClusters);
    } else if (node->files) {
        for (FileEntry* entry : node->files->items)
            addSlice(layout, SliceGroup::File, entry, entry->clusters);
    }
    uint64_t sum = 0;
    for (const Slice& slice : layout.slices)
        sum += slice.size;
    layout.total = pieTotal(node);
    if (!node->parent) {
        layout.freeSpaceName = loadText(IDS_FREE_SPACE, 255);
        addSlice(layout, SliceGroup::FreeSpace, static_cast<DirNode*>(nullptr), node->survey->freeClusters);
        sum += node->survey->freeClusters;
        if (sum < layout.total) {
            layout.restName = loadText(IDS_DIRECTORIES_ETC, 255);
            addSlice(layout, SliceGroup::Rest, static_cast<DirNode*>(nullptr), layout.total - sum);
        }
    }
    // Files listed after the scan can add up to more than the directory's counted total, and a
    // drive's used and free space to more than its capacity (a file system's odd figures); the
    // disc then stands for their sum, so that the slices close the circle and none overlaps.
    layout.total = std::max(layout.total, sum);
    const uint64_t scale = layout.total;
    const double whole = static_cast<double>(scale);

    uint64_t running = 0;
    int32_t start = 0;
    for (Slice& slice : layout.slices) {
        slice.start = start;
        slice.sweep = static_cast<int32_t>(static_cast<double>(slice.size) * 3600 / whole);
        running += slice.size;
        start = angleAt(running, scale);
    }
    layout.end = start;
    return layout;
}

namespace {

struct LayoutCache {
    PieLayout layout;
    const DirNode* node = nullptr;
    bool showFiles = false;
    uint64_t treeVersion = 0;
};
LayoutCache cache;

} // namespace

const PieLayout& currentLayout(const PieView& view, bool showFiles) {
    if (!cache.node || cache.node != view.currentNode || cache.showFiles != showFiles ||
        cache.treeVersion != treeVersion) {
        cache.layout = layoutPie(view, showFiles); // may list the files, which changes the version
        cache.node = view.currentNode;
        cache.showFiles = showFiles;
        cache.treeVersion = treeVersion;
    }
    return cache.layout;
}

ptrdiff_t sliceAt(const PieLayout& layout, int32_t angle) {
    if (angle >= layout.end)
        return -1;
    auto after = std::upper_bound(layout.slices.begin(), layout.slices.end(), angle,
                                  [](int32_t a, const Slice& slice) { return a < slice.start; });
    return after - layout.slices.begin() - 1;
}

const std::string& sliceName(const PieLayout& layout, const Slice& slice) {
    switch (slice.group) {
    case SliceGroup::Subdirectory:
        return slice.child->name;
    case SliceGroup::File:
        return slice.entry->name;
    case SliceGroup::Shared:
        return layout.sharedName;
    case SliceGroup::OwnFiles:
        return layout.ownFilesName;
    case SliceGroup::FreeSpace:
        return layout.freeSpaceName;
    case SliceGroup::Rest:
        break;
    }
    return layout.restName;
}

UINT labelAlignment(int32_t mid) {
    int32_t d = (mid + 900) % 3600;
    if (d > 3550)
        return TA_LEFT | TA_BASELINE;
    if (d > 2750)
        return TA_LEFT | TA_TOP;
    if (d > 2650)
        return TA_CENTER | TA_TOP;
    if (d > 1850)
        return TA_RIGHT | TA_TOP;
    if (d > 1750)
        return TA_RIGHT | TA_BASELINE;
    if (d > 950)
        return TA_RIGHT | TA_BOTTOM;
    if (d > 850)
        return TA_CENTER | TA_BOTTOM;
    if (d > 50)
        return TA_LEFT | TA_BOTTOM;
    return TA_LEFT | TA_BASELINE;
}

LabelGeometry labelGeometry(const Slice& slice, int32_t radius) {
    int32_t mid = (slice.start + slice.sweep / 2) % 3600;
    return LabelGeometry{pointAt(mid, radius), pointAt(mid, radius + 200), labelAlignment(mid)};
}
