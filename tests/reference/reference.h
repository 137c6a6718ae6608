// The reference file that tests/reference/gentree writes on the Linux side: what a scan of the
// generated drive must hold, directory by directory.
#pragma once

#include <gtest/gtest.h>

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
};

struct Reference {
    std::map<std::string, Expected> directories; // by path below the drive root, as shown
    std::vector<std::string> hidden;             // files that Windows sees as hidden
};

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
        if (fields.size() == 5 && fields[0] == "D")
            reference.directories[fields[4]] = {fields[1] == "1", std::stoull(fields[2]),
                                                std::stoull(fields[3])};
        else if (fields.size() == 2 && fields[0] == "H")
            reference.hidden.push_back(fields[1]);
        else
            ADD_FAILURE() << "unreadable reference line: " << line;
    }
    return reference;
}
