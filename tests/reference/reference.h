// The reference file that tests/reference/gentree writes on the Linux side: what a scan of the
// generated drive must hold, directory by directory.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

struct Expected {
    bool link;
    uint64_t own;
    uint64_t total;
    uint64_t ownEach = 0, totalEach = 0; // counting every name of a file
};

struct Reference {
    std::map<std::string, Expected> directories; // by path below the drive root, as shown
    std::vector<std::string> hidden;             // files that Windows sees as hidden, in UTF-8
};

// Text of the file, which is UTF-8, in UTF-16.
inline std::wstring wideOfUtf8(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<size_t>(MultiByteToWideChar(
        CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), static_cast<int>(wide.size()))));
    return wide;
}

// A path of the file as the program shows it: in the program's code page, UTF-8 where the manifest
// selects it, the system's ANSI code page where it does not.
inline std::string shownPath(const std::string& text) {
    const std::wstring wide = wideOfUtf8(text);
    std::string shown(wide.size() * 4, '\0');
    shown.resize(static_cast<size_t>(WideCharToMultiByte(CP_ACP, 0, wide.data(),
                                                         static_cast<int>(wide.size()), shown.data(),
                                                         static_cast<int>(shown.size()), nullptr, nullptr)));
    return shown;
}

// The runner hands over the reference file's Linux path; Wine shows the Linux root as Z:.
inline std::string windowsPathOf(const std::string& linuxPath) {
    std::string path = "Z:" + linuxPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

inline Reference readReference(const std::string& file) {
    Reference reference;
    std::ifstream in(file);
    EXPECT_TRUE(in) << file;
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream split(line);
        std::string field;
        while (std::getline(split, field, '\t'))
            fields.push_back(field);
        if (!line.empty() && line.back() == '\t')
            fields.push_back(""); // the root's empty path
        if (fields.size() == 7 && fields[0] == "D")
            reference.directories[shownPath(fields[6])] = {fields[1] == "1", std::stoull(fields[2]),
                                                           std::stoull(fields[3]), std::stoull(fields[4]),
                                                           std::stoull(fields[5])};
        else if (fields.size() == 2 && fields[0] == "H")
            reference.hidden.push_back(fields[1]);
        else
            ADD_FAILURE() << "unreadable reference line: " << line;
    }
    return reference;
}
