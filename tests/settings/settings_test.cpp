#include "settings/settings.h"

#include "app/preferences.h"

#include "support/disk.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

namespace {

class SettingsTest : public testing::Test {
protected:
    std::string file = settingsFilePath();
    void SetUp() override { DeleteFileA(file.c_str()); }
    void TearDown() override { DeleteFileA(file.c_str()); }

    void write(const char* section, const char* key, const char* text) {
        ASSERT_TRUE(WritePrivateProfileStringA(section, key, text, IniFileName.c_str()));
    }
    std::string raw(const char* section, const char* key) {
        char text[80];
        GetPrivateProfileStringA(section, key, "<absent>", text, sizeof text, IniFileName.c_str());
        return text;
    }
    bool fileExists() { return GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES; }
};

// A dialog with an edit box (id 10) and a check box (id 11), built from an in-memory template.
class Dialog {
public:
    HWND window = nullptr;
    Dialog() {
        std::vector<WORD> t;
        auto dword = [&](DWORD v) {
            t.push_back(LOWORD(v));
            t.push_back(HIWORD(v));
        };
        auto text = [&](const char* s) {
            for (; *s; ++s)
                t.push_back(static_cast<WORD>(*s));
            t.push_back(0);
        };
        auto align = [&] {
            if (t.size() % 2)
                t.push_back(0);
        };
        dword(WS_POPUP | DS_MODALFRAME);
        dword(0);
        t.push_back(2);                           // items
        t.insert(t.end(), {0, 0, 100, 50, 0, 0}); // x y cx cy, no menu, default class
        text("test");
        align();
        dword(WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL | WS_BORDER); // the edit box
        dword(0);
        t.insert(t.end(), {5, 5, 60, 12, 10, 0xFFFF, 0x0081});
        text("");
        t.push_back(0);
        align();
        dword(WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX); // the check box
        dword(0);
        t.insert(t.end(), {5, 20, 60, 12, 11, 0xFFFF, 0x0080});
        text("box");
        t.push_back(0);
        window = CreateDialogIndirectParamA(GetModuleHandleA(nullptr),
                                            reinterpret_cast<LPCDLGTEMPLATEA>(t.data()), nullptr, proc, 0);
    }
    ~Dialog() { DestroyWindow(window); }

private:
    static INT_PTR CALLBACK proc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }
};

} // namespace

TEST(SettingValue, Syntax) {
    EXPECT_EQ(parseSettingValue("4294967292"), -4);
    EXPECT_EQ(parseSettingValue(" 1"), 1);
    EXPECT_EQ(parseSettingValue("\t 12"), 12);
    EXPECT_EQ(parseSettingValue("1a"), 1);
    EXPECT_EQ(parseSettingValue("a1"), 0);
    EXPECT_EQ(parseSettingValue(""), 0);
    EXPECT_EQ(parseSettingValue("+5"), 5);
    EXPECT_EQ(parseSettingValue("-3"), -3);
    EXPECT_EQ(parseSettingValue("--3"), 0);
    EXPECT_EQ(parseSettingValue("- 3"), 0);
    EXPECT_EQ(parseSettingValue("2147483648"), INT32_MIN);
    EXPECT_EQ(parseSettingValue("99999999999"), 1215752191) << "digits wrap modulo 2^32";
    EXPECT_EQ(parseSettingValue("-4294967295"), 1);
}

TEST_F(SettingsTest, LoadTakesTheDefaultOnlyForAnAbsentKey) {
    EXPECT_FALSE(fileExists());
    IntSetting width("Width", SectionName, IniFileName, static_cast<int32_t>(0x80000000u));
    EXPECT_EQ(width.value, static_cast<int32_t>(CW_USEDEFAULT)) << "no file at all";

    write("Tarvale", "Other", "7");
    EXPECT_EQ(load(width), static_cast<int32_t>(CW_USEDEFAULT)) << "no key";
    write("Tarvale", "Width", "");
    EXPECT_EQ(load(width), 0) << "an empty value is 0, not the default";
    write("Tarvale", "Width", "640");
    EXPECT_EQ(load(width), 640);
    write("Tarvale", "XOffset", "4294967292");
    IntSetting x("XOffset", SectionName, IniFileName, 5);
    EXPECT_EQ(x.value, -4);
    IntSetting wrongSection("XOffset", "Blocksizes", IniFileName, 5);
    EXPECT_EQ(wrongSection.value, 5);
    write("Tarvale", "Show files", " 1");
    IntSetting files("Show files", SectionName, IniFileName, 0);
    EXPECT_EQ(files.value, 1);
    // Text longer than the buffer is cut at 78 characters.
    write("Tarvale", "Long", (std::string(75, '0') + "12345678").c_str());
    IntSetting longValue("Long", SectionName, IniFileName, 0);
    EXPECT_EQ(longValue.value, 123);
}

TEST_F(SettingsTest, SaveWritesUnsignedDecimalAndEraseRemovesTheKey) {
    IntSetting x("XOffset", SectionName, IniFileName, 0);
    x.value = -4;
    save(x);
    EXPECT_EQ(raw("Tarvale", "XOffset"), "4294967292");
    EXPECT_EQ(IntSetting("XOffset", SectionName, IniFileName, 0).value, -4);

    IntSetting c("C:\\", "Blocksizes", IniFileName, 32768);
    EXPECT_EQ(c.value, 32768);
    c.value = 4096;
    save(c);
    EXPECT_EQ(raw("Blocksizes", "C:\\"), "4096");
    erase(c);
    EXPECT_EQ(raw("Blocksizes", "C:\\"), "<absent>");
    EXPECT_EQ(c.value, 4096) << "erasing leaves the value in memory";
    EXPECT_EQ(load(c), 32768);
}

// Where the Windows directory refuses a write (here a handle that lets nobody write the file),
// the whole file goes on in the user's application-data folder and is read there from then on.
TEST_F(SettingsTest, AWriteTheWindowsDirectoryRefusesMovesTheFileToTheUsersFolder) {
    const char* name = "TarvaleMoved.ini";
    char windows[MAX_PATH], user[MAX_PATH];
    GetWindowsDirectoryA(windows, MAX_PATH);
    ASSERT_GT(GetEnvironmentVariableA("APPDATA", user, MAX_PATH), 0u);
    const std::string original = std::string(windows) + "\\" + name, copy = std::string(user) + "\\" + name;
    DeleteFileA(copy.c_str());
    ASSERT_TRUE(WritePrivateProfileStringA("Blocksizes", "U:\\", "2048", name));
    ASSERT_TRUE(WritePrivateProfileStringA("Tarvale", "Show bytes", "2", name));
    HANDLE reader =
        CreateFileA(original.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    IntSetting size("V:\\", "Blocksizes", name, 4096);
    size.value = 512;
    save(size);
    CloseHandle(reader);
    auto read = [&](const std::string& file, const char* section, const char* key) {
        char text[80];
        GetPrivateProfileStringA(section, key, "<absent>", text, sizeof text, file.c_str());
        return std::string(text);
    };
    EXPECT_EQ(read(copy, "Blocksizes", "V:\\"), "512");
    EXPECT_EQ(read(copy, "Blocksizes", "U:\\"), "2048") << "nothing is lost in the move";
    EXPECT_EQ(read(copy, "Tarvale", "Show bytes"), "2");
    // From now on the user's copy is read first, and written.
    WritePrivateProfileStringA("Blocksizes", "V:\\", "8192", name);
    EXPECT_EQ(IntSetting("V:\\", "Blocksizes", name, 4096).value, 512);
    erase(size);
    EXPECT_EQ(read(copy, "Blocksizes", "V:\\"), "<absent>");
    EXPECT_EQ(IntSetting("V:\\", "Blocksizes", name, 4096).value, 4096);
    DeleteFileA(copy.c_str());
    DeleteFileA(original.c_str());
}

TEST_F(SettingsTest, GlobalRecordsAndStrings) {
    struct Row {
        const IntSetting& setting;
        const char* key;
        int32_t defaultValue;
    };
    const int32_t placement = static_cast<int32_t>(CW_USEDEFAULT);
    Row rows[] = {{showFiles, "Show files", 0},        {enableDelete, "Enable delete", 0},
                  {showBytes, "Show bytes", 0},        {autoExpand, "AutoExpand", 1},
                  {autoCollapse, "AutoCollapse", 1},   {windowWidth, "Width", placement},
                  {windowHeight, "Height", placement}, {windowX, "XOffset", placement},
                  {windowY, "YOffset", placement}};
    for (const Row& row : rows) {
        EXPECT_EQ(row.setting.key, row.key);
        EXPECT_EQ(row.setting.section, "Tarvale");
        EXPECT_EQ(row.setting.fileName, "Tarvale95.ini");
        EXPECT_EQ(row.setting.defaultValue, row.defaultValue) << row.key;
        // Without a settings file each loads its default.
        IntSetting fresh(row.key, SectionName, IniFileName, row.defaultValue);
        EXPECT_EQ(fresh.value, row.defaultValue) << row.key;
    }
    EXPECT_EQ(WindowTitle, ProductTitle);
    EXPECT_EQ(ProductTitle, "Tarvale for Windows 95, 98 and NT");
    EXPECT_EQ(MainClassName, "TarvaleClass");
    EXPECT_EQ(PieClassName, "TarvaleClient");
    EXPECT_EQ(HelpFileName, "tarvale.hlp");
}

TEST_F(SettingsTest, DialogControlsAreReadAndSetThroughTheRecord) {
    Dialog dialog;
    ASSERT_NE(dialog.window, nullptr);
    IntSetting size("D:\\", "Blocksizes", IniFileName, 4096);

    SetDlgItemTextA(dialog.window, 10, "4096");
    readEdit(size, dialog.window, 10, true);
    EXPECT_FALSE(fileExists()) << "an equal value writes nothing";
    SetDlgItemTextA(dialog.window, 10, "bad");
    readEdit(size, dialog.window, 10, true);
    EXPECT_EQ(size.value, 4096) << "no number, no change";
    EXPECT_FALSE(fileExists());
    SetDlgItemTextA(dialog.window, 10, "  512 bytes");
    readEdit(size, dialog.window, 10, false);
    EXPECT_EQ(size.value, 512);
    EXPECT_FALSE(fileExists()) << "not asked to save";
    SetDlgItemTextA(dialog.window, 10, "1024");
    readEdit(size, dialog.window, 10, true);
    EXPECT_EQ(raw("Blocksizes", "D:\\"), "1024");
    // At most 14 characters are taken.
    SetDlgItemTextA(dialog.window, 10, "0000000000000123");
    readEdit(size, dialog.window, 10, true);
    EXPECT_EQ(size.value, 1);

    IntSetting box("Show files", SectionName, IniFileName, 0);
    CheckDlgButton(dialog.window, 11, BST_UNCHECKED);
    readCheckBox(box, dialog.window, 11, true);
    EXPECT_EQ(raw("Tarvale", "Show files"), "<absent>") << "an unchanged box writes nothing";
    CheckDlgButton(dialog.window, 11, BST_CHECKED);
    readCheckBox(box, dialog.window, 11, true);
    EXPECT_EQ(box.value, 1);
    EXPECT_EQ(raw("Tarvale", "Show files"), "1");

    box.value = 0;
    setCheckBox(box, dialog.window, 11);
    EXPECT_EQ(IsDlgButtonChecked(dialog.window, 11), BST_UNCHECKED);
    box.value = 1;
    setCheckBox(box, dialog.window, 11);
    EXPECT_EQ(IsDlgButtonChecked(dialog.window, 11), BST_CHECKED);
}
