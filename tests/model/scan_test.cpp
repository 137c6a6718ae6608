#include "model/listing.h"
#include "model/mounts.h"
#include "model/names.h"
#include "model/readahead.h"
#include "model/removal.h"
#include "model/scan.h"
#include "model/scansink.h"
#include "model/sizetree.h"
#include "model/survey.h"

#include "app/mainwindow.h"
#include "app/treeview.h"
#include "pie/paint.h"
#include "pie/pieview.h"
#include "pie/piewindow.h"
#include "pie/texts.h"
#include "settings/settings.h"
#include "support/disk.h"
#include "support/ui.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// A drive T: with clusters of 4096 bytes: folders of T: are scanned below its root as the drive's
// scan would reach them.
void surveyDriveT(DriveSurvey& survey) {
    survey.rootPath = "T:\\";
    survey.clusterSize = 4096;
    survey.driveIndex = 19;
    survey.root = new DirNode;
    survey.root->name = survey.rootPath;
    survey.root->survey = &survey;
}

// Drive T:, its root item in a real tree view, and a real status bar.
class ScanTest : public testing::Test {
protected:
    UiHarness ui;
    DriveSurvey survey;

    void SetUp() override {
        surveyDriveT(survey);
        survey.root->treeItem = insertDirItem(nullptr, survey.root->name.c_str(), survey.root);
    }

    void TearDown() override {
        pumpPending(); // status texts still queued point into the nodes
        destroyNode(survey.root);
    }

    DirNode* scan(const std::string& name) {
        DirNode* node = nullptr;
        runOnThreadPumping([&] { node = scanDirectory(name, survey.root, &survey, screenSink()); });
        appendUnsorted(survey.root->children, node);
        return node;
    }

    static DirNode* child(const DirNode* node, const std::string& name) {
        for (DirNode* c : node->children.items)
            if (c->name == name)
                return c;
        return nullptr;
    }
};

// Drive T: without a window: a scan runs on this thread and shows itself to the test, which
// records each call ("insert ITEM", "sort ITEM", "status TEXT", ...), naming an item as the
// tree-view harness does, by the texts on its way down joined by '|'.
class SinkScanTest : public testing::Test, public ScanSink {
protected:
    DriveSurvey survey;
    std::vector<std::string> calls, names; // names by item, from 1

    void SetUp() override {
        surveyDriveT(survey);
        survey.root->treeItem = insertItem(survey.root);
    }
    void TearDown() override { destroyNode(survey.root); }

    DirNode* scan(const std::string& name) {
        DirNode* node = scanDirectory(name, survey.root, &survey, *this);
        appendUnsorted(survey.root->children, node);
        return node;
    }

    std::string nameOf(HTREEITEM item) const { return names.at(reinterpret_cast<size_t>(item) - 1); }
    HTREEITEM insertItem(DirNode* folder) override {
        names.push_back((folder->parent ? nameOf(folder->parent->treeItem) : "") + "|" + folder->name);
        calls.push_back("insert " + names.back());
        return reinterpret_cast<HTREEITEM>(names.size());
    }
    void sortChildren(const DirNode* folder) override { calls.push_back("sort " + nameOf(folder->treeItem)); }
    void showStatus(const char* text) override { calls.push_back(std::string("status ") + text); }
    void selectItem(HTREEITEM item) override { calls.push_back("select " + nameOf(item)); }
    void removeItems(const DirNode* folder) override { calls.push_back("remove " + nameOf(folder->treeItem)); }
};

std::vector<std::string> listingOrder(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA((folder + "*").c_str(), &entry);
    do {
        if (strcmp(entry.cFileName, ".") != 0 && strcmp(entry.cFileName, "..") != 0)
            names.push_back(entry.cFileName);
    } while (FindNextFileA(listing, &entry));
    FindClose(listing);
    return names;
}

// The tree-view requests of a plain recursive walk of the folder at path, as the harness logs
// them: the folder's item, each subfolder's in listing order, then a sort of its items unless
// their totals already fall. Returns the folder's clusters.
uint64_t plainWalk(const std::string& path, const std::string& parent, const char* name,
                   std::vector<std::string>& requests) {
    const std::string item = parent + "|" + name;
    requests.push_back("insert " + item);
    std::vector<uint64_t> totals;
    uint64_t total = 0;
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA((path + "*").c_str(), &entry);
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            total += (entry.nFileSizeLow + 4095) / 4096;
        else if (strcmp(entry.cFileName, ".") != 0 && strcmp(entry.cFileName, "..") != 0)
            totals.push_back(plainWalk(path + entry.cFileName + "\\", item, entry.cFileName, requests));
    } while (FindNextFileA(listing, &entry));
    FindClose(listing);
    if (!std::is_sorted(totals.begin(), totals.end(), std::greater<uint64_t>()))
        requests.push_back("sort " + item);
    for (uint64_t each : totals)
        total += each;
    return total;
}

size_t threadsOfThisProcess() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 thread = {};
    thread.dwSize = sizeof thread;
    size_t threads = 0;
    for (BOOL more = Thread32First(snapshot, &thread); more; more = Thread32Next(snapshot, &thread))
        threads += thread.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snapshot);
    return threads;
}

} // namespace

TEST(Clusters, SizesRoundUpToWholeClusters) {
    DriveSurvey survey;
    survey.clusterSize = 4096;
    EXPECT_EQ(clustersFor(&survey, 0, 0), 0u);
    EXPECT_EQ(clustersFor(&survey, 1, 0), 1u);
    EXPECT_EQ(clustersFor(&survey, 4096, 0), 1u);
    EXPECT_EQ(clustersFor(&survey, 4097, 0), 2u);
    EXPECT_EQ(clustersFor(&survey, 0, 1), 1048576u) << "the high half counts 2^32 bytes";
    EXPECT_EQ(clustersFor(&survey, 1, 1), 1048577u);
    EXPECT_EQ(clustersFor(&survey, 0xFFFFFFFF, 0xFFFFFFFF), 4503599627370496u);
    survey.clusterSize = 512;
    EXPECT_EQ(clustersFor(&survey, 513, 0), 2u);

    // Sparse, compressed, offline and cloud files count what the volume gives them, in the
    // drive's clusters or those the user set; any other file its length.
    ListedEntry entry;
    entry.size = 100000;
    entry.allocated = 8192;
    survey.clusterSize = survey.volumeClusterSize = 4096;
    EXPECT_EQ(clustersOnDisk(&survey, entry, "T:\\"), 25u);
    const DWORD flags[] = {FILE_ATTRIBUTE_SPARSE_FILE, FILE_ATTRIBUTE_COMPRESSED, FILE_ATTRIBUTE_OFFLINE,
                           0x40000 /* recall on open */, 0x400000 /* recall on data access */};
    for (DWORD flag : flags) {
        entry.attributes = flag | FILE_ATTRIBUTE_ARCHIVE;
        EXPECT_EQ(clustersOnDisk(&survey, entry, "T:\\"), 2u) << flag;
    }
    survey.clusterSize = 512;
    EXPECT_EQ(clustersOnDisk(&survey, entry, "T:\\"), 16u);
    // Under Wine a listing's allocation is the host's blocks: a small file counts its length.
    entry.attributes = FILE_ATTRIBUTE_ARCHIVE;
    entry.size = 100;
    entry.allocated = 104;
    EXPECT_EQ(clustersOnDisk(&survey, entry, "T:\\"), 1u);

    DirNode big, small;
    big.totalClusters = 10;
    small.totalClusters = 3;
    LPARAM b = reinterpret_cast<LPARAM>(&big), s = reinterpret_cast<LPARAM>(&small);
    EXPECT_EQ(compareBySize(b, s, 0), -1);
    EXPECT_EQ(compareBySize(s, b, 0), 1);
    EXPECT_EQ(compareBySize(b, b, 0), 0);
}

// Linux writes blanks, tabs, newlines and backslashes of a mount point as three octal digits; the
// root holds no drive's folder.
TEST(Mounts, TheMountTableGivesEachMountPointAsLinuxNamesIt) {
    EXPECT_EQ(mountPoints("22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                          "36 22 8:1 /srv/keep /srv/a\\040b\\134c rw master:1 - ext4 /dev/sda1 rw\n"
                          "cut short\n"
                          "37 22 0:5 / /proc rw - proc proc rw"),
              (std::vector<std::string>{"/srv/a b\\c", "/proc"}));
}

// A block of the system's listing is read only within the bytes the system said it wrote: an
// entry whose name, or whose link to the next one, leaves them is refused, so that a damaged
// answer can neither be read beyond its end nor loop.
TEST(Listing, DirectoryBlocksAreReadOnlyWithinWhatTheSystemWrote) {
    alignas(8) char block[512] = {};
    auto put = [&](size_t offset, ULONG next, const std::wstring& name, ULONG attributes) {
        const ULONG bytes = static_cast<ULONG>(name.size() * sizeof(wchar_t));
        memcpy(block + offset, &next, 4);
        memcpy(block + offset + 56, &attributes, 4);
        memcpy(block + offset + 60, &bytes, 4);
        memcpy(block + offset + 94, name.data(), bytes);
        return offset + 94 + bytes;
    };
    put(0, 104, L"alpha", FILE_ATTRIBUTE_DIRECTORY);
    const size_t valid = put(104, 0, L"b", FILE_ATTRIBUTE_ARCHIVE);
    DirEntryView view;
    ASSERT_TRUE(readDirEntry(block, valid, 0, view));
    EXPECT_TRUE(std::wstring(view.name, view.units) == L"alpha");
    EXPECT_EQ(view.attributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(view.next, 104u);
    ASSERT_TRUE(readDirEntry(block, valid, view.next, view));
    EXPECT_TRUE(std::wstring(view.name, view.units) == L"b");
    EXPECT_EQ(view.next, SIZE_MAX) << "the last entry";

    // A next entry at or beyond the end, inside the entry itself, or nowhere near.
    for (ULONG next : {static_cast<ULONG>(valid), 96ul, 50ul, 0x7FFFFFFFul}) {
        memcpy(block, &next, 4);
        EXPECT_FALSE(readDirEntry(block, valid, 0, view)) << next;
    }
    EXPECT_FALSE(readDirEntry(block, 90, 0, view)) << "less than an entry's fixed part";
    const ULONG longName = 400, oddName = 3;
    memcpy(block + 104 + 60, &longName, 4);
    EXPECT_FALSE(readDirEntry(block, valid, 104, view)) << "a name beyond the end";
    memcpy(block + 104 + 60, &oddName, 4);
    EXPECT_FALSE(readDirEntry(block, valid, 104, view)) << "half a character";
}

TEST_F(ScanTest, CountsEveryFileInClustersAndOrdersTheTree) {
    std::string top = freshFolder("scan");
    makeFile(top + "one.bin", 4096);
    makeFile(top + "two.bin", 4097);
    makeFile(top + "hidden.sys", 1);
    SetFileAttributesA((top + "hidden.sys").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    makeFile(top + "empty.txt", 0);
    makeDir(top + "big");
    makeFile(top + "big\\huge.dat", 5ull << 30);
    makeFile(top + "big\\tail", 1);
    makeDir(top + ".cache");
    makeFile(top + ".cache\\junk", 100000);
    makeDir(top + ".cache\\inner");
    makeDir(top + "Program Files");
    makeFile(top + "Program Files\\app.exe", 10000);
    makeDir(top + "README.TXT");
    makeDir(top + "empty");

    DirNode* scanned = scan("scan");

    EXPECT_EQ(scanned->ownClusters, 1u + 2u + 1u);
    DirNode* big = child(scanned, "Big");
    ASSERT_NE(big, nullptr) << "BIG has no short form of its own and is shown as Big";
    EXPECT_EQ(big->totalClusters, (5ull << 30) / 4096 + 1) << "a file over 4 GB counts in full";
    DirNode* program = child(scanned, "Program Files");
    ASSERT_NE(program, nullptr) << "a long name keeps its case";
    EXPECT_EQ(program->totalClusters, 3u);
    DirNode* readme = child(scanned, "Readme.txt");
    ASSERT_NE(readme, nullptr);
    DirNode* cache = child(scanned, ".cache");
    ASSERT_NE(cache, nullptr) << "a dot-directory is a directory like any other";
    EXPECT_EQ(cache->totalClusters, 25u);
    EXPECT_EQ(count(cache->children), 1u);
    EXPECT_EQ(scanned->totalClusters, 4u + big->totalClusters + 25u + 3u);
    EXPECT_EQ(scanned->children.items[0], big);
    EXPECT_EQ(scanned->children.items[1], cache);
    EXPECT_EQ(scanned->children.items[2], program);

    // The real tree view: the folder below the root, its children largest first, each item
    // carrying its node.
    auto top_items = childItems(DirTreeView, survey.root->treeItem);
    ASSERT_EQ(top_items.size(), 1u);
    EXPECT_EQ(top_items[0].text, "scan");
    EXPECT_EQ(top_items[0].param, reinterpret_cast<LPARAM>(scanned));
    EXPECT_EQ(scanned->treeItem, top_items[0].item);
    auto items = childItems(DirTreeView, scanned->treeItem);
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[0].text, "Big");
    EXPECT_EQ(items[1].text, ".cache");
    EXPECT_EQ(items[2].text, "Program Files");
    for (const auto& item : items)
        EXPECT_EQ(reinterpret_cast<DirNode*>(item.param)->treeItem, item.item);
    auto rootItems = childItems(DirTreeView, TVI_ROOT);
    ASSERT_EQ(rootItems.size(), 1u);
    EXPECT_EQ(rootItems[0].text, "T:\\");

    // The status bar names the last directory entered, and the scan leaves it there.
    std::vector<std::string> order = listingOrder(top);
    std::string last;
    for (const std::string& name : order)
        if ((GetFileAttributesA((top + name).c_str()) & FILE_ATTRIBUTE_DIRECTORY))
            last = name;
    DirNode* lastNode = nullptr;
    for (DirNode* c : scanned->children.items)
        if (_stricmp(c->name.c_str(), last.c_str()) == 0)
            lastNode = c;
    ASSERT_NE(lastNode, nullptr);
    EXPECT_EQ(statusText(0), lastNode->name);
}

TEST_F(ScanTest, EqualTotalsKeepTheListingOrderAndUnlistableFoldersCountZero) {
    std::string top = freshFolder("ties");
    for (const char* name : {"alpha", "bravo", "charlie", "delta"}) {
        makeDir(top + name);
        makeFile(top + name + "\\f", 100);
    }
    makeDir(top + "larger");
    makeFile(top + "larger\\f", 9000);
    makeDir(top + "locked");
    makeFile(top + "locked\\f", 50000);
    // Held open without sharing, the folder cannot be listed, as when access is refused.
    HANDLE lock = CreateFileA((top + "locked").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    WIN32_FIND_DATAA probe;
    HANDLE refused = FindFirstFileA((top + "locked\\*").c_str(), &probe);
    ASSERT_EQ(refused, INVALID_HANDLE_VALUE) << "the lock must refuse the listing";

    DirNode* scanned = scan("ties");
    CloseHandle(lock);

    std::vector<std::string> expected{"Larger"};
    for (const std::string& name : listingOrder(top))
        if (name != "larger" && name != "locked")
            expected.push_back(std::string(1, static_cast<char>(toupper(name[0]))) + name.substr(1));
    expected.push_back("Locked");
    std::vector<std::string> names;
    for (DirNode* c : scanned->children.items)
        names.push_back(c->name);
    EXPECT_EQ(names, expected);
    DirNode* locked = child(scanned, "Locked");
    ASSERT_NE(locked, nullptr);
    EXPECT_EQ(locked->totalClusters, 0u);
    EXPECT_EQ(count(locked->children), 0u);
    EXPECT_EQ(scanned->totalClusters, 4u + 3u);
    auto items = childItems(DirTreeView, scanned->treeItem);
    ASSERT_EQ(items.size(), 6u);
    EXPECT_EQ(items.front().text, "Larger");
    EXPECT_EQ(items.back().text, "Locked") << "an unlistable folder sorts last with 0";
}

TEST_F(ScanTest, LinksAreNeitherFollowedNorCounted) {
    // Laid out on the Linux side: links/real/data.bin (5000 bytes), links/real/inner/up -> ..,
    // links/real/top -> links (absolute), links/alias -> real.
    DirNode* links = scan("links");
    EXPECT_EQ(links->totalClusters, 2u) << "the one file counts once";
    DirNode* real = child(links, "Real");
    DirNode* alias = child(links, "Alias");
    ASSERT_NE(real, nullptr);
    ASSERT_NE(alias, nullptr);
    EXPECT_FALSE(real->isLink);
    EXPECT_TRUE(alias->isLink);
    EXPECT_EQ(alias->totalClusters, 0u);
    EXPECT_EQ(count(alias->children), 0u);
    DirNode* top = child(real, "Top");
    ASSERT_NE(top, nullptr);
    EXPECT_TRUE(top->isLink);
    DirNode* up = child(child(real, "Inner"), "Up");
    ASSERT_NE(up, nullptr);
    EXPECT_TRUE(up->isLink);
    EXPECT_EQ(childItems(DirTreeView, alias->treeItem).size(), 0u);

    // A link's target is not listed as its files either: they are counted elsewhere.
    listFiles(alias);
    EXPECT_TRUE(alias->filesListed);
    EXPECT_EQ(count(*alias->files), 0u);
    listFiles(real);
    ASSERT_EQ(count(*real->files), 1u);
    EXPECT_EQ(elementAt(*real->files, 0)->name, "Data.bin");

    ListedEntry entry;
    entry.attributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    for (DWORD tag : {0u, 2u, 0xA0000003u, 0xA000000Cu, 0x12345678u}) {
        entry.reparseTag = tag;
        EXPECT_TRUE(isLinkEntry(entry)) << std::hex << tag;
    }
    for (DWORD tag : {0x9000001Au, 0x9000301Au, 0x9000F01Au, 0x80000013u, 0x80000021u}) {
        entry.reparseTag = tag;
        EXPECT_FALSE(isLinkEntry(entry)) << std::hex << tag << " holds real data";
    }
    entry.attributes = FILE_ATTRIBUTE_DIRECTORY;
    entry.reparseTag = 2;
    EXPECT_FALSE(isLinkEntry(entry));
}

// In a legacy code page the names below are shown with its nearest characters or '?': they are
// counted all the same, and the path as listed still reaches each folder.
TEST_F(ScanTest, NamesOutsideTheAnsiCodePageRoundTrip) {
    freshFolder("unicode");
    const std::wstring japanese = L"T:\\unicode\\na\u00efve_\u65e5\u672c",
                       french = japanese + L"\\\u00e9t\u00e9";
    makeDir(japanese);
    makeFile(japanese + L"\\f", 10000);
    makeDir(french);
    makeFile(french + L"\\g", 1);

    DirNode* scanned = scan("unicode");
    ASSERT_EQ(count(scanned->children), 1u);
    DirNode* named = elementAt(scanned->children, 0);
    EXPECT_EQ(named->totalClusters, 4u);
    EXPECT_EQ(childItems(DirTreeView, scanned->treeItem)[0].text, named->name);
    ASSERT_EQ(count(named->children), 1u);
    DirNode* inner = elementAt(named->children, 0);
    EXPECT_EQ(inner->totalClusters, 1u) << inner->name;
    EXPECT_NE(GetFileAttributesW(diskPath(listedPathOf(inner)).c_str()), INVALID_FILE_ATTRIBUTES)
        << pathOf(inner);
}

namespace {

// Between entries a long deletion handles what other threads send.
void handleSentMessages(void*) {
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
}

bool answeredWhileDeleting = false;

DWORD WINAPI askWhileChainStands(void*) {
    DWORD_PTR items = 0;
    answeredWhileDeleting = SendMessageTimeoutA(DirTreeView, TVM_GETCOUNT, 0, 0, SMTO_BLOCK, 10000, &items) &&
                            GetFileAttributesA("T:\\chain\\D\\D") != INVALID_FILE_ATTRIBUTES;
    return 0;
}

} // namespace

TEST_F(ScanTest, DeepChainOfSixHundredFoldersOnASmallThreadStack) {
    listingPeakBytes = 0;
    // Laid out on the Linux side: chain/D/D/.../D (600 levels) with a 1-byte file at the bottom
    // and one at level 300.
    DirNode* chain = scan("chain");
    EXPECT_EQ(chain->totalClusters, 2u);
    // The listings on the way down hold no path or place of their own, which took 24 MB at 2,000
    // levels (2 MB at 600): memory grows with the depth, not with its square.
    EXPECT_LT(listingPeakBytes.load(), 600u * 400);
    int depth = 0;
    const DirNode* node = chain;
    while (count(node->children) == 1) {
        node = elementAt(node->children, 0);
        ++depth;
        if (depth == 300) {
            EXPECT_EQ(node->ownClusters, 1u);
        } else if (depth < 600) {
            EXPECT_EQ(node->ownClusters, 0u) << depth;
        }
    }
    EXPECT_EQ(depth, 600);
    EXPECT_EQ(node->ownClusters, 1u);
    EXPECT_EQ(findByPath(chain, pathOf(node)), node);

    // The tree view opens all 600 levels to show the bottom one selected.
    DWORD start = GetTickCount();
    SendMessageA(DirTreeView, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(node->treeItem));
    SendMessageA(DirTreeView, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(node->treeItem));
    DWORD selecting = GetTickCount() - start;
    EXPECT_EQ(reinterpret_cast<HTREEITEM>(SendMessageA(DirTreeView, TVM_GETNEXTITEM, TVGN_CARET, 0)),
              node->treeItem);
    RECT itemRect;
    std::memcpy(&itemRect, &node->treeItem, sizeof node->treeItem); // the item goes in, its rectangle out
    EXPECT_TRUE(SendMessageA(DirTreeView, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&itemRect)));

    // The chart of the level above the bottom: one whole slice, named by its 1,200-character
    // path when the mouse is over it.
    PieCanvas canvas(400);
    PieView view;
    view.currentNode = node->parent;
    int32_t savedDelete = enableDelete.value;
    enableDelete.value = 0;
    start = GetTickCount();
    paintPie(canvas.window, canvas.memory, view, true);
    DWORD painting = GetTickCount() - start;
    EXPECT_NE(canvas.pixel(200, 120), RGB(255, 255, 255)) << "the slice is painted";
    start = GetTickCount();
    EXPECT_EQ(hitTestPie(canvas.window, view, 200, 120), 2);
    DWORD hitting = GetTickCount() - start;
    EXPECT_EQ(view.hotItem.directory, node);
    std::string hover = statusText(0);
    EXPECT_TRUE(hover == pathOf(node) + " (4096 bytes)") << "... " << hover.substr(hover.size() - 30);
    EXPECT_GT(hover.size(), 1200u);
    EXPECT_EQ(hitTestPie(canvas.window, view, 2, 2), 1);
    EXPECT_EQ(statusText(0), "Zoom out");
    applyClick(view);
    EXPECT_EQ(view.currentNode, node->parent->parent);
    enableDelete.value = savedDelete;
    std::printf("600 levels: selecting the bottom %lu ms, painting %lu ms, hit test %lu ms\n",
                static_cast<unsigned long>(selecting), static_cast<unsigned long>(painting),
                static_cast<unsigned long>(hitting));

    // Deleted to its end, the tree view answering meanwhile (bench/delete times it).
    HANDLE asker = CreateThread(nullptr, 0, askWhileChainStands, nullptr, 0, nullptr);
    RemovalFault fault;
    EXPECT_EQ(removeEntry("T:\\", "chain", true, fault, handleSentMessages, nullptr), RemovalOutcome::Removed)
        << fault.path.substr(0, 40) << " " << fault.error;
    WaitForSingleObject(asker, INFINITE);
    CloseHandle(asker);
    EXPECT_EQ(GetFileAttributesA("T:\\chain"), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(answeredWhileDeleting);
}

// Under Wine a listing's file number is the Linux inode: names of one file count once, in the
// lowest folder holding them all, and each level is largest first again. Deleting a name frees
// nothing while another remains: the file then counts where that one is.
TEST_F(ScanTest, AFileOfSeveralNamesCountsOnceInTheLowestFolderOfItsNames) {
    if (legacyRoute())
        GTEST_SKIP() << "Windows 95 and 98 list no file numbers: every name counts";
    survey.fileIds = true;
    std::string top = freshFolder("hardlinks");
    makeDir(top + "a");
    makeDir(top + "b");
    makeDir(top + "b\\deep");
    makeFile(top + "a\\shared.bin", 40000);            // 10 clusters, also in b\deep
    makeFile(top + "b\\pair.bin", 20000);              // 5 clusters, also in b\deep
    makeFile(top + "b\\own.bin", 4096);
    makeFile(top + "b\\deep\\twice.bin", 8192);        // 2 clusters, twice in deep
    ASSERT_TRUE(CreateHardLinkA((top + "b\\deep\\shared.bin").c_str(), (top + "a\\shared.bin").c_str(), nullptr));
    ASSERT_TRUE(CreateHardLinkA((top + "b\\deep\\pair.bin").c_str(), (top + "b\\pair.bin").c_str(), nullptr));
    ASSERT_TRUE(CreateHardLinkA((top + "b\\deep\\again.bin").c_str(), (top + "b\\deep\\twice.bin").c_str(), nullptr));

    DirNode* links = scan("hardlinks");
    DirNode* a = child(links, "A");
    DirNode* b = child(links, "B");
    ASSERT_TRUE(a && b);
    DirNode* deep = child(b, "Deep");
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(deep->totalClusters, 2u) << "twice.bin once; shared.bin and pair.bin count above";
    EXPECT_EQ(b->ownClusters, 5u + 1u) << "pair.bin counts where one of its names lies";
    EXPECT_EQ(b->totalClusters, 8u);
    EXPECT_EQ(a->totalClusters, 0u);
    EXPECT_EQ(links->sharedClusters, 10u) << "shared.bin: its names lie in a and b";
    EXPECT_EQ(links->totalClusters, 18u);
    EXPECT_EQ(links->children.items[0], b) << "a shrank to nothing: the level is largest first again";
    auto items = childItems(DirTreeView, links->treeItem);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].text, "B");

    // The file list of deep shows a file once, and its other names as nothing.
    listFiles(deep);
    uint64_t listed = 0;
    FileEntry* pairName = nullptr;
    for (FileEntry* entry : deep->files->items) {
        listed += entry->clusters;
        if (entry->name == "Pair.bin")
            pairName = entry;
    }
    EXPECT_EQ(listed, 2u);
    ASSERT_NE(pairName, nullptr);
    EXPECT_EQ(pairName->clusters, 0u);
    EXPECT_EQ(hoverText(deep, pairName),
              "T:\\hardlinks\\B\\Deep\\Pair.bin (0 bytes, another name of a file counted in T:\\hardlinks\\B\\)");

    // Deleting b's own name of pair.bin: nothing is freed, and the file counts in deep now.
    listFiles(b);
    FileEntry* pair = nullptr;
    for (FileEntry* entry : b->files->items)
        if (entry->name == "Pair.bin")
            pair = entry;
    ASSERT_NE(pair, nullptr);
    EXPECT_EQ(pair->clusters, 5u);
    RemovalFault fault;
    ASSERT_EQ(removeEntry(listedPathOf(b), listedNameOf(b, pair), false, fault, nullptr, nullptr),
              RemovalOutcome::Removed);
    survey.totalClusters = 1000;
    survey.freeClusters = 100;
    removeFile(b, pair);
    EXPECT_EQ(survey.freeClusters, 100u);
    EXPECT_EQ(b->ownClusters, 1u);
    EXPECT_EQ(deep->ownClusters, 7u);
    EXPECT_EQ(b->totalClusters, 8u);
    EXPECT_FALSE(deep->filesListed) << "its list shows pair.bin anew when next shown";
    listFiles(deep);
    for (FileEntry* entry : deep->files->items)
        listed += entry->name == "Pair.bin" ? entry->clusters : 0;
    EXPECT_EQ(listed, 2u + 5u);

    // Deleting a takes shared.bin's other name: it counts in deep now, and a frees nothing.
    ASSERT_EQ(removeEntry(listedPathOf(links), listedNameOf(a), true, fault, nullptr, nullptr),
              RemovalOutcome::Removed);
    SendMessageA(DirTreeView, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(a->treeItem));
    removeSubdirectory(links, a);
    EXPECT_EQ(survey.freeClusters, 100u);
    EXPECT_EQ(links->sharedClusters, 0u);
    EXPECT_EQ(deep->totalClusters, 17u);
    EXPECT_EQ(links->totalClusters, 18u);
    EXPECT_TRUE(survey.linkedNames.size() == 2u) << "twice.bin's two names are all that is kept";
}

TEST_F(SinkScanTest, FilesAreListedOnceOnDemandLargestFirst) {
    std::string top = freshFolder("files");
    makeFile(top + "small", 10);
    makeFile(top + "LARGE.DAT", 20000);
    makeFile(top + "tie1", 4000);
    makeFile(top + "tie2", 4097);
    makeFile(top + "Long name.txt", 9000);
    makeDir(top + "sub");
    DirNode* node = scan("files");
    EXPECT_EQ(node->files, nullptr) << "files are not kept during the scan";

    listFiles(node);
    ASSERT_TRUE(node->filesListed);
    std::vector<std::string> names;
    for (FileEntry* file : node->files->items)
        names.push_back(file->name);
    ASSERT_EQ(names.size(), 5u);
    EXPECT_EQ(names[0], "Large.dat");
    EXPECT_EQ(elementAt(*node->files, 0)->clusters, 5u);
    EXPECT_EQ(names[1], "Long name.txt");
    // tie2 (2 clusters) before tie1 (1 cluster) and small (1 cluster) in listing order.
    EXPECT_EQ(names[2], "Tie2");
    std::vector<std::string> ones;
    for (const std::string& name : listingOrder(top))
        if (name == "small" || name == "tie1")
            ones.push_back(std::string(1, static_cast<char>(toupper(name[0]))) + name.substr(1));
    EXPECT_EQ((std::vector<std::string>{names[3], names[4]}), ones);

    // Listed once: later changes on disk are not read again.
    makeFile(top + "late", 1);
    listFiles(node);
    EXPECT_EQ(count(*node->files), 5u);

    // A folder that vanished lists nothing and is tried again next time.
    DirNode* sub = elementAt(node->children, 0);
    wipeTree(top + "sub");
    listFiles(sub);
    EXPECT_FALSE(sub->filesListed);
    ASSERT_NE(sub->files, nullptr);
    EXPECT_EQ(count(*sub->files), 0u);
    makeDir(top + "sub");
    makeFile(top + "sub\\back", 1);
    listFiles(sub);
    EXPECT_TRUE(sub->filesListed);
    EXPECT_EQ(count(*sub->files), 1u);
}

// Helpers read listings ahead of the walk; the tree view must not see a difference.
TEST_F(ScanTest, TheTreeViewGetsTheRequestsOfAPlainDepthFirstWalk) {
    std::string top = freshFolder("plain");
    std::vector<std::string> folders{top};
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t range) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % range;
    };
    for (int i = 0; i < 400; ++i) {
        folders.push_back(folders[next(static_cast<uint32_t>(folders.size()))] + "D" + std::to_string(i) +
                          "\\");
        makeDir(folders.back());
    }
    for (int i = 0; i < 800; ++i)
        makeFile(folders[next(static_cast<uint32_t>(folders.size()))] + "f" + std::to_string(i), next(50000));
    std::vector<std::string> expected{"insert |T:\\"};
    plainWalk(top, "|T:\\", "plain", expected);

    const size_t threadsBefore = threadsOfThisProcess();
    scan("plain");
    EXPECT_EQ(uiLog.treeRequests, expected);
    EXPECT_EQ(threadsOfThisProcess(), threadsBefore) << "the helpers end with the scan";
}

TEST_F(ScanTest, TheStatusBarFollowsTheWalkAndKeepsTheLastDirectory) {
    std::string top = freshFolder("status");
    for (int i = 0; i < 400; ++i)
        makeDir(top + "Sub" + std::to_string(i));
    DirNode* node = scan("status");
    pumpPending();
    std::vector<std::string> order = listingOrder(top);
    ASSERT_EQ(order.size(), 400u);
    ASSERT_FALSE(uiLog.statusTexts.empty());
    EXPECT_EQ(uiLog.statusTexts.front(), "status");
    EXPECT_EQ(uiLog.statusTexts.back(), order.back());
    EXPECT_EQ(statusText(0), order.back());
    // Hundreds of directories a second are not each repainted into the bar.
    EXPECT_LT(uiLog.statusTexts.size(), 100u);
    EXPECT_EQ(count(node->children), 400u);
    EXPECT_EQ(childItems(DirTreeView, node->treeItem).size(), 400u);
}

// In the order the screen needs: the items and sorts of a plain recursive walk, and each folder
// named right after its item is made, the first at once and the last folder entered last.
TEST_F(SinkScanTest, TheScreenIsShownEachFolderInTheOrderItNeeds) {
    std::string top = freshFolder("shown");
    for (const char* folder : {"Small", "Big", "Big\\Inner", "Big\\Empty"})
        makeDir(top + folder);
    makeFile(top + "Big\\Inner\\f", 5000);
    std::vector<std::string> expected{"insert |T:\\"}, tree;
    plainWalk(top, "|T:\\", "shown", expected);
    scan("shown");
    std::string inserted, named;
    for (const std::string& call : calls) {
        if (call.rfind("status ", 0) == 0) {
            EXPECT_EQ(named = call.substr(7), inserted) << "a folder is named right after its item";
            continue;
        }
        tree.push_back(call);
        if (call.rfind("insert ", 0) == 0)
            inserted = call.substr(call.rfind('|') + 1);
    }
    EXPECT_EQ(tree, expected);
    EXPECT_EQ(calls.at(2), "status shown");
    EXPECT_EQ(named, inserted);
}

