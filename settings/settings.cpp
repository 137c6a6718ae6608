#include "settings/settings.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>

namespace {

// CW_USEDEFAULT as a setting: a first run leaves placement and size to the system.
constexpr int32_t placementDefault = static_cast<int32_t>(0x80000000u);

std::string formatUnsigned(int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(static_cast<uint32_t>(value)));
    return text;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The settings file is the bare name in the Windows directory, where the profile functions keep
// it. Where that folder is closed to the program (a 64-bit program under user account control
// gets no redirected copy), the settings go on in a file of the same name in the user's own
// application-data folder, and that copy is read first from then on.
std::string userFolder() {
    static const std::string folder = [] {
        // Windows 95, 98 and NT 4.0 without later updates have no such folder, nor the call.
        HMODULE shell = GetModuleHandleA("shell32.dll");
        auto get = shell ? reinterpret_cast<decltype(&SHGetFolderPathA)>(
                               reinterpret_cast<void*>(GetProcAddress(shell, "SHGetFolderPathA")))
                         : nullptr;
        char path[MAX_PATH];
        if (!get || FAILED(get(nullptr, 0x801A /* CSIDL_APPDATA | CSIDL_FLAG_CREATE */, nullptr, 0, path)))
            return std::string();
        return std::string(path);
    }();
    return folder;
}

std::string userCopyOf(const std::string& fileName) {
    const std::string folder = userFolder();
    return folder.empty() ? folder : folder + '\\' + fileName;
}

bool fileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The file the records of fileName read and write now.
std::string activeFile(const std::string& fileName) {
    const std::string copy = userCopyOf(fileName);
    return !copy.empty() && fileExists(copy) ? copy : fileName;
}

// Writes one key (a null value erases it). A write the Windows directory refuses moves the whole
// file, every section and key of it, to the user's copy, and is made there.
void write(const IntSetting& setting, const char* value) {
    const std::string file = activeFile(setting.fileName);
    if (WritePrivateProfileStringA(setting.section.c_str(), setting.key.c_str(), value, file.c_str()) ||
        file != setting.fileName)
        return;
    const std::string copy = userCopyOf(setting.fileName);
    if (copy.empty())
        return;
    char windows[MAX_PATH];
    const UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    const std::string original =
        std::string(windows, length < MAX_PATH ? length : 0) + '\\' + setting.fileName;
    if (fileExists(original) && !CopyFileA(original.c_str(), copy.c_str(), TRUE))
        return;
    WritePrivateProfileStringA(setting.section.c_str(), setting.key.c_str(), value, copy.c_str());
}

} // namespace

int32_t parseSettingValue(const char* text) {
    while (isBlank(*text))
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    uint32_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        value = value * 10u + static_cast<uint32_t>(*text - '0');
    if (negative)
        value = 0u - value;
    return static_cast<int32_t>(value);
}

IntSetting::IntSetting(const std::string& key, const std::string& section, const std::string& fileName,
                       int32_t defaultValue)
    : value(defaultValue), key(key), section(section), fileName(fileName), defaultValue(defaultValue) {
    load(*this);
}

int32_t load(IntSetting& setting) {
    char buffer[79];
    GetPrivateProfileStringA(setting.section.c_str(), setting.key.c_str(),
                             formatUnsigned(setting.defaultValue).c_str(), buffer, sizeof buffer,
                             activeFile(setting.fileName).c_str());
    setting.value = parseSettingValue(buffer);
    return setting.value;
}

void save(const IntSetting& setting) {
    write(setting, formatUnsigned(setting.value).c_str());
}

void erase(const IntSetting& setting) {
    write(setting, nullptr);
}

// The strings come first and the records after them, in this order, within this one file, so
// that each record finds the strings it is built from already constructed.
const std::string MainClassName = "TarvaleClass";
const std::string PieClassName = "TarvaleClient";
const std::string HelpFileName = "tarvale.hlp";
const std::string SectionName = "Tarvale";
const std::string ProductTitle = "Tarvale for Windows 95, 98 and NT";
const std::string WindowTitle = ProductTitle;
const std::string IniFileName = "Tarvale95.ini";

IntSetting showFiles("Show files", SectionName, IniFileName, 0);
IntSetting enableDelete("Enable delete", SectionName, IniFileName, 0);
IntSetting showBytes("Show bytes", SectionName, IniFileName, 0);
IntSetting autoExpand("AutoExpand", SectionName, IniFileName, 1);
IntSetting autoCollapse("AutoCollapse", SectionName, IniFileName, 1);
IntSetting windowWidth("Width", SectionName, IniFileName, placementDefault);
IntSetting windowHeight("Height", SectionName, IniFileName, placementDefault);
IntSetting windowX("XOffset", SectionName, IniFileName, placementDefault);
IntSetting windowY("YOffset", SectionName, IniFileName, placementDefault);
