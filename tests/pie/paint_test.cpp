#include "pie/paint.h"
#include "pie/piewindow.h"
#include "pie/pieview.h"

#include "app/mainwindow.h"
#include "settings/settings.h"
#include "support/tree.h"
#include "support/ui.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>

namespace {

// A real pie window with a 400 x 400 client area, a white 400 x 400 bitmap to paint into, and
// the chart's colours read back pixel by pixel.
class PaintTest : public testing::Test {
protected:
    UiHarness ui;
    PieCanvas canvas{400};
    const HWND window = canvas.window;
    const HDC memory = canvas.memory;

    static void SetUpTestSuite() {
        registerPieWindowClass(GetModuleHandleA(nullptr));
        waitCursor = arrowCursor = LoadCursorA(nullptr, IDC_ARROW);
        for (HCURSOR& cursor : pieCursors)
            cursor = arrowCursor;
    }

    void SetUp() override {
        showFiles.value = 0;
        showBytes.value = 0;
        enableDelete.value = 0;
    }

    void TearDown() override {
        showFiles.value = 0;
        enableDelete.value = 0;
    }

    // The colour at a pie angle and a distance from the centre, in logical units.
    COLORREF colourAt(int32_t angle, int32_t distance) {
        double radians = (angle + 900) * 6.283185307179586 / 3600;
        return canvas.pixel(200 + static_cast<int>(distance * std::cos(radians) * 400 / 10000),
                            200 - static_cast<int>(distance * std::sin(radians) * 400 / 10000));
    }

    PieView viewOf(DirNode* node) {
        PieView view;
        view.currentNode = node;
        return view;
    }
};

struct Seen {
    bool arial = false;
    int pies = 0;
    int texts = 0;
};

int CALLBACK noteRecord(HDC, HANDLETABLE*, const ENHMETARECORD* r, int, LPARAM data) {
    Seen* seen = reinterpret_cast<Seen*>(data);
    if (r->iType == EMR_EXTCREATEFONTINDIRECTW) {
        const EMREXTCREATEFONTINDIRECTW* font = reinterpret_cast<const EMREXTCREATEFONTINDIRECTW*>(r);
        seen->arial = seen->arial || lstrcmpW(font->elfw.elfLogFont.lfFaceName, L"Arial") == 0;
    }
    seen->pies += r->iType == EMR_PIE;
    seen->texts += r->iType == EMR_EXTTEXTOUTA || r->iType == EMR_EXTTEXTOUTW;
    return 1;
}

int CALLBACK countRecord(HDC, HANDLETABLE*, const ENHMETARECORD*, int, LPARAM data) {
    ++*reinterpret_cast<UINT*>(data);
    return 1;
}

constexpr COLORREF yellow = RGB(255, 255, 0), cyan = RGB(0, 255, 255), green = RGB(0, 255, 0),
                   grey = RGB(192, 192, 192), white = RGB(255, 255, 255);

} // namespace

TEST_F(PaintTest, TheRootShowsEachGroupInItsColourAndTheTotals) {
    Drive drive(1000, 300);
    addChild(drive.root(), "Big", 400);
    drive.root()->ownClusters = 200;
    settle(drive.root());
    PieView view = viewOf(drive.root());
    paintPie(window, memory, view, true);
    // Big 0..1440, own files 1440..2160, free 2160..3240, rest 3240..3600.
    EXPECT_EQ(colourAt(720, 2000), yellow);
    EXPECT_EQ(colourAt(1800, 2000), cyan);
    EXPECT_EQ(colourAt(2700, 2000), green);
    EXPECT_EQ(colourAt(3420, 2000), grey);
    EXPECT_EQ(colourAt(1440, 4950), white) << "outside the disc";
    EXPECT_EQ(statusText(1), "Total space this device: 4000 kB");
}

TEST_F(PaintTest, OneChildFillsTheDiscAndAnEmptyNodeDrawsNothing) {
    Drive drive;
    DirNode* a = addChild(drive.root(), "A", 0);
    addChild(a, "Only", 7);
    DirNode* empty = addChild(drive.root(), "Empty", 0);
    settle(drive.root());
    PieView view = viewOf(a);
    paintPie(window, memory, view, true);
    for (int32_t angle : {100, 900, 1800, 2700, 3500})
        EXPECT_EQ(colourAt(angle, 3000), yellow) << angle;
    EXPECT_EQ(statusText(1), "Space this dir + subdirs: 28 kB");

    PatBlt(memory, 0, 0, 400, 400, WHITENESS);
    view = viewOf(empty);
    paintPie(window, memory, view, true);
    EXPECT_EQ(colourAt(900, 2000), white);
    EXPECT_EQ(statusText(1), "Space this dir + subdirs: 0 bytes") << "the totals are still written";
}

TEST_F(PaintTest, AMetafileUsesArialAndTheSmallerRadiusAndLeavesTheScreensAlone) {
    Drive drive;
    DirNode* a = addChild(drive.root(), "A", 0);
    addChild(a, "One", 1);
    addChild(a, "Two", 1);
    settle(drive.root());
    PieView view = viewOf(a);
    paintPie(window, memory, view, true);
    const int32_t screenRadius = screenPieRadius;
    SendMessageA(statusBar, SB_SETTEXTA, 1, reinterpret_cast<LPARAM>("unchanged"));
    HDC record = CreateEnhMetaFileA(nullptr, nullptr, nullptr, nullptr);
    paintPie(window, record, view, false);
    HENHMETAFILE metafile = CloseEnhMetaFile(record);
    EXPECT_EQ(statusText(1), "unchanged");
    EXPECT_EQ(screenPieRadius, screenRadius);

    Seen seen;
    EnumEnhMetaFile(nullptr, metafile, noteRecord, &seen, nullptr);
    DeleteEnhMetaFile(metafile);
    EXPECT_TRUE(seen.arial);
    EXPECT_EQ(seen.pies, 2);
    EXPECT_EQ(seen.texts, 2);
}

TEST_F(PaintTest, AMillionFilesPaintWithAFewThousandPrimitives) {
    Drive drive;
    DirNode* dir = addChild(drive.root(), "Many", 1000000);
    settle(drive.root());
    dir->files = new SizeSortedArray<FileEntry>;
    dir->files->items.reserve(1000000);
    for (int i = 0; i < 1000000; ++i)
        dir->files->items.push_back(new FileEntry{"f", 1});
    dir->filesListed = true;
    showFiles.value = 1;
    PieView view = viewOf(dir);
    HDC record = CreateEnhMetaFileA(nullptr, nullptr, nullptr, nullptr);
    paintPie(window, record, view, false);
    HENHMETAFILE metafile = CloseEnhMetaFile(record);
    UINT records = 0;
    EnumEnhMetaFile(nullptr, metafile, countRecord, &records, nullptr);
    DeleteEnhMetaFile(metafile);
    EXPECT_LT(records, 10000u);
    EXPECT_GT(records, 3000u) << "every tenth of a degree still gets its slice";
    // Every tenth of a degree holds zero-width slices: drawn as radius lines, they fill the disc.
    paintPie(window, memory, view, true);
    EXPECT_NE(colourAt(900, 3000), white);
}

TEST_F(PaintTest, HitTestingFollowsTheClusterCounts) {
    Drive drive;
    DirNode* a = addChild(drive.root(), "A", 2);
    addChild(a, "Zero", 0);
    DirNode* big = addChild(a, "Big", 6);
    DirNode* small = addChild(a, "Small", 2);
    FileEntry* file = addFile(a, "File.txt", 2);
    settle(drive.root());
    PieView view = viewOf(a);
    paintPie(window, memory, view, true); // remembers the radius; 25 units a pixel here
    const int edge = 200 - screenPieRadius / 25;
    SendMessageA(statusBar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>("before"));

    EXPECT_EQ(hitTestPie(window, view, 200, 200), 0) << "the dead centre";
    EXPECT_EQ(statusText(0), "before");
    EXPECT_EQ(view.hotItem.directory, nullptr);

    // Straight up: the first child with a nonzero total.
    EXPECT_EQ(hitTestPie(window, view, 200, 100), 2);
    EXPECT_EQ(view.hotItem.directory, big);
    EXPECT_EQ(view.clickAction, descend);
    EXPECT_EQ(view.deleteAction, noDelete);
    EXPECT_EQ(statusText(0), "C:\\A\\Big\\ (24 kB)");
    EXPECT_EQ(hitTestPie(window, view, 200, edge), 2) << "on the radius is inside";
    EXPECT_EQ(hitTestPie(window, view, 200, edge - 1), 1) << "further is outside";
    EXPECT_EQ(view.clickAction, goUp);
    EXPECT_EQ(statusText(0), "Zoom out");

    // Big covers 0..2160 (left half and more), Small 2160..2880, own files the rest.
    EXPECT_EQ(hitTestPie(window, view, 100, 200), 2); // 900: Big
    EXPECT_EQ(hitTestPie(window, view, 290, 270), 2); // about 2520: Small
    EXPECT_EQ(view.hotItem.directory, small);
    EXPECT_EQ(hitTestPie(window, view, 300, 150), 0) << "This directory is never hit";
    EXPECT_EQ(statusText(0), "");

    enableDelete.value = 1;
    EXPECT_EQ(hitTestPie(window, view, 200, 100), 4);
    EXPECT_EQ(view.deleteAction, deleteDirectory);
    drive.survey.driveType = DRIVE_CDROM;
    EXPECT_EQ(hitTestPie(window, view, 200, 100), 2) << "nothing is deleted from a CD-ROM";
    drive.survey.driveType = DRIVE_FIXED;

    showFiles.value = 1;
    EXPECT_EQ(hitTestPie(window, view, 300, 150), 3);
    EXPECT_EQ(view.hotItem.file, file);
    EXPECT_EQ(view.deleteAction, deleteFile);
    EXPECT_EQ(statusText(0), "C:\\A\\File.txt (8192 bytes)");
    enableDelete.value = 0;
    EXPECT_EQ(hitTestPie(window, view, 300, 150), 0);
    EXPECT_EQ(view.hotItem.file, nullptr);
    EXPECT_EQ(statusText(0), "C:\\A\\File.txt (8192 bytes)");

    // At the root, outside the pie: nothing to do.
    view = viewOf(drive.root());
    EXPECT_EQ(hitTestPie(window, view, 5, 5), 0);
    EXPECT_EQ(statusText(0), "");
    EXPECT_EQ(view.clickAction, noClick);

    // A file grew after the scan: listed at 20 clusters where G counted 4 of its own. The disc
    // stands for 24: X from 0 to 600, the file from there on, and the point names what is drawn.
    Drive grown;
    DirNode* g = addChild(grown.root(), "G", 4);
    addChild(g, "X", 4);
    FileEntry* grownFile = addFile(g, "Grown.dat", 20);
    settle(grown.root());
    view = viewOf(g);
    enableDelete.value = 1;
    paintPie(window, memory, view, true);
    EXPECT_EQ(colourAt(1000, 2500), cyan);
    EXPECT_EQ(hitTestPie(window, view, 101, 217), 3); // 1000, 2500 units out
    EXPECT_EQ(view.hotItem.file, grownFile);
    EXPECT_EQ(colourAt(300, 2500), yellow);
    EXPECT_EQ(hitTestPie(window, view, 150, 113), 4); // 300
    enableDelete.value = 0;

    view = viewOf(a);
    hitTestPie(window, view, 200, 100);
    applyClick(view);
    EXPECT_EQ(view.currentNode, big);
    hitTestPie(window, view, 5, 5);
    applyClick(view);
    EXPECT_EQ(view.currentNode, a);
}
