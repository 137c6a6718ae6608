// The real tarvale.exe against bad input: settings files that are damaged, odd or read-only, and
// command-line arguments of every strange kind. Each start must end in a defined way, a message
// or a window, and close with exit code 0.
#include "settings/settings.h"
#include "support/disk.h"
#include "support/program.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

const std::string refusal =
    "Sorry, cannot accept UNC drive specifications.\nPlease assign a logical drive-letter first.";

std::string windowText(HWND window) {
    char text[1024] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// ---- the settings file ----

void writeBytes(const std::string& path, const std::string& bytes) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What the system's profile functions give for a key, read into a buffer of 79 characters as
// the program reads it, and whether the key is there at all. This process's cache of the file is
// dropped first: the file has just changed.
struct Raw {
    bool present;
    std::string text;
};

Raw raw(const char* section, const char* key) {
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, IniFileName.c_str());
    const char* absent = "\x01<absent>";
    char text[79];
    GetPrivateProfileStringA(section, key, absent, text, sizeof text, IniFileName.c_str());
    return {std::string(text) != absent, text};
}

// The reading rule, written out again: blanks, one sign, digits accumulated modulo 2^32.
int32_t valueOf(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    uint64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = (value * 10 + static_cast<uint64_t>(text[i] - '0')) & 0xFFFFFFFFu;
    if (negative)
        value = (0x100000000ull - value) & 0xFFFFFFFFu;
    return static_cast<int32_t>(static_cast<uint32_t>(value));
}

int32_t expected(const char* key, int32_t fallback) {
    Raw found = raw("Tarvale", key);
    return found.present ? valueOf(found.text) : fallback;
}

std::string unsignedText(int32_t value) {
    return std::to_string(static_cast<uint32_t>(value));
}

std::string randomBytes(unsigned seed, size_t length) {
    std::mt19937 rng(seed);
    std::string bytes(length, '\0');
    for (char& c : bytes)
        c = static_cast<char>(rng() & 0xFF);
    return bytes;
}

std::string utf16(const std::string& ascii) {
    std::string bytes = "\xFF\xFE";
    for (char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

struct SettingsCase {
    const char* what;
    std::string bytes;
    bool exactPlacement = false; // the four placement values are ordinary ones, taken as they are
    bool readOnly = false;
};

// A small tree on H: for the program to scan, so that every start also lays out and paints a
// chart with the settings it read.
void layOutDriveH() {
    std::string h = freshDrive("H");
    makeDir(h + "Tree");
    makeFile(h + "Tree\\File.bin", 50000);
    makeFile(h + "Tree\\Small", 10);
    makeDir(h + "Tree\\Inner");
    makeFile(h + "Tree\\Inner\\Deep.dat", 9000);
    makeFile(h + "Top.txt", 4097);
    makeDir(h + "WithU");
    makeFile(h + "WithU\\Unrelated.txt", 1);
    makeDir(h + "Empty");
}

const std::string title = "Tarvale for Windows 95, 98 and NT";

} // namespace

TEST(HardeningProgram, DamagedAndOddSettingsFilesGiveDefinedValues) {
    layOutDriveH();
    const std::string file = settingsFilePath();
    const std::string sane = "[Tarvale]\r\nXOffset=4294967292\r\nYOffset=10\r\nWidth=500\r\nHeight=400\r\n"
                             "Split=120\r\nShow bytes=2\r\nEnable delete=1\r\nShow files=1\r\n";
    std::vector<SettingsCase> cases = {
        {"no file", ""},
        {"ordinary values", sane, true},
        {"random bytes", randomBytes(7, 65536)},
        {"random bytes around a section", randomBytes(8, 3000) +
                                              "\r\n[Tarvale]\r\nShow bytes=1\r\nEnable delete=1\r\n" +
                                              randomBytes(9, 3000)},
        {"huge and negative numbers",
         "[Tarvale]\r\nWidth=99999999999999999999\r\nHeight=-99999999999\r\nXOffset=-2147483649\r\n"
         "YOffset=4294967296\r\nSplit=-500\r\nShow bytes=-1\r\nEnable "
         "delete=4294967296\r\nAutoExpand=-0\r\n"},
        {"the largest placement",
         "[Tarvale]\r\nXOffset=2147483647\r\nYOffset=2147483647\r\nWidth=2147483647\r\nHeight=2147483647\r\n"
         "Split=2147483647\r\n"},
        {"no size", "[Tarvale]\r\nWidth=0\r\nHeight=4294967295\r\nXOffset=\r\nYOffset=x7\r\nSplit=0\r\n"},
        {"duplicate keys and sections",
         "[Tarvale]\r\nShow bytes=1\r\nShow bytes=2\r\n[tarvale]\r\nEnable delete=1\r\n[Tarvale]\r\n"
         "Enable delete=0\r\nSplit=77\r\nSplit=88\r\n"},
        {"keys outside any section",
         "Show bytes=2\r\nEnable delete=1\r\nSplit=50\r\n[Other]\r\nWidth=300\r\n"},
        {"values longer than the buffer", "[Tarvale]\r\nSplit=" + std::string(100, '0') +
                                              "150\r\nShow bytes=" + std::string(5000, '9') +
                                              "\r\nEnable delete=  +1" + std::string(200000, 'x') + "\r\n"},
        {"undefined chart values",
         "[Tarvale]\r\nShow bytes=7\r\nShow files=-3\r\nEnable delete=2\r\n[Blocksizes]\r\nH:\\=1\r\n"},
        {"a cluster size of 0", "[Tarvale]\r\nShow bytes=2\r\n[Blocksizes]\r\nH:\\=0\r\n"},
        {"a negative cluster size", "[Tarvale]\r\nShow bytes=2\r\n[Blocksizes]\r\nH:\\=-4096\r\n"},
        {"the largest cluster size", "[Tarvale]\r\nShow bytes=2\r\n[Blocksizes]\r\nH:\\=2147483647\r\n"},
        {"a file in UTF-16", utf16("[Tarvale]\r\nShow bytes=2\r\nSplit=99\r\n")},
        {"a read-only file", sane, true, true},
    };
    const char* untouched[] = {"Show files", "Enable delete", "Show bytes", "AutoExpand", "AutoCollapse"};

    for (const SettingsCase& test : cases) {
        SCOPED_TRACE(test.what);
        SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(file.c_str());
        if (!test.bytes.empty())
            writeBytes(file, test.bytes);
        if (test.readOnly) {
            ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
        }
        const int32_t enableDelete = expected("Enable delete", 0);
        const int32_t showBytes = expected("Show bytes", 0);
        Raw splitBefore = raw("Tarvale", "Split");
        std::vector<Raw> before;
        for (const char* key : untouched)
            before.push_back(raw("Tarvale", key));
        const std::string bytesBefore = readBytes(file);

        Program program("H:\\");
        ASSERT_TRUE(program.started);
        ASSERT_TRUE(program.waitForWindowOrBox());
        ASSERT_NE(program.window, nullptr) << program.boxText();
        // The scan of H: ends with its root selected, after which the chart has been drawn.
        ASSERT_TRUE(waitFor([&] { return windowText(program.window) == title + " - H:\\"; }))
            << windowText(program.window);
        Sleep(100);

        HWND status = program.child(STATUSCLASSNAMEA);
        HWND toolbar = program.child(TOOLBARCLASSNAMEA);
        ASSERT_NE(status, nullptr);
        ASSERT_NE(toolbar, nullptr);
        EXPECT_EQ(LOWORD(SendMessageA(status, SB_GETTEXTLENGTHA, 2, 0)), enableDelete ? 6 : 0)
            << "\"Delete\" shows exactly when deleting is on";
        EXPECT_EQ(SendMessageA(toolbar, TB_ISBUTTONCHECKED, 106, 0) != 0, showBytes == 1);
        EXPECT_EQ(SendMessageA(toolbar, TB_ISBUTTONCHECKED, 107, 0) != 0, showBytes == 2);
        WINDOWPLACEMENT placement = {};
        placement.length = sizeof placement;
        ASSERT_TRUE(GetWindowPlacement(program.window, &placement));
        const RECT seen = placement.rcNormalPosition;
        RECT client;
        GetClientRect(program.window, &client);
        // Whatever the values say, the window opens with its title bar on the screen and with a
        // size that can be used.
        const LONG screenLeft = GetSystemMetrics(SM_XVIRTUALSCREEN);
        const LONG screenTop = GetSystemMetrics(SM_YVIRTUALSCREEN);
        const LONG screenRight = screenLeft + GetSystemMetrics(SM_CXVIRTUALSCREEN);
        const LONG screenBottom = screenTop + GetSystemMetrics(SM_CYVIRTUALSCREEN);
        EXPECT_LT(seen.left, screenRight - 40);
        EXPECT_GT(seen.right, screenLeft + 40);
        EXPECT_GE(seen.top, screenTop);
        EXPECT_LT(seen.top, screenBottom - 40);
        EXPECT_GE(seen.right - seen.left, 200);
        EXPECT_GE(seen.bottom - seen.top, 150);
        if (test.exactPlacement) {
            EXPECT_EQ(seen.left, -4);
            EXPECT_EQ(seen.top, 10);
            EXPECT_EQ(seen.right - seen.left, 500);
            EXPECT_EQ(seen.bottom - seen.top, 400);
            RECT tree;
            GetWindowRect(program.child(WC_TREEVIEWA), &tree);
            EXPECT_EQ(tree.right - tree.left, 120) << "the divider where Split puts it";
        }

        EXPECT_EQ(program.close(), 0u);

        if (test.readOnly) {
            EXPECT_EQ(readBytes(file), bytesBefore) << "a read-only file stays as it was";
            EXPECT_TRUE(GetFileAttributesA(file.c_str()) & FILE_ATTRIBUTE_READONLY);
            continue;
        }
        // On closing, the divider and the placement are saved, and nothing else is written.
        const int32_t split = splitBefore.present ? valueOf(splitBefore.text) : client.right / 4;
        EXPECT_EQ(raw("Tarvale", "Split").text, unsignedText(split));
        EXPECT_EQ(raw("Tarvale", "XOffset").text, unsignedText(seen.left));
        EXPECT_EQ(raw("Tarvale", "YOffset").text, unsignedText(seen.top));
        EXPECT_EQ(raw("Tarvale", "Width").text, unsignedText(seen.right - seen.left));
        EXPECT_EQ(raw("Tarvale", "Height").text, unsignedText(seen.bottom - seen.top));
        for (size_t i = 0; i < before.size(); ++i) {
            Raw after = raw("Tarvale", untouched[i]);
            EXPECT_EQ(after.present, before[i].present) << untouched[i];
            EXPECT_EQ(after.text, before[i].text) << untouched[i];
        }
        std::printf("%-32s window (%ld, %ld) %ld x %ld, Split %d\n", test.what, seen.left, seen.top,
                    seen.right - seen.left, seen.bottom - seen.top, split);
    }
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(file.c_str());
}

TEST(HardeningProgram, StrangeArgumentsEndInAMessageOrAScan) {
    layOutDriveH();
    DeleteFileA(settingsFilePath().c_str());
    struct ArgumentCase {
        const char* what;
        std::string argument;
        const char* folder;  // the working folder, or none
        const char* selects; // the caption's path once the scan has ended; null: refused; "": no scan
    };
    const std::vector<ArgumentCase> cases = {
        {"empty quotes", "\"\"", nullptr, nullptr},
        {"10,000 characters", "H:\\" + std::string(9997, 'a'), nullptr, nullptr},
        {"10,000 characters of backslashes", "H:" + std::string(9998, '\\'), nullptr, nullptr},
        {"a UNC path", "\\\\server\\share\\", nullptr, nullptr},
        {"a UNC path to this machine", "\\\\localhost\\C$\\", nullptr, nullptr},
        {"a bare letter, nothing of that name here", "u", "H:\\Empty\\", nullptr},
        {"a bare letter matching a file here", "u", "H:\\WithU\\", "U:\\"},
        {"a file instead of a directory", "H:\\Tree\\File.bin", nullptr, "H:\\"},
        {"a drive without a backslash", "H:", nullptr, "H:\\"},
        {"a path through ..", "H:\\Tree\\..\\Tree", nullptr, "H:\\"},
        {"a directory in lower case", "h:\\tree\\inner", nullptr, "H:\\Tree\\Inner\\"},
        {"the long-path prefix", "\\\\?\\H:\\", nullptr, ""},
        {"the device prefix", "\\\\.\\H:\\", nullptr, ""},
    };
    for (const ArgumentCase& test : cases) {
        SCOPED_TRACE(test.what);
        Program program(test.argument, test.folder);
        ASSERT_TRUE(program.started);
        ASSERT_TRUE(program.waitForWindowOrBox());
        if (!test.selects) {
            ASSERT_NE(program.box, nullptr) << "refused with the message";
            EXPECT_EQ(program.boxText(), refusal);
            EXPECT_EQ(program.window, nullptr);
            EXPECT_EQ(program.close(), 0u);
            continue;
        }
        ASSERT_NE(program.window, nullptr) << program.boxText();
        HWND tree = program.child(WC_TREEVIEWA);
        if (*test.selects) {
            std::string caption = title + " - " + test.selects;
            EXPECT_TRUE(waitFor([&] { return windowText(program.window) == caption; }))
                << windowText(program.window);
        } else {
            // A path that does not begin with a drive letter starts no scan.
            Sleep(500);
            EXPECT_EQ(windowText(program.window), title);
            EXPECT_EQ(SendMessageA(tree, TVM_GETCOUNT, 0, 0), 0);
        }
        EXPECT_FALSE(program.ended(0));
        EXPECT_EQ(program.close(), 0u);
    }
    DeleteFileA(settingsFilePath().c_str());
}
