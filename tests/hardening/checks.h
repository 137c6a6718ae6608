// What every finished scan must satisfy, however odd the disk it read: each level adds up, each
// level is ordered largest first, and the tree view shows exactly the model.
#pragma once

#include "model/scanthread.h"
#include "model/sizetree.h"
#include "model/survey.h"

#include "app/mainwindow.h"
#include "app/treeview.h"
#include "support/ui.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

struct TreeFigures {
    size_t nodes = 0;
    size_t links = 0;
};

// Checks the subtree under node; returns how many nodes and links it holds. Stops at the first
// fault, naming the directory.
inline TreeFigures checkConsistent(const DirNode* root) {
    TreeFigures figures;
    std::vector<const DirNode*> pending{root};
    while (!pending.empty()) {
        const DirNode* node = pending.back();
        pending.pop_back();
        ++figures.nodes;
        figures.links += node->isLink;
        uint64_t sum = node->ownClusters + node->sharedClusters;
        uint64_t previous = UINT64_MAX;
        for (const DirNode* child : node->children.items) {
            sum += child->totalClusters;
            EXPECT_LE(child->totalClusters, previous) << pathOf(node) << " children largest first";
            previous = child->totalClusters;
            EXPECT_EQ(child->parent, node);
            pending.push_back(child);
        }
        EXPECT_EQ(node->totalClusters, sum) << pathOf(node);
        if (node->isLink) {
            EXPECT_EQ(node->totalClusters, 0u) << pathOf(node);
            EXPECT_EQ(count(node->children), 0u) << pathOf(node);
        }
        auto items = childItems(DirTreeView, node->treeItem);
        EXPECT_EQ(items.size(), count(node->children)) << pathOf(node);
        std::set<LPARAM> shown, held;
        uint64_t previousItem = UINT64_MAX;
        for (const auto& item : items) {
            const DirNode* child = reinterpret_cast<const DirNode*>(item.param);
            shown.insert(item.param);
            EXPECT_EQ(item.text, child->name);
            EXPECT_LE(child->totalClusters, previousItem) << pathOf(node) << " items largest first";
            previousItem = child->totalClusters;
        }
        for (const DirNode* child : node->children.items)
            held.insert(reinterpret_cast<LPARAM>(child));
        EXPECT_EQ(shown, held) << pathOf(node);
        if (testing::Test::HasFailure())
            break;
    }
    return figures;
}

// Starts the scan of a drive as the drive list does and waits for its final selection; returns
// the published survey (null on timeout) and the time taken.
inline DriveSurvey* scanAndWait(int driveIndex, DWORD timeoutMs, DWORD& elapsedMs) {
    int before = uiLog.selections;
    DWORD start = GetTickCount();
    ScanRequest request;
    request.driveIndex = driveIndex;
    startScan(request, screenSink());
    bool done = pumpUntil(
        [&] {
            return surveyInSlot(driveIndex) && uiLog.selections > before && !driveTable.settling[driveIndex];
        },
        timeoutMs);
    elapsedMs = GetTickCount() - start;
    return done ? surveyInSlot(driveIndex) : nullptr;
}

// Removes the drive's items from the tree view and frees every finished survey, so that the
// drive can be scanned again.
inline void forgetScans() {
    pumpPending(); // status texts still queued point into the nodes
    for (int drive = 0; drive < 26; ++drive)
        if (DriveSurvey* survey = surveyInSlot(drive))
            SendMessageA(DirTreeView, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(survey->root->treeItem));
    freeDriveTable();
}
