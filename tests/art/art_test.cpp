// The pictures linked into the program: the icon, the cursors and the toolbar strip load through the
// real Win32 calls with the sizes, hot spots and colours that their sources in res/art draw.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

const COLORREF black = RGB(0x00, 0x00, 0x00);
const COLORREF white = RGB(0xFF, 0xFF, 0xFF);
const COLORREF buttonFace = RGB(0xC0, 0xC0, 0xC0);

HMODULE module() {
    return GetModuleHandleA(nullptr);
}

// Reads pixels of a bitmap through a memory DC; the bitmap must not be selected elsewhere.
class PixelReader {
public:
    explicit PixelReader(HBITMAP bitmap) : dc(CreateCompatibleDC(nullptr)) { old = SelectObject(dc, bitmap); }
    ~PixelReader() {
        SelectObject(dc, old);
        DeleteDC(dc);
    }
    PixelReader(const PixelReader&) = delete;
    PixelReader& operator=(const PixelReader&) = delete;

    COLORREF at(int x, int y) const { return GetPixel(dc, x, y); }

private:
    HDC dc;
    HGDIOBJ old = nullptr;
};

// What GetIconInfo tells of an icon or a cursor, read before the bitmaps it hands out are freed.
struct IconFacts {
    bool loaded = false;
    bool isIcon = false;
    bool hasColourBitmap = false;
    int width = 0;
    int height = 0;
    int hotX = -1;
    int hotY = -1;
    bool opaqueAtHotSpot = false;
    bool transparentAtCorner = false; // the bottom-right pixel
};

IconFacts iconFacts(HICON icon) {
    IconFacts facts;
    ICONINFO info{};
    if (!icon || !GetIconInfo(icon, &info))
        return facts;
    facts.loaded = true;
    facts.isIcon = info.fIcon != FALSE;
    facts.hasColourBitmap = info.hbmColor != nullptr;
    facts.hotX = static_cast<int>(info.xHotspot);
    facts.hotY = static_cast<int>(info.yHotspot);
    BITMAP mask{};
    GetObjectA(info.hbmMask, sizeof mask, &mask);
    facts.width = mask.bmWidth;
    // Without a colour bitmap the mask holds the AND rows and, below them, the XOR rows.
    facts.height = info.hbmColor ? mask.bmHeight : mask.bmHeight / 2;
    {
        // The AND mask is 0 where the picture covers the screen and 1 where the screen shows.
        PixelReader andMask(info.hbmMask);
        facts.opaqueAtHotSpot = andMask.at(facts.hotX, facts.hotY) == black;
        facts.transparentAtCorner = andMask.at(facts.width - 1, facts.height - 1) == white;
    }
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return facts;
}

// The colour of a pixel of a colour icon; CLR_INVALID when there is none.
COLORREF iconColour(HICON icon, int x, int y) {
    ICONINFO info{};
    if (!icon || !GetIconInfo(icon, &info))
        return CLR_INVALID;
    COLORREF colour = CLR_INVALID;
    if (info.hbmColor) {
        colour = PixelReader(info.hbmColor).at(x, y);
        DeleteObject(info.hbmColor);
    }
    DeleteObject(info.hbmMask);
    return colour;
}

} // namespace

TEST(Art, TheProgramIconIs32By32InColourWithAMask) {
    HICON handle = LoadIconA(module(), MAKEINTRESOURCEA(1));
    IconFacts icon = iconFacts(handle);
    ASSERT_TRUE(icon.loaded);
    EXPECT_TRUE(icon.isIcon);
    EXPECT_TRUE(icon.hasColourBitmap);
    EXPECT_EQ(icon.width, 32);
    EXPECT_EQ(icon.height, 32);
    EXPECT_TRUE(icon.transparentAtCorner);
    EXPECT_EQ(iconColour(handle, 20, 7), RGB(0x00, 0x00, 0xFF)) << "the pie's largest wedge";
    EXPECT_EQ(iconColour(handle, 24, 25), RGB(0x00, 0xFF, 0x00)) << "the drive's light";
}

TEST(Art, EachCursorHasItsHotSpotOnThePicture) {
    struct Expected {
        int id;
        int hotX;
        int hotY;
    };
    const Expected cursors[] = {
        {1, 9, 9},   // magnifying glass with a minus: the lens centre
        {2, 9, 10},  // magnifying glass with a plus: the lens centre
        {3, 0, 0},   // arrow with an exclamation mark: the tip
        {4, 9, 10},  // magnifying glass with a plus and an exclamation mark: the lens centre
        {5, 15, 15}, // splitter: between the bars
    };
    for (const Expected& expected : cursors) {
        SCOPED_TRACE("cursor " + std::to_string(expected.id));
        IconFacts cursor = iconFacts(LoadCursorA(module(), MAKEINTRESOURCEA(expected.id)));
        ASSERT_TRUE(cursor.loaded);
        EXPECT_FALSE(cursor.isIcon);
        EXPECT_FALSE(cursor.hasColourBitmap) << "a black-and-white cursor";
        EXPECT_EQ(cursor.width, 32);
        EXPECT_EQ(cursor.height, 32);
        EXPECT_EQ(cursor.hotX, expected.hotX);
        EXPECT_EQ(cursor.hotY, expected.hotY);
        EXPECT_TRUE(cursor.opaqueAtHotSpot);
        EXPECT_TRUE(cursor.transparentAtCorner);
    }
}

TEST(Art, TheToolbarStripHoldsSixButtonImages) {
    HBITMAP strip = LoadBitmapA(module(), MAKEINTRESOURCEA(2));
    ASSERT_NE(strip, nullptr);
    BITMAP facts{};
    ASSERT_NE(GetObjectA(strip, sizeof facts, &facts), 0);
    EXPECT_EQ(facts.bmWidth, 96);
    EXPECT_EQ(facts.bmHeight, 16);
    {
        PixelReader pixels(strip);
        for (int image = 0; image < 6; ++image) {
            SCOPED_TRACE("image " + std::to_string(image));
            int left = image * 16;
            EXPECT_EQ(pixels.at(left, 0), buttonFace);
            EXPECT_EQ(pixels.at(left + 15, 0), buttonFace);
            EXPECT_EQ(pixels.at(left, 14), buttonFace);
            EXPECT_EQ(pixels.at(left + 15, 14), buttonFace);
            EXPECT_EQ(pixels.at(left + 7, 15), buttonFace) << "the unused 16th row";
        }
        EXPECT_EQ(pixels.at(2, 2), black) << "per-cent sign: upper ring";
        EXPECT_EQ(pixels.at(3, 4), buttonFace) << "per-cent sign: inside the upper ring";
        EXPECT_EQ(pixels.at(16 + 7, 1), black) << "up arrow: tip";
        EXPECT_EQ(pixels.at(16 + 7, 10), black) << "up arrow: shaft";
        EXPECT_EQ(pixels.at(32 + 7, 12), RGB(0x00, 0x00, 0x80)) << "question mark: dot";
        EXPECT_EQ(pixels.at(48 + 2, 11), RGB(0xFF, 0xFF, 0x00)) << "ruler under kB";
        EXPECT_EQ(pixels.at(64 + 4, 9), RGB(0xFF, 0x00, 0x00)) << "pie: red wedge";
        EXPECT_EQ(pixels.at(64 + 11, 6), RGB(0x00, 0x00, 0xFF)) << "pie: blue wedge";
        EXPECT_EQ(pixels.at(80 + 1, 8), RGB(0x00, 0x80, 0x00)) << "circular arrow: left side";
    }
    DeleteObject(strip);
}
