#include "model/mounts.h"

#include "model/names.h"
#include "model/native.h"

#include <windows.h>

#include <algorithm>
#include <cctype>

namespace {

// Wine's own exports (kernel32), absent on Windows. Both return a block of the process heap.
typedef char*(__cdecl* UnixNameOf)(const wchar_t* dosPath);
typedef wchar_t*(__cdecl* DosNameOf)(const char* unixPath);

template <typename Function> Function wineExport(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name)));
}

template <typename Text> void freeWine(Text* text) {
    if (text)
        HeapFree(GetProcessHeap(), 0, text);
}

// The text of the mount table as Linux gives it to Wine's server; Z: is Wine's drive of the Linux
// root, and where it has been removed Wine still reaches Linux names by their own namespace.
std::string readTable() {
    std::string text;
    for (const char* path : {"Z:\\proc\\self\\mountinfo", "\\\\?\\unix\\proc\\self\\mountinfo"}) {
        HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            continue;
        // Linux reports no size for it: it is read to its end.
        char block[16384];
        DWORD read = 0;
        while (ReadFile(file, block, sizeof block, &read, nullptr) && read > 0)
            text.append(block, read);
        CloseHandle(file);
        break;
    }
    return text;
}

std::wstring wideUtf8(std::string_view text) {
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(std::max(length, 0)), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

// The drive paths of the mount point at path, one for each drive that holds it. Wine names a Linux
// folder after the deepest drive whose root is the same folder (compared by device and inode, so
// links in the drives' paths do not matter); the drive's root lies as many steps above the folder
// as the name has below the drive, and the next drive out names that root's parent in turn. Only
// the mount point's parent is looked at, never the mount itself (a dead network mount would hang).
void drivePathsOf(DosNameOf dosName, std::string_view path, std::vector<std::wstring>& out) {
    size_t cut = path.rfind('/');
    std::wstring below = L"\\" + wideUtf8(path.substr(cut + 1));
    std::string folder(path.substr(0, cut)); // empty for the Linux root
    for (;;) {
        wchar_t* found = dosName(folder.empty() ? "/" : folder.c_str());
        std::wstring name = found ? found : L"";
        freeWine(found);
        if (name.size() < 2 || name[1] != L':') // no drive holds it: "\\?\unix\..."
            return;
        if (name.back() == L'\\')
            name.pop_back();
        out.push_back(name + below);
        size_t rootEnd = folder.size();
        for (size_t steps = std::count(name.begin(), name.end(), L'\\'); steps > 0; --steps) {
            if (rootEnd == 0)
                return;
            rootEnd = folder.rfind('/', rootEnd - 1);
        }
        if (rootEnd == 0) // the drive is the Linux root
            return;
        cut = folder.rfind('/', rootEnd - 1);
        below = L"\\" + wideUtf8(std::string_view(folder).substr(cut + 1, rootEnd - cut - 1)) +
                name.substr(2) + below;
        folder.resize(cut);
    }
}

// A path in the disk's code page, step by step (a step is a name of 255 units at most).
std::string listedOf(const std::wstring& wide) {
    std::string listed;
    for (size_t start = 0;;) {
        const size_t end = std::min(wide.find(L'\\', start), wide.size());
        appendNarrow(listed, wide.data() + start, end - start);
        if (end == wide.size())
            return listed;
        listed += '\\';
        start = end + 1;
    }
}

} // namespace

std::vector<std::string> mountPoints(std::string_view table) {
    std::vector<std::string> points;
    while (!table.empty()) {
        const std::string_view line = table.substr(0, table.find('\n'));
        table.remove_prefix(std::min(line.size() + 1, table.size()));
        // "36 35 98:0 /root /mount/point options ... - type source options": the fifth field, with
        // blanks, tabs, newlines and backslashes written as three octal digits.
        size_t start = 0;
        for (int skipped = 0; skipped < 4 && start != std::string_view::npos; ++skipped) {
            start = line.find(' ', start);
            if (start != std::string_view::npos)
                ++start;
        }
        if (start == std::string_view::npos)
            continue;
        const std::string_view field = line.substr(start, line.find(' ', start) - start);
        std::string point;
        for (size_t i = 0; i < field.size(); ++i) {
            if (field[i] == '\\' && i + 3 < field.size()) {
                point += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                           (field[i + 3] - '0'));
                i += 3;
            } else {
                point += field[i];
            }
        }
        if (point.size() > 1 && point[0] == '/')
            points.push_back(std::move(point));
    }
    return points;
}

DriveMounts mountsInDrive(const std::string& path) {
    DriveMounts mounts;
    const NativeCalls* nt = nativeCalls();
    const UnixNameOf unixName = wineExport<UnixNameOf>("wine_get_unix_file_name");
    const DosNameOf dosName = wineExport<DosNameOf>("wine_get_dos_file_name");
    if (!nt || !nt->handlesFollowLinks || !unixName || !dosName || path.size() < 3 || path[1] != ':')
        return mounts;
    const wchar_t letter = static_cast<wchar_t>(toupper(static_cast<unsigned char>(path[0])));
    // A drive whose root is another drive's folder (or root) is named after that one: its own
    // root's name tells which.
    const wchar_t root[] = {letter, L':', L'\\', 0};
    char* rootUnix = unixName(root);
    wchar_t* rootFound = rootUnix ? dosName(rootUnix) : nullptr;
    std::wstring alias = rootFound ? rootFound : L"";
    freeWine(rootUnix);
    freeWine(rootFound);
    if (!alias.empty() && alias.back() == L'\\')
        alias.pop_back();
    std::vector<std::wstring> found;
    for (const std::string& point : mountPoints(readTable()))
        drivePathsOf(dosName, point, found);
    for (std::wstring& wide : found) {
        if (alias.size() >= 2 && alias[1] == L':' && wide.size() > alias.size() &&
            wide.compare(0, alias.size(), alias) == 0 && wide[alias.size()] == L'\\')
            wide = std::wstring{letter, L':'} + wide.substr(alias.size());
        if (wide[0] != letter)
            continue;
        std::string listed = listedOf(wide);
        mounts.names.push_back(listed.substr(listed.rfind('\\') + 1));
        mounts.paths.push_back(std::move(listed));
    }
    for (std::vector<std::string>* sorted : {&mounts.paths, &mounts.names}) {
        std::sort(sorted->begin(), sorted->end());
        sorted->erase(std::unique(sorted->begin(), sorted->end()), sorted->end());
    }
    return mounts;
}

bool isMountPoint(const DriveMounts& mounts, std::string_view folder, std::string_view name) {
    if (mounts.names.empty() || !std::binary_search(mounts.names.begin(), mounts.names.end(), name))
        return false;
    std::string path(folder);
    path += name;
    return std::binary_search(mounts.paths.begin(), mounts.paths.end(), path);
}
