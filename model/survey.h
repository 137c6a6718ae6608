// One drive: its root path, type, file system, the cluster size every count of it uses, its
// capacity and free space in clusters, and the root of its size tree.
#pragma once

#include <cstdint>
#include <string>

struct DirNode;

struct DriveSurvey {
    DirNode* root = nullptr;
    uint64_t totalClusters = 0;
    uint64_t freeClusters = 0;
    uint32_t clusterSize = 0;
    int32_t driveIndex = 0;
    uint32_t driveType = 0;
    // Set as the survey's last step; before that the user interface reads only node paths.
    bool complete = false;
    std::string rootPath;
    std::string fileSystem;
};
