#include "model/names.h"

#include "model/native.h"

UINT diskCodePage() {
    return wideRoute() ? CP_UTF8 : CP_ACP;
}

const char* reachableName(const WIN32_FIND_DATAA& found) {
    return found.cAlternateFileName[0] ? found.cAlternateFileName : found.cFileName;
}

// A listed name has 255 UTF-16 units at most (259 in a find record): 777 bytes in UTF-8, fewer in
// any other code page.
void appendNarrow(std::string& out, const wchar_t* name, size_t units) {
    char text[1024];
    int length = WideCharToMultiByte(diskCodePage(), 0, name, static_cast<int>(units), text, sizeof text,
                                     nullptr, nullptr);
    out.append(text, length > 0 ? static_cast<size_t>(length) : 0);
}

bool listableName(const wchar_t* name, size_t units) {
    if (units == 0 || (name[0] == L'.' && (units == 1 || (units == 2 && name[1] == L'.'))))
        return false;
    for (size_t i = 0; i < units; ++i)
        if (name[i] == L'\\' || name[i] == L'/')
            return false;
    return true;
}

// In a double-byte code page the byte of a backslash may be the second of a character.
bool listableName(const std::string& name) {
    if (name.empty() || name == "." || name == "..")
        return false;
    const bool doubleBytes = diskCodePage() != CP_UTF8;
    for (size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (doubleBytes && IsDBCSLeadByte(c))
            ++i;
        else if (c == '\\' || c == '/')
            return false;
    }
    return true;
}

std::wstring wideOf(const std::string& text) {
    const UINT codePage = diskCodePage();
    int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

std::string shownText(const wchar_t* name, size_t units) {
    const int count = static_cast<int>(units);
    int length = WideCharToMultiByte(CP_ACP, 0, name, count, nullptr, 0, nullptr, nullptr);
    std::string shown(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0)
        WideCharToMultiByte(CP_ACP, 0, name, count, &shown[0], length, nullptr, nullptr);
    return shown;
}

std::string shownText(const std::string& listed) {
    static const bool same = diskCodePage() == CP_ACP || GetACP() == CP_UTF8;
    if (same)
        return listed;
    const std::wstring wide = wideOf(listed);
    return shownText(wide.data(), wide.size());
}

std::wstring diskPath(const std::string& path) {
    std::wstring wide = wideOf(path);
    if (wide.empty() && !path.empty())
        return wide;
    return L"\\\\?\\" + wide;
}
