// A real scan of drive R:, which holds the random trees of 100 seeds, against the reference that
// tests/reference/gentree worked out from the same disk on the Linux side with code of its own.
#include "hardening/checks.h"
#include "reference/reference.h"
#include "support/disk.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int driveR = 17;

// Every node of the tree by its path below the drive root, built from the names the nodes hold.
void collect(DirNode* node, const std::string& path, std::map<std::string, DirNode*>& out) {
    out[path] = node;
    for (DirNode* child : node->children.items)
        collect(child, path + child->name + "\\", out);
}

} // namespace

TEST(Reference, EveryDirectoryOfARealScanHoldsTheTotalsWorkedOutOnTheLinuxSide) {
    const char* file = std::getenv("TARVALE_REFERENCE");
    ASSERT_NE(file, nullptr) << "the runner names the reference file";
    Reference reference = readReference(windowsPathOf(file));
    ASSERT_GT(reference.directories.size(), 2000u) << "the 100 seeds' trees";
    resetSettings(); // no cluster-size override but, on the Windows 95/98 route, the real one

    UiHarness ui;
    DWORD elapsed = 0;
    DriveSurvey* survey = scanAndWait(driveR, 300000, elapsed);
    ASSERT_NE(survey, nullptr);
    ASSERT_EQ(survey->clusterSize, 4096u) << "the reference counts in Wine's clusters of folder drives";

    std::map<std::string, DirNode*> scanned;
    collect(survey->root, "", scanned);
    std::printf("scanned %zu directories in %lu ms\n", scanned.size(), static_cast<unsigned long>(elapsed));

    // The same directories, under the same names, with the same figures.
    std::vector<std::string> faults;
    for (const auto& [path, listed] : reference.directories) {
        auto found = scanned.find(path);
        if (found == scanned.end()) {
            faults.push_back("missing: " + path);
            continue;
        }
        const DirNode* node = found->second;
        // Windows 95 and 98 list no file numbers: every name counts.
        Expected expected = listed;
        if (legacyRoute()) {
            expected.own = expected.ownEach;
            expected.total = expected.totalEach;
        }
        if (node->isLink != expected.link || node->ownClusters != expected.own ||
            node->totalClusters != expected.total)
            faults.push_back(path + ": link " + std::to_string(node->isLink) + " own " +
                             std::to_string(node->ownClusters) + " total " +
                             std::to_string(node->totalClusters) + ", expected link " +
                             std::to_string(expected.link) + " own " + std::to_string(expected.own) +
                             " total " + std::to_string(expected.total));
    }
    for (const auto& [path, node] : scanned)
        if (!reference.directories.count(path))
            faults.push_back("not in the reference: " + path);
    std::string report;
    for (size_t i = 0; i < std::min<size_t>(faults.size(), 25); ++i)
        report += faults[i] + "\n";
    EXPECT_TRUE(faults.empty()) << faults.size() << " differences, the first ones:\n" << report;

    // The lookup that reselects a directory after a re-scan finds each of them, also when the
    // path's ASCII letters are written in another case.
    for (const auto& [path, node] : scanned) {
        std::string full = "R:\\" + path;
        ASSERT_EQ(findByPath(survey->root, full), node) << full;
        std::string upper = full;
        for (char& c : upper)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        ASSERT_EQ(findByPath(survey->root, upper), node) << upper;
    }

    // Each level adds up, is ordered largest first, and the tree view shows exactly it.
    auto top = childItems(DirTreeView, TVI_ROOT);
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(top[0].text, "R:\\");
    EXPECT_EQ(checkConsistent(survey->root).nodes, scanned.size());

    // The trees hold files that Windows sees as hidden, and they were counted above like any other.
    ASSERT_FALSE(reference.hidden.empty());
    for (const std::string& path : reference.hidden) {
        DWORD attributes = GetFileAttributesW((L"R:\\" + wideOfUtf8(path)).c_str());
        ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << path;
        EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN) << path;
    }

    forgetScans();
}
