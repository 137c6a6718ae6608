#include "model/sizetree.h"
#include "model/survey.h"

#include "support/tree.h"

#include <gtest/gtest.h>

TEST(SizeTree, PathsAreRebuiltFromParentsAndFoundIgnoringCase) {
    Drive drive;
    DirNode* root = drive.survey.root;
    DirNode* windows = addChild(root, "Windows", 50);
    DirNode* system = addChild(windows, "System", 20);
    DirNode* win = addChild(root, "Win", 5);
    settle(root);

    EXPECT_EQ(pathOf(root), "C:\\");
    EXPECT_EQ(pathOf(system), "C:\\Windows\\System\\");
    EXPECT_EQ(rootOf(system), root);
    EXPECT_EQ(rootOf(root), root);

    EXPECT_EQ(findByPath(root, "C:\\"), root);
    EXPECT_EQ(findByPath(root, "c:\\WINDOWS\\system\\"), system);
    EXPECT_EQ(findByPath(root, "C:\\Win\\"), win) << "Win must not match within Windows";
    EXPECT_EQ(findByPath(root, "C:\\Windows\\"), windows);
    EXPECT_EQ(findByPath(root, "C:\\Windows"), nullptr) << "a path without its final backslash";
    EXPECT_EQ(findByPath(root, "C:\\Windows\\Gone\\"), nullptr);
    EXPECT_EQ(findByPath(root, "D:\\Windows\\"), nullptr);
    EXPECT_EQ(findByPath(windows, "C:\\Windows\\System\\"), system);
    EXPECT_EQ(findByPath(windows, "C:\\Win\\"), nullptr) << "only the subtree under the node is searched";

    // The disk is reached by the names as listed, kept apart only where no letter case of the
    // shown name gives them back.
    setListedName(windows, "WINDOWS");
    setListedName(system, "system");
    setListedName(win, "Win");
    DirNode* mixed = addChild(system, "Drivers", 1);
    setListedName(mixed, "DRIVERs");
    EXPECT_EQ(listedPathOf(mixed), "C:\\WINDOWS\\system\\DRIVERs\\");
    EXPECT_EQ(listedPathOf(win), "C:\\Win\\");
    EXPECT_EQ(pathOf(mixed), "C:\\Windows\\System\\Drivers\\");
    EXPECT_EQ(drive.survey.listedNames.size(), 1u);
    FileEntry* file = addFile(mixed, "Readme.txt", 1);
    setListedName(mixed, file, "ReadMe.txt");
    EXPECT_EQ(listedNameOf(mixed, file), "ReadMe.txt");
    removeFile(mixed, file);
    removeSubdirectory(windows, system);
    EXPECT_TRUE(drive.survey.listedNames.empty()) << "deleted records take their names with them";
}

TEST(SizeTree, EqualSizesKeepTheirInsertionOrderAndEmptyDirectoriesComeLast) {
    Drive drive;
    DirNode* root = drive.survey.root;
    DirNode* empty = addChild(root, "Empty", 0);
    DirNode* first = addChild(root, "First", 7);
    DirNode* big = addChild(root, "Big", 9);
    DirNode* second = addChild(root, "Second", 7);
    DirNode* third = addChild(root, "Third", 7);
    settle(root);
    std::vector<DirNode*> expected{big, first, second, third, empty};
    EXPECT_EQ(root->children.items, expected);
    EXPECT_EQ(root->totalClusters, 30u);

    // Many equal and unequal sizes: the order is that of insertion one by one.
    SizeSortedArray<FileEntry> files;
    for (int i = 0; i < 100000; ++i)
        appendUnsorted(files, new FileEntry{std::to_string(i), static_cast<uint64_t>((i * 7919) % 13)});
    sortBySize(files);
    for (size_t i = 1; i < count(files); ++i) {
        const FileEntry* a = elementAt(files, i - 1);
        const FileEntry* b = elementAt(files, i);
        ASSERT_GE(a->clusters, b->clusters) << i;
        if (a->clusters == b->clusters) {
            ASSERT_LT(std::stoi(a->name), std::stoi(b->name)) << i;
        }
    }
}

TEST(SizeTree, RemovingAFileKeepsEveryTotalRight) {
    Drive drive;
    DirNode* root = drive.survey.root;
    DirNode* a = addChild(root, "A", 10);
    DirNode* b = addChild(a, "B", 8);
    addChild(root, "Other", 4);
    settle(root);
    FileEntry* big = addFile(b, "big.dat", 5);
    FileEntry* three = addFile(b, "three.txt", 3);
    sortBySize(*b->files);
    b->filesListed = true;

    removeFile(b, three);
    EXPECT_EQ(b->ownClusters, 5u);
    EXPECT_EQ(b->totalClusters, 5u);
    EXPECT_EQ(a->totalClusters, 15u);
    EXPECT_EQ(root->totalClusters, 19u);
    EXPECT_EQ(drive.survey.freeClusters, 103u);
    EXPECT_EQ(drive.survey.totalClusters, 1000u);
    ASSERT_EQ(count(*b->files), 1u);
    EXPECT_EQ(elementAt(*b->files, 0), big);
}

TEST(SizeTree, RemovingADirectoryFreesItsWholeSubtreeWithoutReordering) {
    Drive drive;
    DirNode* root = drive.survey.root;
    DirNode* a = addChild(root, "A", 2);
    DirNode* big = addChild(a, "Big", 20);
    addChild(big, "Inner", 30);
    DirNode* small = addChild(a, "Small", 1);
    DirNode* sibling = addChild(root, "Sibling", 40);
    settle(root);
    ASSERT_EQ(root->children.items, (std::vector<DirNode*>{a, sibling}));

    removeSubdirectory(a, big);
    EXPECT_EQ(a->totalClusters, 3u);
    EXPECT_EQ(a->ownClusters, 2u);
    EXPECT_EQ(root->totalClusters, 43u);
    EXPECT_EQ(drive.survey.freeClusters, 150u);
    EXPECT_EQ(drive.survey.totalClusters, 1000u);
    EXPECT_EQ(a->children.items, std::vector<DirNode*>{small});
    // The sibling is now larger than A but stays after it until the drive is scanned again.
    EXPECT_EQ(root->children.items, (std::vector<DirNode*>{a, sibling}));
    EXPECT_EQ(findByPath(root, "C:\\A\\Big\\"), nullptr);
}

TEST(SizeTree, ChainsDeeperThanTheStackAllowsForRecursion) {
    Drive drive;
    DirNode* node = drive.survey.root;
    const int depth = 200000;
    for (int i = 0; i < depth; ++i)
        node = addChild(node, "d", i == depth - 1 ? 1 : 0);
    std::string path = pathOf(node);
    EXPECT_EQ(path.size(), 3u + 2u * depth);
    EXPECT_EQ(findByPath(drive.survey.root, path), node);
    // destroyNode of the root (in Drive's destructor) must not recurse 200,000 levels deep.
}
