// Size trees built by hand, as a finished scan leaves them.
#pragma once

#include "model/sizetree.h"
#include "model/survey.h"

#include <string>

inline DirNode* addChild(DirNode* parent, const std::string& name, uint64_t own) {
    DirNode* node = new DirNode;
    node->name = name;
    node->parent = parent;
    node->survey = parent->survey;
    node->ownClusters = own;
    node->totalClusters = own;
    appendUnsorted(parent->children, node);
    return node;
}

// Gives dir a listed file list and adds one file to it.
inline FileEntry* addFile(DirNode* dir, const std::string& name, uint64_t clusters) {
    if (!dir->files)
        dir->files = new SizeSortedArray<FileEntry>;
    dir->filesListed = true;
    FileEntry* file = new FileEntry{name, clusters};
    appendUnsorted(*dir->files, file);
    return file;
}

// Adds the totals bottom-up and orders every level.
inline uint64_t settle(DirNode* node) {
    node->totalClusters = node->ownClusters;
    for (DirNode* child : node->children.items)
        node->totalClusters += settle(child);
    sortBySize(node->children);
    if (node->files)
        sortBySize(*node->files);
    return node->totalClusters;
}

// A drive C: with its root node; destroys the tree with it.
struct Drive {
    DriveSurvey survey;
    explicit Drive(uint64_t totalClusters = 1000, uint64_t freeClusters = 100, uint32_t clusterSize = 4096) {
        survey.rootPath = "C:\\";
        survey.driveIndex = 2;
        survey.driveType = DRIVE_FIXED;
        survey.clusterSize = clusterSize;
        survey.totalClusters = totalClusters;
        survey.freeClusters = freeClusters;
        survey.complete = true;
        survey.root = new DirNode;
        survey.root->name = survey.rootPath;
        survey.root->survey = &survey;
    }
    ~Drive() { destroyNode(survey.root); }
    DirNode* root() const { return survey.root; }
};
