#include "pie/texts.h"

#include "model/sizetree.h"
#include "res/resource.h"
#include "settings/settings.h"
#include "support/tree.h"

#include <gtest/gtest.h>

TEST(Texts, SizesChangeUnitAtPowersOfTenAndDivideByPowersOfTwo) {
    EXPECT_EQ(formatSize(0), "0 bytes");
    EXPECT_EQ(formatSize(9999), "9999 bytes");
    EXPECT_EQ(formatSize(10000), "10 kB");
    EXPECT_EQ(formatSize(524288), "512 kB");
    EXPECT_EQ(formatSize(9999999), "9766 kB");
    EXPECT_EQ(formatSize(10000000), "10 MB");
    EXPECT_EQ(formatSize(10485760), "10 MB");
    EXPECT_EQ(formatSize(9999999999.0), "9537 MB");
    EXPECT_EQ(formatSize(10000000000.0), "9 GB");
    EXPECT_EQ(formatSize(1099511627776.0), "1024 GB");
    EXPECT_EQ(formatSize(1e18), "931322575 GB") << "the gigabyte is the largest unit";
    EXPECT_EQ(formatSize(10752), "11 kB") << "10.5 kB rounds up";
    EXPECT_EQ(formatSize(4096.0 * 3), "12 kB");
}

TEST(Texts, TheStringTableHoldsTheChartsTexts) {
    EXPECT_EQ(loadText(IDS_TOTAL_DEVICE, 255), "Total space this device:");
    EXPECT_EQ(loadText(IDS_TOTAL_DIRECTORY, 255), "Space this dir + subdirs:");
    EXPECT_EQ(loadText(IDS_FREE_SPACE, 255), "Free space");
    EXPECT_EQ(loadText(IDS_THIS_DIRECTORY, 255), "This directory");
    EXPECT_EQ(loadText(IDS_DIRECTORIES_ETC, 255), "Directories etc.");
    EXPECT_EQ(loadText(IDS_REMOVE_DIRECTORY, 40), "Remove Directory?");
    EXPECT_EQ(loadText(IDS_REMOVE_FILE, 40), "Remove File?");
    EXPECT_EQ(loadText(IDS_ACCESS_DENIED, 40), "Access denied!!");
    EXPECT_EQ(loadText(IDS_NOT_FOUND_REFRESH, 40), "File not found!!\nRefresh?");
    EXPECT_EQ(loadText(IDS_REMOVE_DIRECTORY, 6), "Remove") << "cut to the room given";
}

TEST(Texts, LabelsFollowTheShowBytesSetting) {
    int32_t saved = showBytes.value;
    showBytes.value = 0;
    EXPECT_EQ(sliceLabel("Windows", 1800, 1e6), "Windows");
    showBytes.value = 1;
    EXPECT_EQ(sliceLabel("Windows", 3600, 1e6), "Windows (100%)");
    EXPECT_EQ(sliceLabel("Windows", 35, 1e6), "Windows (0%)");
    EXPECT_EQ(sliceLabel("Windows", 36, 1e6), "Windows (1%)");
    showBytes.value = 2;
    EXPECT_EQ(sliceLabel("Windows", 36, 3 * 4096.0), "Windows (12 kB)");
    showBytes.value = 3;
    EXPECT_EQ(sliceLabel("Windows", 36, 1e6), "");
    showBytes.value = saved;
}

TEST(Texts, HoverAndTotalsTexts) {
    Drive drive(1000000, 100, 4096);
    DirNode* windows = addChild(drive.root(), "Windows", 2);
    DirNode* system = addChild(windows, "System", 3);
    FileEntry* file = addFile(windows, "Win.ini", 3);
    settle(drive.root());

    EXPECT_EQ(hoverText(system), "C:\\Windows\\System\\ (12 kB)");
    EXPECT_EQ(hoverText(windows, file), "C:\\Windows\\Win.ini (12 kB)");
    EXPECT_EQ(hoverTextOutside(windows), "Zoom out");
    EXPECT_EQ(hoverTextOutside(drive.root()), "");
    EXPECT_EQ(hoverTextOutside(nullptr), "");
    EXPECT_EQ(totalsText(drive.root()), "Total space this device: 3906 MB");
    EXPECT_EQ(totalsText(windows), "Space this dir + subdirs: 20 kB");
    // Clusters times the cluster size in double precision: no 32-bit or 64-bit overflow.
    drive.survey.totalClusters = 1ull << 40;
    drive.survey.clusterSize = 65536;
    EXPECT_EQ(totalsText(drive.root()), "Total space this device: 67108864 GB");
}
