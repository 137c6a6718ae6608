#include "pie/texts.h"

#include "model/links.h"
#include "model/sizetree.h"
#include "model/survey.h"
#include "pie/handles.h"
#include "res/resource.h"
#include "settings/settings.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

std::string loadText(unsigned id, int maxLength) {
    std::vector<char> text(static_cast<size_t>(maxLength) + 1);
    int length = LoadStringA(appInstance, id, text.data(), maxLength + 1);
    return std::string(text.data(), static_cast<size_t>(std::max(length, 0)));
}

std::string formatSize(double bytes) {
    const char* unit = "bytes";
    double value = bytes;
    if (bytes >= 10000000000.0) {
        unit = "GB";
        value = bytes / 1073741824.0;
    } else if (bytes >= 10000000.0) {
        unit = "MB";
        value = bytes / 1048576.0;
    } else if (bytes >= 10000.0) {
        unit = "kB";
        value = bytes / 1024.0;
    }
    // Halves round up, as people round; printf alone would round them to even.
    char text[64];
    std::snprintf(text, sizeof text, "%.0f %s", std::floor(value + 0.5), unit);
    return text;
}

double bytesOf(const DirNode* node, uint64_t clusters) {
    return static_cast<double>(clusters) * static_cast<double>(node->survey->clusterSize);
}

std::string sliceLabel(const std::string& name, int32_t sweep, double bytes) {
    char size[64];
    switch (showBytes.value) {
    case 0:
        return name;
    case 1:
        std::snprintf(size, sizeof size, " (%d%%)", static_cast<int>(sweep / 36));
        return name + size;
    case 2:
        return name + " (" + formatSize(bytes) + ")";
    default:
        return std::string();
    }
}

std::string hoverText(const DirNode* child) {
    return pathOf(child) + " (" + formatSize(bytesOf(child, child->totalClusters)) + ")";
}

std::string hoverText(const DirNode* node, const FileEntry* entry) {
    std::string text = pathOf(node) + entry->name + " (" + formatSize(bytesOf(node, entry->clusters));
    if (entry->clusters == 0 && entry->fileId)
        if (const DirNode* counted = countingFolder(node->survey, entry->fileId))
            text += ", " + loadText(IDS_OTHER_NAME, 255) + " " + pathOf(counted);
    return text + ")";
}

std::string hoverTextShared(const DirNode* node) {
    return loadText(IDS_SHARED_LINKS_HOVER, 255) + " (" + formatSize(bytesOf(node, node->sharedClusters)) + ")";
}

std::string hoverTextOutside(const DirNode* node) {
    return node && node->parent ? "Zoom out" : "";
}

std::string totalsText(const DirNode* node) {
    if (!node->parent)
        return loadText(IDS_TOTAL_DEVICE, 255) + " " + formatSize(bytesOf(node, node->survey->totalClusters));
    return loadText(IDS_TOTAL_DIRECTORY, 255) + " " + formatSize(bytesOf(node, node->totalClusters));
}
