#include "model/scan.h"
#include "model/scanthread.h"
#include "model/sizetree.h"
#include "model/survey.h"

#include "app/mainwindow.h"
#include "app/treeview.h"
#include "app/treeview.h"
#include "pie/pieview.h"
#include "settings/settings.h"
#include "support/disk.h"
#include "support/ui.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace {

constexpr int driveU = 20, driveV = 21, driveW = 22;

// Drives U:, V: (folders of the build) and W: (no medium), scanned by real scan threads into a
// real tree view while this thread pumps messages.
class SurveyTest : public testing::Test {
protected:
    UiHarness ui;

    void SetUp() override {
        resetSettings();
        pieView = PieView();
    }

    void TearDown() override {
        pumpUntil([] {
            for (int i = 0; i < 26; ++i)
                if (driveTable.slots[i].load() == scanningMark || driveTable.settling[i])
                    return false;
            return true;
        });
        pumpPending();
        freeDriveTable();
        pieView = PieView();
        DeleteFileA(settingsFilePath().c_str());
    }

    // Starts a scan the way the drive list does and waits for its final selection.
    DriveSurvey* scanDrive(int driveIndex) {
        ScanRequest request;
        request.driveIndex = driveIndex;
        startScan(request, screenSink());
        return waitForScan(driveIndex);
    }

    DriveSurvey* waitForScan(int driveIndex) {
        int before = uiLog.selections;
        EXPECT_TRUE(pumpUntil([&] {
            return surveyInSlot(driveIndex) && uiLog.selections > before && !driveTable.settling[driveIndex];
        }));
        return surveyInSlot(driveIndex);
    }

    static DirNode* selectedNode() { return reinterpret_cast<DirNode*>(uiLog.selectedParam); }

    static int topLevelItems(const std::string& text) {
        int found = 0;
        for (const auto& item : childItems(DirTreeView, TVI_ROOT))
            found += item.text == text;
        return found;
    }
};

ULONGLONG totalBytesOf(const char* root) {
    ULARGE_INTEGER caller, total, free;
    EXPECT_TRUE(GetDiskFreeSpaceExA(root, &caller, &total, &free));
    return total.QuadPart;
}

// The NTFS volumes the fixture made with ntfs-3g, each mapped both as a folder (its mount), which
// Wine lists, and as a volume (its image), which the program reads raw; and, by the fixture's own
// account of what it wrote, each folder's total in 4 kB clusters as Windows lists the volume:
// "CLUSTERS<tab>PATH[<tab>link]", the path relative to the drive's root.
std::string ntfsFolder() {
    char folder[1024];
    const DWORD length = GetEnvironmentVariableA("TARVALE_DRIVES_FOLDER", folder, sizeof folder);
    if (length == 0 || length >= sizeof folder)
        return std::string();
    std::string z = std::string("Z:") + folder + "/ntfs/";
    std::replace(z.begin(), z.end(), '/', '\\');
    return z;
}

bool readText(const std::string& path, std::string& text) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream all;
    all << file.rdbuf();
    text = all.str();
    return file.is_open();
}

typedef std::map<std::string, std::pair<uint64_t, bool>> FolderTotals; // by path: clusters, link

FolderTotals readReference(const std::string& path) {
    FolderTotals totals;
    std::ifstream file(path, std::ios::binary);
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::string clusters, folder, link;
        std::getline(fields, clusters, '\t');
        std::getline(fields, folder, '\t');
        std::getline(fields, link, '\t');
        totals[folder] = {std::stoull(clusters), link == "link"};
    }
    return totals;
}

void describe(const DirNode* node, const std::string& path, FolderTotals& totals) {
    totals[path] = {node->totalClusters, node->isLink};
    for (const DirNode* child : node->children.items)
        describe(child, path + (path.empty() ? "" : "\\") + listedNameOf(child), totals);
}

// Each folder's subfolders by their listed names, in the order of the tree: largest first, equal
// totals in listing order.
void describeOrder(const DirNode* node, const std::string& path, std::map<std::string, std::string>& order) {
    std::string& names = order[path];
    for (const DirNode* child : node->children.items) {
        names += listedNameOf(child) + "|";
        describeOrder(child, path + (path.empty() ? "" : "\\") + listedNameOf(child), order);
    }
}

// Sets the totals of folder (a path below the root of drive) and of the folders below it to what a
// listing of them gives, in clusters of 4 KB; returns folder's.
uint64_t listedTotals(char drive, const std::string& folder, FolderTotals& totals) {
    uint64_t total = 0;
    WIN32_FIND_DATAA found;
    HANDLE listing = FindFirstFileA((std::string(1, drive) + ":\\" + folder + "\\*").c_str(), &found);
    if (listing != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                total += (found.nFileSizeLow + 4095) / 4096;
            else if (name != "." && name != "..")
                total += listedTotals(drive, folder + "\\" + name, totals);
        } while (FindNextFileA(listing, &found));
        FindClose(listing);
    }
    totals[folder].first = total;
    return total;
}

// A folder the scan walks instead of taking it from the file table holds what its listing gives:
// its total and those below it are the listing's, and those above it change by the difference.
void takeListing(FolderTotals& expected, char drive, const std::string& folder) {
    const uint64_t before = expected[folder].first;
    const uint64_t listed = listedTotals(drive, folder, expected);
    for (auto& [path, total] : expected)
        if (path.empty() || folder.rfind(path + "\\", 0) == 0)
            total.first = total.first - before + listed;
}

std::string differences(const FolderTotals& expected, const FolderTotals& found) {
    std::string text;
    for (const auto& [path, total] : expected) {
        auto it = found.find(path);
        if (it == found.end())
            text += "missing: " + path + "\n";
        else if (it->second != total)
            text += path + ": " + std::to_string(it->second.first) + (it->second.second ? " link" : "") +
                    " instead of " + std::to_string(total.first) + (total.second ? " link" : "") + "\n";
    }
    for (const auto& entry : found)
        if (!expected.count(entry.first))
            text += "not on the volume: " + entry.first + "\n";
    return text;
}

} // namespace

TEST_F(SurveyTest, AMappedDriveIsSurveyedScannedPublishedAndSelected) {
    std::string root = freshDrive("U");
    makeFile(root + "top.bin", 5000);
    makeDir(root + "Sub");
    makeFile(root + "Sub\\inner.bin", 10000);

    // What Wine reports for a drive mapped to a Linux folder.
    DWORD sectors, bytes, freeClusters, totalClusters;
    ASSERT_TRUE(GetDiskFreeSpaceA("U:\\", &sectors, &bytes, &freeClusters, &totalClusters));
    ASSERT_EQ(sectors * bytes, reportedClusterSize());

    DriveSurvey* survey = scanDrive(driveU);
    ASSERT_NE(survey, nullptr);
    EXPECT_TRUE(survey->complete);
    EXPECT_EQ(survey->rootPath, "U:\\");
    EXPECT_EQ(survey->driveIndex, driveU);
    EXPECT_EQ(survey->driveType, static_cast<uint32_t>(DRIVE_FIXED));
    EXPECT_EQ(survey->fileSystem, "NTFS");
    EXPECT_EQ(survey->clusterSize, 4096u);
    EXPECT_EQ(survey->totalClusters, totalBytesOf("U:\\") / 4096);
    EXPECT_GT(survey->freeClusters, 0u);
    EXPECT_EQ(survey->root->totalClusters, 2u + 3u);
    EXPECT_EQ(survey->root->name, "U:\\");

    // The final selection names the root, whose item is the drive's top-level item.
    EXPECT_EQ(selectedNode(), survey->root);
    EXPECT_EQ(uiLog.selectedItem, survey->root->treeItem);
    EXPECT_EQ(topLevelItems("U:\\"), 1);
    // The status bar: the survey's notice, then each directory as it is entered, left standing.
    pumpPending();
    EXPECT_EQ(uiLog.statusTexts, (std::vector<std::string>{"Gathering drive information...", "U:\\", "Sub"}));
    EXPECT_EQ(statusText(0), "Sub");
}

TEST_F(SurveyTest, TheBlocksizesOverrideCountsEveryFileAndTheCapacity) {
    std::string root = freshDrive("U");
    makeFile(root + "top.bin", 5000);
    makeDir(root + "Sub");
    makeFile(root + "Sub\\inner.bin", 10000);

    WritePrivateProfileStringA("Blocksizes", "U:\\", "1024", IniFileName.c_str());
    DriveSurvey* survey = scanDrive(driveU);
    ASSERT_NE(survey, nullptr);
    EXPECT_EQ(survey->clusterSize, 1024u);
    EXPECT_EQ(survey->root->totalClusters, 5u + 10u);
    EXPECT_EQ(survey->totalClusters, totalBytesOf("U:\\") / 1024);
    freeDriveTable();

    // A value below 1 would be divided by: the measured size stands instead.
    for (const char* bad : {"0", "-5", "4294967295", "junk"}) {
        WritePrivateProfileStringA("Blocksizes", "U:\\", bad, IniFileName.c_str());
        survey = scanDrive(driveU);
        ASSERT_NE(survey, nullptr);
        EXPECT_EQ(survey->clusterSize, reportedClusterSize()) << bad;
        EXPECT_EQ(survey->root->totalClusters, legacyRoute() ? 1u + 1u : 2u + 3u) << bad;
        freeDriveTable();
    }
}

TEST_F(SurveyTest, UsedPlusFreeBeyondTheCapacityRaisesIt) {
    std::string root = freshDrive("V");
    makeFile(root + "sparse.img", 1ull << 40); // 1 TB that takes no room on the host's disk
    DriveSurvey* survey = scanDrive(driveV);
    ASSERT_NE(survey, nullptr);
    EXPECT_EQ(survey->root->totalClusters, (1ull << 40) / 4096);
    EXPECT_GT(survey->root->totalClusters + survey->freeClusters, totalBytesOf("V:\\") / 4096);
    EXPECT_EQ(survey->totalClusters, survey->root->totalClusters + survey->freeClusters);
    freshDrive("V"); // the 1 TB file goes
}

TEST_F(SurveyTest, ADriveWithoutAMediumCompletesWithOneEmptyNode) {
    DriveSurvey* survey = scanDrive(driveW);
    ASSERT_NE(survey, nullptr);
    EXPECT_EQ(survey->rootPath, "W:\\");
    EXPECT_EQ(survey->clusterSize, 512u) << "no geometry: counted in sectors";
    EXPECT_EQ(survey->root->totalClusters, 0u);
    EXPECT_EQ(count(survey->root->children), 0u);
    EXPECT_EQ(survey->totalClusters, 0u);
    EXPECT_EQ(topLevelItems("W:\\"), 1);
    EXPECT_EQ(selectedNode(), survey->root);
}

TEST_F(SurveyTest, TheVwin32DeviceAnswersOnlyAs32BitWindows95Or98AndDriveCIsC) {
    // Wine opens it for a 32-bit program when it reports Windows 95 or 98, and answers with the
    // geometry GetDiskFreeSpaceA reports.
    EXPECT_EQ(queryTrueClusterSize("C:\\"), legacyRoute() && sizeof(void*) == 4 ? 32768u : 0u);
    DriveSurvey* survey = scanDrive(2);
    ASSERT_NE(survey, nullptr);
    EXPECT_EQ(survey->rootPath, "C:\\");
    EXPECT_EQ(childItems(DirTreeView, TVI_ROOT).front().text, "C:\\");
    EXPECT_GT(count(survey->root->children), 0u);
    // Every total is its own clusters plus its children's.
    std::vector<const DirNode*> pending{survey->root};
    while (!pending.empty()) {
        const DirNode* node = pending.back();
        pending.pop_back();
        uint64_t sum = node->ownClusters;
        for (const DirNode* child : node->children.items) {
            sum += child->totalClusters;
            pending.push_back(child);
        }
        ASSERT_EQ(node->totalClusters, sum) << pathOf(node);
    }
}

TEST_F(SurveyTest, TwoDrivesScanAtOnceAndBothTreesGrow) {
    for (const char* letter : {"U", "V"}) {
        std::string root = freshDrive(letter);
        for (int i = 0; i < (letter[0] == 'U' ? 150 : 1500); ++i) {
            std::string dir = root + "d" + std::to_string(i);
            makeDir(dir);
            makeFile(dir + "\\f", 100);
        }
    }
    ScanRequest u, v;
    u.driveIndex = driveU;
    v.driveIndex = driveV;
    startScan(u, screenSink());
    startScan(v, screenSink());
    EXPECT_EQ(driveTable.slots[driveU].load(), scanningMark);
    EXPECT_EQ(driveTable.slots[driveV].load(), scanningMark);
    bool bothGrowing = false, refreshed = false;
    ASSERT_TRUE(pumpUntil([&] {
        auto top = childItems(DirTreeView, TVI_ROOT);
        if (top.size() == 2 && !surveyInSlot(driveU) && !surveyInSlot(driveV) &&
            !childItems(DirTreeView, top[0].item).empty() && !childItems(DirTreeView, top[1].item).empty())
            bothGrowing = true;
        // U is refreshed while V is still being scanned.
        if (!refreshed && surveyInSlot(driveU) && !driveTable.settling[driveU] && !surveyInSlot(driveV)) {
            pieView.currentNode = surveyInSlot(driveU)->root;
            pieView.currentDrive = driveU;
            rescanCurrentDrive(screenSink());
            refreshed = true;
        }
        return refreshed && surveyInSlot(driveU) && surveyInSlot(driveV);
    }));
    EXPECT_TRUE(bothGrowing) << "the items of both drives arrive while both scans run";
    EXPECT_EQ(surveyInSlot(driveU)->root->totalClusters, 150u);
    EXPECT_EQ(surveyInSlot(driveV)->root->totalClusters, 1500u);
    EXPECT_EQ(childItems(DirTreeView, surveyInSlot(driveU)->root->treeItem).size(), 150u);
}

TEST_F(SurveyTest, RescanReselectsTheDirectoryOrFallsBackToTheRoot) {
    std::string root = freshDrive("U");
    makeDir(root + "A");
    makeDir(root + "A\\B");
    makeFile(root + "A\\B\\f", 8192);
    makeDir(root + "Other");
    DriveSurvey* first = scanDrive(driveU);
    ASSERT_NE(first, nullptr);
    pieView.currentNode = findByPath(first->root, "U:\\A\\B\\");
    pieView.currentDrive = driveU;
    ASSERT_NE(pieView.currentNode, nullptr);

    rescanCurrentDrive(screenSink());
    EXPECT_EQ(pieView.currentNode, nullptr);
    EXPECT_EQ(driveTable.slots[driveU].load(), scanningMark);
    // A second refresh while the drive is scanning does nothing.
    rescanCurrentDrive(screenSink());
    DriveSurvey* second = waitForScan(driveU);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(pathOf(selectedNode()), "U:\\A\\B\\");
    EXPECT_EQ(selectedNode()->survey, second);
    EXPECT_EQ(topLevelItems("U:\\"), 1) << "the old items went with the old tree";
    EXPECT_EQ(selectedNode()->totalClusters, 2u);

    // The directory vanished on disk meanwhile: the root is selected.
    wipeTree(root + "A\\B");
    pieView.currentNode = findByPath(second->root, "u:\\a\\b\\");
    ASSERT_NE(pieView.currentNode, nullptr);
    rescanCurrentDrive(screenSink());
    DriveSurvey* third = waitForScan(driveU);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(selectedNode(), third->root);
    EXPECT_EQ(topLevelItems("U:\\"), 1);
}

TEST_F(SurveyTest, RefreshDoesNothingWithoutACompleteCurrentDrive) {
    std::string root = freshDrive("U");
    makeDir(root + "A");
    DriveSurvey* survey = scanDrive(driveU);
    ASSERT_NE(survey, nullptr);

    rescanCurrentDrive(screenSink()); // no current node
    EXPECT_EQ(surveyInSlot(driveU), survey);

    // The current drive's slot is still scanning: nothing is thrown away.
    pieView.currentNode = survey->root;
    pieView.currentDrive = driveV;
    driveTable.slots[driveV].store(scanningMark);
    rescanCurrentDrive(screenSink());
    EXPECT_EQ(pieView.currentNode, survey->root);
    EXPECT_EQ(surveyInSlot(driveU), survey);
    EXPECT_EQ(topLevelItems("U:\\"), 1);
    driveTable.slots[driveV].store(nullptr);

    // Its thread has yet to select an item of the survey: neither a refresh nor the end frees it.
    driveTable.settling[driveU].store(true);
    rescanDrive(driveU, "U:\\", screenSink());
    freeDriveTable();
    EXPECT_EQ(surveyInSlot(driveU), survey);
    driveTable.settling[driveU].store(false);
}

// Each volume's folders through its file table have the totals of its layout, whatever it holds:
// hard links, attribute lists, a fragmented table, streams, sparse and compressed files, short
// names, links, data-tag reparse points, names differing in case, deleted records and an orphan.
// A record that cannot be read has its folder listed instead; a drive mapped to a folder of a
// volume shows that folder's subtree; an image that is not NTFS, or a volume that is not the
// drive's, is walked. One case a drive, so that a failure names its drive.
class NtfsDrive : public SurveyTest, public testing::WithParamInterface<const char*> {};

TEST_P(NtfsDrive, IsReadFromItsFileTableOnlyWhereThatIsTheDrives) {
    const char* const letter = GetParam();
    const std::string ntfs = ntfsFolder();
    std::string why;
    if (ntfs.empty() || readText(ntfs + "no-ntfs", why))
        GTEST_SKIP() << "no NTFS volumes: " << why;
    if (!readText(ntfs + "n.ref", why))
        GTEST_SKIP() << "no NTFS volumes were made for this run";
    if (legacyRoute()) {
        // Windows 95 and 98 know no NTFS: the drive is walked, its volume never opened.
        if (*letter != 'N')
            GTEST_SKIP() << "drive N stands for every NTFS drive";
        DriveSurvey* survey = scanDrive('N' - 'A');
        ASSERT_NE(survey, nullptr);
        EXPECT_EQ(lastScanCosts.tableFiles, 0u);
        EXPECT_GT(count(survey->root->children), 10u);
        for (const std::string& text : uiLog.statusTexts)
            EXPECT_EQ(text.find("file table"), std::string::npos) << text;
        return;
    }
    if (std::strchr("NQJO", *letter)) {
        FolderTotals expected = readReference(ntfs + char(*letter + 'a' - 'A') + ".ref");
        ASSERT_FALSE(expected.empty()) << letter;
        const int drive = *letter - 'A';
        DriveSurvey* survey = scanDrive(drive);
        ASSERT_NE(survey, nullptr);
        EXPECT_GT(lastScanCosts.tableFiles, 0u) << letter << ": read from its file table";
        const std::string reading = std::string("Reading the file table of ") + letter + ":\\...";
        EXPECT_NE(std::find(uiLog.statusTexts.begin(), uiLog.statusTexts.end(), reading), uiLog.statusTexts.end());
        if (*letter == 'O') {
            // The folders of the damaged records are walked.
            std::ifstream damagedFolders(ntfs + "o.damaged");
            std::string damaged;
            while (std::getline(damagedFolders, damaged)) {
                takeListing(expected, 'O', damaged);
                EXPECT_GT(expected[damaged].first, 0u) << damaged << " is listed";
            }
        }
        FolderTotals found;
        describe(survey->root, "", found);
        if (*letter == 'N') {
            // Odd's subfolders are named ".", ".." and "a\b" in their records, so Odd is walked.
            // ntfs-3g fails to read such a folder now and then (always the first time after a
            // mount): each holds nothing or what its listing gives.
            for (const char* odd : {"Odd\\D", "Odd\\D2", "Odd\\Dxy"}) {
                FolderTotals listed;
                const uint64_t clusters = listedTotals('N', odd, listed);
                if (found[odd].first == clusters)
                    for (const char* holder : {odd, "Odd", ""})
                        expected[holder].first += clusters;
            }
        }
        EXPECT_EQ(differences(expected, found), "") << letter;
        if (*letter == 'N') {
            // A walk of the same drive orders every folder's subfolders alike, where Wine lists
            // what Windows would (not at the root, nor in the folders of links and reparse points).
            std::map<std::string, std::string> tableOrder, walkOrder;
            describeOrder(survey->root, "", tableOrder);
            DriveSurvey walked;
            walked.rootPath = survey->rootPath;
            walked.clusterSize = walked.volumeClusterSize = 4096;
            walked.fileIds = true;
            DirNode* root = nullptr;
            runOnThreadPumping([&] { root = scanDirectory(walked.rootPath, nullptr, &walked, screenSink()); });
            describeOrder(root, "", walkOrder);
            // Where Wine's listing tells what the volume gives (no sparse, compressed or small
            // files), the walk's totals are the table's: a file of several names counts once.
            FolderTotals walkTotals;
            describe(root, "", walkTotals);
            for (const char* path : {"HardLinks\\Pair", "HardLinks\\Left", "HardLinks\\Right", "Levels", "Levels\\A",
                                     "Levels\\B", "Levels\\B\\C"})
                EXPECT_EQ(walkTotals[path], expected[path]) << path;
            SendMessageA(DirTreeView, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(root->treeItem));
            pumpPending();
            destroyNode(root);
            for (const char* differing : {"", "Links", "Reparse", "Reparse\\Cloud", "Reparse\\Cloud\\sub"})
                tableOrder.erase(differing), walkOrder.erase(differing);
            EXPECT_EQ(tableOrder, walkOrder);
            // Left and Right share their file, which counts in HardLinks: they count nothing.
            EXPECT_EQ(tableOrder["HardLinks"], "Thirty|Pair|Left|Right|");
            EXPECT_EQ(tableOrder["Case"], "dir|Dir|apple|Banana|_under|");
        }
        freeDriveTable();
    }
    // Not NTFS, or not the drive's volume (N:'s folder with O:'s volume; E:'s root of files only
    // with a volume whose root holds one file more): walked.
    if (std::strchr("IME", *letter)) {
        DriveSurvey* survey = scanDrive(*letter - 'A');
        ASSERT_NE(survey, nullptr);
        EXPECT_EQ(lastScanCosts.tableFiles, 0u) << letter;
        EXPECT_GT(survey->root->totalClusters, 0u) << letter;
        freeDriveTable();
    }
}
INSTANTIATE_TEST_SUITE_P(SurveyTest, NtfsDrive, testing::Values("N", "Q", "J", "O", "I", "M", "E"),
                         [](const testing::TestParamInfo<const char*>& drive) { return std::string(drive.param); });
