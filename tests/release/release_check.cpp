// release_check: reads a built tarvale.exe as Explorer and the installers see it, from outside:
// its version resource and its icon. A Windows program for Wine.
//
//   release_check.exe PATH/tarvale.exe PATH/tarvale.ico VERSION NAME ORIGINAL-FILENAME
//
// VERSION is the release in four parts ("2.2.0.0"); the texts must give it in the short form the
// About box uses ("2.2"). NAME is the product name, ORIGINAL-FILENAME the name the program ships
// under. tarvale.ico is the icon the build drew from res/art; the program's first icon group must
// show the same pixels. Paths may be Unix paths; they are taken as the same paths on drive Z:.
// Prints one line per check and "N passed, M failed"; exits with 1 when a check failed.
#include "res/resource.h"
#include "tests/support/check.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr WORD languageUsEnglish = 0x0409;
constexpr WORD codePageWestern = 1252;
constexpr int iconSize = 32;

std::string windowsPath(std::string path) {
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// "2.2.0.0" as the two version words of VS_FIXEDFILEINFO; false unless exactly four numbers.
bool parseVersion(const std::string& text, DWORD& high, DWORD& low) {
    unsigned parts[4];
    char end;
    if (std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &parts[0], &parts[1], &parts[2], &parts[3], &end) != 4)
        return false;
    high = MAKELONG(parts[1], parts[0]);
    low = MAKELONG(parts[3], parts[2]);
    return true;
}

// "2.2.0.0" -> "2.2", "2.2.1.0" -> "2.2.1": the trailing zero parts dropped, the first two kept.
std::string shortVersion(const std::string& full) {
    std::string text = full;
    while (std::count(text.begin(), text.end(), '.') > 1 && text.compare(text.size() - 2, 2, ".0") == 0)
        text.erase(text.size() - 2);
    return text;
}

std::string hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

class VersionResource {
public:
    explicit VersionResource(const std::string& path) {
        DWORD ignored = 0;
        DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
        if (size == 0)
            return;
        data.resize(size);
        if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data()))
            data.clear();
    }

    bool present() const { return !data.empty(); }

    const VS_FIXEDFILEINFO* fixed() {
        UINT length = 0;
        void* value = nullptr;
        if (!VerQueryValueA(data.data(), "\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO))
            return nullptr;
        return static_cast<const VS_FIXEDFILEINFO*>(value);
    }

    // The language and code page pairs the resource lists.
    std::vector<std::pair<WORD, WORD>> translations() {
        std::vector<std::pair<WORD, WORD>> pairs;
        UINT length = 0;
        void* value = nullptr;
        if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &value, &length))
            return pairs;
        const WORD* words = static_cast<const WORD*>(value);
        for (UINT i = 0; i + 1 < length / sizeof(WORD); i += 2)
            pairs.emplace_back(words[i], words[i + 1]);
        return pairs;
    }

    // A text of the string table of that translation; empty when there is none.
    std::string text(WORD language, WORD codePage, const char* name) {
        char query[80];
        std::snprintf(query, sizeof query, "\\StringFileInfo\\%04X%04X\\%s", language, codePage, name);
        UINT length = 0;
        void* value = nullptr;
        if (!VerQueryValueA(data.data(), query, &value, &length) || !value)
            return "";
        return static_cast<const char*>(value);
    }

private:
    std::vector<BYTE> data;
};

void checkVersion(const std::string& exe, const std::string& version, const std::string& name,
                  const std::string& originalName) {
    VersionResource resource(exe);
    if (!check(resource.present(), "GetFileVersionInfoA finds a version resource in " + exe))
        return;

    DWORD high = 0, low = 0;
    if (!check(parseVersion(version, high, low), "the expected version " + version + " has four parts"))
        return;
    const VS_FIXEDFILEINFO* fixed = resource.fixed();
    if (check(fixed && fixed->dwSignature == VS_FFI_SIGNATURE, "VerQueryValueA gives the fixed file info")) {
        check(fixed->dwFileVersionMS == high && fixed->dwFileVersionLS == low, "file version " + version,
              hex(fixed->dwFileVersionMS) + " " + hex(fixed->dwFileVersionLS));
        check(fixed->dwProductVersionMS == high && fixed->dwProductVersionLS == low,
              "product version " + version,
              hex(fixed->dwProductVersionMS) + " " + hex(fixed->dwProductVersionLS));
        check(fixed->dwFileType == VFT_APP, "file type: application", hex(fixed->dwFileType));
        check((fixed->dwFileFlags & fixed->dwFileFlagsMask & (VS_FF_DEBUG | VS_FF_PRERELEASE)) == 0,
              "neither a debug nor a pre-release build", hex(fixed->dwFileFlags));
    }

    std::vector<std::pair<WORD, WORD>> translations = resource.translations();
    if (!check(translations.size() == 1 && translations[0].first == languageUsEnglish &&
                   translations[0].second == codePageWestern,
               "one translation: U.S. English, code page 1252",
               translations.empty() ? "none"
                                    : hex(translations[0].first) + " " + hex(translations[0].second)))
        return;

    const std::string shortForm = shortVersion(version);
    auto text = [&](const char* key) { return resource.text(languageUsEnglish, codePageWestern, key); };
    check(text("ProductName") == name, "ProductName \"" + name + "\"", text("ProductName"));
    check(text("FileVersion") == shortForm, "FileVersion \"" + shortForm + "\"", text("FileVersion"));
    check(text("ProductVersion") == shortForm, "ProductVersion \"" + shortForm + "\"",
          text("ProductVersion"));
    check(text("OriginalFilename") == originalName, "OriginalFilename \"" + originalName + "\"",
          text("OriginalFilename"));
    for (const char* key : {"CompanyName", "FileDescription", "LegalCopyright"}) {
        std::string value = text(key);
        check(!value.empty(), std::string(key) + " is given");
    }
}

INT_PTR CALLBACK quietDialogProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

BOOL CALLBACK collectText(HWND child, LPARAM param) {
    char text[128] = "";
    GetWindowTextA(child, text, sizeof text);
    reinterpret_cast<std::vector<std::string>*>(param)->push_back(text);
    return TRUE;
}

// The About box, built hidden from the program's own template, names the same version.
void checkAboutBox(HMODULE module, const std::string& version) {
    HWND dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(IDD_ABOUT), nullptr, quietDialogProc, 0);
    if (!check(dialog != nullptr, "the About box can be built from the program's resources"))
        return;
    std::vector<std::string> texts;
    EnumChildWindows(dialog, collectText, reinterpret_cast<LPARAM>(&texts));
    DestroyWindow(dialog);
    const std::string expected = "Version " + shortVersion(version);
    std::string seen;
    bool found = false;
    for (const std::string& text : texts) {
        found = found || text == expected;
        if (text.compare(0, 8, "Version ") == 0)
            seen = text;
    }
    check(found, "the About box says \"" + expected + "\"", seen.empty() ? "no version line" : seen);
}

// The name of the first resource enumerated, as text: its number, or its name in quotes. A string
// name lives only during the call.
BOOL CALLBACK takeFirstName(HMODULE, LPCSTR, LPSTR name, LONG_PTR param) {
    std::string& text = *reinterpret_cast<std::string*>(param);
    if (IS_INTRESOURCE(name)) {
        text = std::to_string(reinterpret_cast<ULONG_PTR>(name));
    } else {
        text = '"';
        text.append(name).push_back('"');
    }
    return FALSE;
}

// The pixels of an icon drawn on a background colour: transparent parts show it, so drawing on
// two backgrounds compares the mask as well as the colours.
std::vector<DWORD> renderIcon(HICON icon, COLORREF background) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = iconSize;
    info.bmiHeader.biHeight = -iconSize;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::vector<DWORD> pixels;
    if (dc && bitmap) {
        HGDIOBJ old = SelectObject(dc, bitmap);
        HBRUSH brush = CreateSolidBrush(background);
        RECT all = {0, 0, iconSize, iconSize};
        FillRect(dc, &all, brush);
        DeleteObject(brush);
        DrawIconEx(dc, 0, 0, icon, iconSize, iconSize, 0, nullptr, DI_NORMAL);
        GdiFlush();
        const DWORD* first = static_cast<const DWORD*>(bits);
        pixels.assign(first, first + iconSize * iconSize);
        SelectObject(dc, old);
    }
    if (bitmap)
        DeleteObject(bitmap);
    if (dc)
        DeleteDC(dc);
    return pixels;
}

bool samePicture(HICON a, HICON b, std::string& detail) {
    for (COLORREF background : {RGB(255, 255, 255), RGB(0, 0, 0)}) {
        std::vector<DWORD> one = renderIcon(a, background), other = renderIcon(b, background);
        if (one.empty() || other.empty()) {
            detail = "cannot draw the icons";
            return false;
        }
        for (size_t i = 0; i < one.size(); ++i) {
            if ((one[i] & 0xFFFFFF) != (other[i] & 0xFFFFFF)) {
                char text[96];
                std::snprintf(text, sizeof text, "pixel (%d, %d) on %s: %06lX against %06lX",
                              static_cast<int>(i % iconSize), static_cast<int>(i / iconSize),
                              background ? "white" : "black", static_cast<unsigned long>(one[i] & 0xFFFFFF),
                              static_cast<unsigned long>(other[i] & 0xFFFFFF));
                detail = text;
                return false;
            }
        }
    }
    return true;
}

// The program's first icon group is icon 1, and it is the icon the build drew.
void checkIcon(const std::string& exe, HMODULE module, const std::string& iconFile) {
    std::string firstName = "no icon group";
    EnumResourceNamesA(module, RT_GROUP_ICON, takeFirstName, reinterpret_cast<LONG_PTR>(&firstName));
    check(firstName == "1", "the first icon group is resource 1", firstName);

    UINT count = ExtractIconExA(exe.c_str(), -1, nullptr, nullptr, 0);
    check(count >= 1, "ExtractIconExA counts the program's icons", std::to_string(count));

    HICON extracted = nullptr;
    UINT got = ExtractIconExA(exe.c_str(), 0, &extracted, nullptr, 1);
    check(got == 1 && extracted, "ExtractIconExA gives the first icon");

    HICON resource = static_cast<HICON>(
        LoadImageA(module, MAKEINTRESOURCEA(1), IMAGE_ICON, iconSize, iconSize, LR_DEFAULTCOLOR));
    check(resource != nullptr, "LoadImageA finds icon 1 in the program");

    HICON drawn = static_cast<HICON>(
        LoadImageA(nullptr, iconFile.c_str(), IMAGE_ICON, iconSize, iconSize, LR_LOADFROMFILE));
    check(drawn != nullptr, "LoadImageA reads the drawn icon " + iconFile);

    std::string detail;
    if (extracted && drawn)
        check(samePicture(extracted, drawn, detail), "the extracted icon shows the drawn picture", detail);
    if (resource && drawn)
        check(samePicture(resource, drawn, detail), "icon 1 shows the drawn picture", detail);
    for (HICON icon : {extracted, resource, drawn})
        if (icon)
            DestroyIcon(icon);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(
            stderr,
            "usage: release_check PATH/tarvale.exe PATH/tarvale.ico VERSION NAME ORIGINAL-FILENAME\n");
        return 2;
    }
    const std::string exe = windowsPath(argv[1]), iconFile = windowsPath(argv[2]);
    const std::string version = argv[3], name = argv[4], originalName = argv[5];

    checkVersion(exe, version, name, originalName);
    HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (check(module != nullptr, "the program loads as a data file")) {
        checkAboutBox(module, version);
        checkIcon(exe, module, iconFile);
        FreeLibrary(module);
    }
    return checkSummary();
}
