#include "pie/layout.h"

#include "pie/pieview.h"
#include "settings/settings.h"
#include "support/disk.h"
#include "support/tree.h"

#include <gtest/gtest.h>

#include <random>

namespace {

struct Expected {
    SliceGroup group;
    uint64_t size;
    int32_t start;
    int32_t sweep;
};

void expectSlices(const PieLayout& layout, const std::vector<Expected>& expected) {
    ASSERT_EQ(layout.slices.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(layout.slices[i].group, expected[i].group) << "slice " << i;
        EXPECT_EQ(layout.slices[i].size, expected[i].size) << "slice " << i;
        EXPECT_EQ(layout.slices[i].start, expected[i].start) << "slice " << i;
        EXPECT_EQ(layout.slices[i].sweep, expected[i].sweep) << "slice " << i;
    }
}

PieView viewOf(DirNode* node) {
    PieView view;
    view.currentNode = node;
    view.currentDrive = node->survey->driveIndex;
    return view;
}

} // namespace

TEST(Layout, PointsRadiiAndThresholds) {
    EXPECT_EQ(pointAt(0, 4500).x, 0);
    EXPECT_EQ(pointAt(0, 4500).y, -4500);
    EXPECT_EQ(pointAt(900, 4500).x, -4500);
    EXPECT_EQ(pointAt(900, 4500).y, 0);
    EXPECT_EQ(pointAt(1800, 100).y, 100);
    EXPECT_EQ(pointAt(2700, 100).x, 100);
    EXPECT_EQ(pointAt(450, 1000).x, -707) << "truncated toward zero";
    EXPECT_EQ(pointAt(450, 1000).y, -707);
    EXPECT_EQ(pointAt(3600 + 900, 10).x, -10) << "periodic";

    EXPECT_EQ(pieRadius(300, true), 4500);
    EXPECT_EQ(pieRadius(300, false), 4000);
    EXPECT_EQ(labelThreshold(400), 50);
    EXPECT_EQ(labelThreshold(20000), 1);
    EXPECT_EQ(labelThreshold(20001), 0);
    EXPECT_GT(labelThreshold(0), 3600) << "a window without height labels nothing, and does not fault";
}

TEST(Layout, SlicesBelowTheRoot) {
    Drive drive;
    DirNode* a = addChild(drive.root(), "A", 0);
    DirNode* only = addChild(a, "Only", 5);
    DirNode* b = addChild(drive.root(), "B", 0);
    for (const char* name : {"X", "Y", "Z"})
        addChild(b, name, 1);
    DirNode* c = addChild(drive.root(), "C", 4);
    for (const char* name : {"X", "Y", "Z"})
        addChild(c, name, 1);
    DirNode* d = addChild(drive.root(), "D", 0);
    addChild(d, "One", 1);
    addChild(d, "Two", 2);
    DirNode* empty = addChild(drive.root(), "Empty", 0);
    settle(drive.root());

    PieLayout layout = layoutPie(viewOf(a), false);
    expectSlices(layout, {{SliceGroup::Subdirectory, 5, 0, 3600}, {SliceGroup::OwnFiles, 0, 3600, 0}});
    EXPECT_EQ(layout.slices[0].child, only);
    EXPECT_EQ(sliceName(layout, layout.slices[1]), "This directory");
    expectSlices(layoutPie(viewOf(a), true), {{SliceGroup::Subdirectory, 5, 0, 3600}});

    expectSlices(layoutPie(viewOf(b), false), {{SliceGroup::Subdirectory, 1, 0, 1200},
                                               {SliceGroup::Subdirectory, 1, 1200, 1200},
                                               {SliceGroup::Subdirectory, 1, 2400, 1200},
                                               {SliceGroup::OwnFiles, 0, 3600, 0}});
    PieLayout sevenths = layoutPie(viewOf(c), false);
    expectSlices(sevenths, {{SliceGroup::Subdirectory, 1, 0, 514},
                            {SliceGroup::Subdirectory, 1, 514, 514},
                            {SliceGroup::Subdirectory, 1, 1028, 514},
                            {SliceGroup::OwnFiles, 4, 1542, 2057}});
    EXPECT_EQ(sevenths.slices[3].start + sevenths.slices[3].sweep, 3599);
    expectSlices(layoutPie(viewOf(d), false), {{SliceGroup::Subdirectory, 2, 0, 2400},
                                               {SliceGroup::Subdirectory, 1, 2400, 1200},
                                               {SliceGroup::OwnFiles, 0, 3600, 0}});
    EXPECT_TRUE(layoutPie(viewOf(empty), false).slices.empty()) << "a total of 0 has no layout";
    PieView none;
    EXPECT_TRUE(layoutPie(none, false).slices.empty());
}

TEST(Layout, TheRootShowsFreeSpaceAndTheRest) {
    Drive drive(1000, 300);
    addChild(drive.root(), "Big", 400);
    addChild(drive.root(), "Small", 150);
    drive.root()->ownClusters = 50;
    settle(drive.root());
    PieLayout layout = layoutPie(viewOf(drive.root()), false);
    EXPECT_EQ(layout.total, 1000u);
    expectSlices(layout, {{SliceGroup::Subdirectory, 400, 0, 1440},
                          {SliceGroup::Subdirectory, 150, 1440, 540},
                          {SliceGroup::OwnFiles, 50, 1980, 180},
                          {SliceGroup::FreeSpace, 300, 2160, 1080},
                          {SliceGroup::Rest, 100, 3240, 360}});
    EXPECT_EQ(sliceName(layout, layout.slices[3]), "Free space");
    EXPECT_EQ(sliceName(layout, layout.slices[4]), "Directories etc.");
    EXPECT_EQ(sliceName(layout, layout.slices[0]), "Big");

    // Used plus free reach the capacity: no rest slice.
    drive.survey.freeClusters = 400;
    layout = layoutPie(viewOf(drive.root()), false);
    ASSERT_EQ(layout.slices.size(), 4u);
    EXPECT_EQ(layout.slices.back().group, SliceGroup::FreeSpace);
    EXPECT_EQ(layout.slices.back().start + layout.slices.back().sweep, 3600);
    // Beyond the capacity (a file system's odd figures): the disc stands for the slices' sum, which
    // close the circle without overlapping. Files its folders share come after the folders.
    drive.root()->sharedClusters = 100;
    drive.root()->totalClusters += 100;
    drive.survey.freeClusters = 500;
    layout = layoutPie(viewOf(drive.root()), false);
    EXPECT_EQ(layout.total, 1200u);
    expectSlices(layout, {{SliceGroup::Subdirectory, 400, 0, 1200},
                          {SliceGroup::Subdirectory, 150, 1200, 450},
                          {SliceGroup::Shared, 100, 1650, 300},
                          {SliceGroup::OwnFiles, 50, 1950, 150},
                          {SliceGroup::FreeSpace, 500, 2100, 1500}});
    EXPECT_EQ(sliceName(layout, layout.slices[2]), "Hard links");
    // An empty drive with free space still shows nothing.
    Drive blank(1000, 1000);
    EXPECT_TRUE(layoutPie(viewOf(blank.root()), false).slices.empty());
}

TEST(Layout, EveryFileIsASliceAndFilesListedLaterNeverOverrunTheCircle) {
    Drive drive;
    DirNode* dir = addChild(drive.root(), "Dir", 10);
    settle(drive.root());
    addFile(dir, "A.txt", 6);
    addFile(dir, "B.txt", 4);
    addFile(dir, "C.txt", 0);
    PieLayout layout = layoutPie(viewOf(dir), true);
    expectSlices(
        layout,
        {{SliceGroup::File, 6, 0, 2160}, {SliceGroup::File, 4, 2160, 1440}, {SliceGroup::File, 0, 3600, 0}});
    EXPECT_EQ(sliceName(layout, layout.slices[1]), "B.txt");

    // The files grew on disk after the scan: the disc stands for their sum.
    addFile(dir, "Late.txt", 10);
    layout = layoutPie(viewOf(dir), true);
    ASSERT_EQ(layout.slices.size(), 4u);
    EXPECT_EQ(layout.slices.back().start + layout.slices.back().sweep, 3600);
    EXPECT_EQ(layout.slices[0].sweep, 1080) << "6 of 20 clusters";
}

TEST(Layout, ShowFilesListsTheDirectoryOnDisk) {
    std::string top = freshFolder("layout");
    makeFile(top + "one", 5000);
    makeFile(top + "two", 100);
    DriveSurvey survey;
    survey.rootPath = "T:\\";
    survey.clusterSize = 4096;
    DirNode root;
    root.name = survey.rootPath;
    root.survey = &survey;
    DirNode* dir = addChild(&root, "layout", 3);
    PieLayout layout = layoutPie(viewOf(dir), true);
    EXPECT_TRUE(dir->filesListed);
    expectSlices(layout, {{SliceGroup::File, 2, 0, 2400}, {SliceGroup::File, 1, 2400, 1200}});
    EXPECT_EQ(sliceName(layout, layout.slices[0]), "One");
}

TEST(Layout, RandomLayoutsStayInsideTheCircle) {
    std::mt19937_64 random(7);
    for (int round = 0; round < 300; ++round) {
        Drive drive(1 + random() % 100000000, random() % 1000);
        bool atRoot = random() % 2;
        DirNode* node = atRoot ? drive.root() : addChild(drive.root(), "Dir", 0);
        int children = static_cast<int>(random() % 50);
        for (int i = 0; i < children; ++i) {
            uint64_t size = random() % 4 == 0 ? 0 : random() % (1ull << (random() % 40));
            addChild(node, std::to_string(i), size);
        }
        node->ownClusters = random() % 1000;
        settle(drive.root());
        if (drive.survey.totalClusters < drive.root()->totalClusters + drive.survey.freeClusters)
            drive.survey.totalClusters = drive.root()->totalClusters + drive.survey.freeClusters;
        PieLayout layout = layoutPie(viewOf(node), false);
        if (node->totalClusters == 0) {
            EXPECT_TRUE(layout.slices.empty());
            continue;
        }
        for (size_t i = 0; i < layout.slices.size(); ++i) {
            const Slice& slice = layout.slices[i];
            int32_t next = i + 1 < layout.slices.size() ? layout.slices[i + 1].start : 3600;
            ASSERT_GE(slice.sweep, 0);
            ASSERT_LE(slice.start + slice.sweep, next) << "round " << round << " slice " << i;
            ASSERT_LE(slice.start, next) << "round " << round << " slice " << i;
        }
        ASSERT_LE(layout.slices.back().start + layout.slices.back().sweep, 3600);
    }
}

TEST(Layout, LabelsSitBesideTheirLeaderLines) {
    EXPECT_EQ(labelAlignment(0), static_cast<UINT>(TA_CENTER | TA_BOTTOM)) << "top: centred above";
    EXPECT_EQ(labelAlignment(1800), static_cast<UINT>(TA_CENTER | TA_TOP)) << "bottom: centred below";
    EXPECT_EQ(labelAlignment(2700), static_cast<UINT>(TA_LEFT | TA_BASELINE)) << "three o'clock";
    EXPECT_EQ(labelAlignment(900), static_cast<UINT>(TA_RIGHT | TA_BASELINE)) << "nine o'clock";
    EXPECT_EQ(labelAlignment(3000), static_cast<UINT>(TA_LEFT | TA_BOTTOM)) << "upper right";
    EXPECT_EQ(labelAlignment(600), static_cast<UINT>(TA_RIGHT | TA_BOTTOM)) << "upper left";
    EXPECT_EQ(labelAlignment(1200), static_cast<UINT>(TA_RIGHT | TA_TOP)) << "lower left";
    EXPECT_EQ(labelAlignment(2400), static_cast<UINT>(TA_LEFT | TA_TOP)) << "lower right";
    // The nine rows as SetTextAlign values, at each boundary.
    const std::pair<int32_t, UINT> rows[] = {{2651, 24}, {1851, 0},  {1751, 6}, {951, 2},   {851, 26},
                                             {51, 10},   {3551, 14}, {2751, 8}, {2750, 24}, {2650, 0}};
    for (auto [mid, align] : rows)
        EXPECT_EQ(labelAlignment(mid), align) << "mid " << mid;

    Slice slice{SliceGroup::Subdirectory, 3000, {nullptr}, 1, 1200}; // mid 3600 -> 0
    LabelGeometry label = labelGeometry(slice, 4500);
    EXPECT_EQ(label.lineFrom.x, 0);
    EXPECT_EQ(label.lineFrom.y, -4500);
    EXPECT_EQ(label.lineTo.y, -4700);
    EXPECT_EQ(label.align, static_cast<UINT>(TA_CENTER | TA_BOTTOM));
}
