// Builds random folder trees on the Linux side, one per seed, and works out from the disk, with
// code of its own, what a scan under Wine must find: every directory with the clusters of its own
// files and of its whole subtree, counted in 4096-byte clusters (a file once, in the lowest folder
// of its names: a link to a file lists as its target), and the name the program shows.
//
// usage: gentree trees DRIVE_FOLDER REFERENCE_FILE SEEDS
//        gentree wide DRIVE_FOLDER REFERENCE_FILE FILES FOLDERS   (one very wide folder)
//
// The trees hold what a real drive holds and a scan gets wrong most easily: sizes on and around
// cluster boundaries and beyond 4 GB (sparse, so they cost no disk), empty folders, folders and
// files whose names begin with a dot, files hidden or marked system for Windows, symbolic links
// to folders (also to an ancestor) and to files, names with blanks, names outside ASCII, and
// names that are valid short names in upper or lower case.
//
// Reference file, UTF-8, one line per record, fields separated by tabs:
//   D <link 0|1> <own clusters> <total clusters> <own> <total> <path>
//                                                          the second pair counting every name, as
//                                                          where a listing gives no file numbers;
//                                                          path relative to the drive root, in the
//                                                          letter case the program must show, each
//                                                          directory ending in a backslash; the
//                                                          root's path is empty
//   H <path>                                               a file that Windows sees as hidden
#include <sys/stat.h>
#include <sys/xattr.h>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr uint64_t clusterSize = 4096; // what Wine reports for a drive mapped to a folder

[[noreturn]] void fail(const std::string& what) {
    std::perror(what.c_str());
    std::exit(1);
}

// ---- generation ----

struct Generator {
    std::mt19937_64 rng;
    std::vector<std::string> files;   // every file made so far in this seed, absolute
    std::vector<std::string> folders; // every folder made so far in this seed, absolute
    std::vector<std::string> hidden;  // files given the hidden attribute, absolute
    int folderBudget = 0;             // folders this seed may still make

    explicit Generator(uint64_t seed) : rng(seed * 0x9E3779B97F4A7C15ull + 17) {
        folderBudget = 20 + static_cast<int>(below(60));
    }

    uint64_t below(uint64_t n) { return std::uniform_int_distribution<uint64_t>(0, n - 1)(rng); }
    bool chance(int percent) { return below(100) < static_cast<uint64_t>(percent); }

    uint64_t fileSize() {
        // Sizes on and around cluster edges, and beyond 32 bits.
        static const uint64_t edges[] = {0,    1,    4095,  4096,  4097,  8191,
                                         8192, 8193, 12288, 12289, 65535, 65536};
        static const uint64_t large[] = {0xFFFFFFFFull, 0x100000000ull, 0x100000001ull, 0x100001000ull,
                                         0x140000001ull};
        switch (below(10)) {
        case 0:
        case 1:
        case 2:
            return edges[below(sizeof edges / sizeof edges[0])];
        case 3:
            if (chance(25))
                return large[below(sizeof large / sizeof large[0])];
            return clusterSize * (1 + below(40)) + below(3) - 1; // a multiple, one less or one more
        case 4:
            return below(1u << 24);
        default:
            return below(30000);
        }
    }

    // A name of one of many kinds, carrying the number n, which is new in its folder.
    std::string name(int n) {
        struct Kind {
            const char* before;
            const char* after;
        };
        static const Kind kinds[] = {
            {"DATA", ""}, // short names in upper case
            {"R", ".TXT"},
            {"ABCDEFG", ".Ab"}, // the longest short name while n has one digit
            {"fl", ""},         // short names in lower case
            {"x", ".bin"},
            {"MiX", ""},        // short, in mixed case
            {"Long name ", ""}, // blanks
            {"Program Files ", ""},
            {"UPPER LONG NAME", ""},
            {"\xC3\xA9t\xC3\xA9", ""},        // été: outside ASCII
            {"\xE6\x97\xA5\xE6\x9C\xAC", ""}, // 日本
            {"Gr\303\266\303\237e", ""},      // Größe
            {"c++", ""},                      // characters that no short name may hold
            {"a,b=", ""},
            {"[tag]", ""},
            {"v", ".2.3"},           // more than one dot
            {"doc", ".html"},        // an extension of four letters
            {"lowercase-name-", ""}, // long, in lower case
            {"n_", ""},
        };
        const Kind& kind = kinds[below(sizeof kinds / sizeof kinds[0])];
        return kind.before + std::to_string(n) + kind.after;
    }

    // Names already used in the folder being filled, in lower case: Windows tells names apart
    // without regard to case.
    std::set<std::string> used;

    std::string freshName(int& counter) {
        for (;;) {
            std::string candidate = name(counter++);
            std::string folded = candidate;
            for (char& c : folded)
                if (c >= 'A' && c <= 'Z')
                    c = static_cast<char>(c - 'A' + 'a');
            if (used.insert(folded).second)
                return candidate;
        }
    }

    // Every file is a hole of its length: the scan reads lengths, never contents.
    void makeFile(const std::string& path, uint64_t size) {
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            fail(path);
        if (size > 0 && ftruncate(fd, static_cast<off_t>(size)) != 0)
            fail(path);
        close(fd);
    }

    // Wine keeps the DOS attributes of a file in this extended attribute.
    void markForWindows(const std::string& path, const char* attributes) {
        if (setxattr(path.c_str(), "user.DOSATTRIB", attributes, std::strlen(attributes), 0) != 0)
            fail("setxattr " + path);
    }

    void fill(const std::string& folder, int depth) {
        used.clear();
        int counter = 0;
        int entries = chance(12) ? 0 : static_cast<int>(below(12) + (depth < 3 ? 4 : 0));
        for (int i = 0; i < entries; ++i) {
            uint64_t kind = below(100);
            if (kind < 45) {
                std::string path = folder + "/" + freshName(counter);
                makeFile(path, fileSize());
                files.push_back(path);
                if (chance(8)) {
                    markForWindows(path, chance(50) ? "0x2" : "0x6"); // hidden, hidden and system
                    hidden.push_back(path);
                }
            } else if (kind < 50) {
                std::string path = folder + "/." + freshName(counter);
                makeFile(path, fileSize());
                files.push_back(path);
            } else if (kind < 78) {
                if (depth >= 6 || folderBudget <= 0)
                    continue;
                --folderBudget;
                std::string path = folder + "/" + freshName(counter);
                if (mkdir(path.c_str(), 0755) != 0)
                    fail(path);
                folders.push_back(path);
                if (chance(5))
                    markForWindows(path, "0x12"); // a hidden folder counts like any other
                std::set<std::string> mine = std::move(used);
                fill(path, depth + 1);
                used = std::move(mine);
            } else if (kind < 83) {
                if (depth >= 6)
                    continue;
                std::string path = folder + "/." + freshName(counter);
                if (mkdir(path.c_str(), 0755) != 0)
                    fail(path);
                // Counted with its contents like any folder, and a target for links.
                std::string inner = path + "/inside.dat";
                makeFile(inner, 1 + below(100000));
                files.push_back(inner);
                folders.push_back(path);
            } else if (kind < 91) {
                if (folders.empty())
                    continue;
                std::string target = folders[below(folders.size())];
                std::string path = folder + "/" + (chance(15) ? "." : "") + freshName(counter);
                link(target, path);
            } else {
                if (files.empty())
                    continue;
                std::string target = files[below(files.size())];
                std::string path = folder + "/" + (chance(15) ? "." : "") + freshName(counter);
                link(target, path);
                if (chance(20)) {
                    // A link to a link to a file.
                    std::string second = folder + "/" + freshName(counter);
                    link(path, second);
                }
            }
        }
    }

    // Half the links are absolute, half relative to the link's folder.
    void link(const std::string& target, const std::string& path) {
        std::string text = target;
        if (chance(50))
            text = fs::path(target).lexically_relative(fs::path(path).parent_path()).string();
        if (symlink(text.c_str(), path.c_str()) != 0)
            fail(path);
    }
};

// ---- the reference, worked out from what is on disk ----

uint64_t clustersOf(uint64_t bytes) {
    return (bytes + clusterSize - 1) / clusterSize;
}

// Wine gives a listed name no separate short form exactly when it is a legal 8.3 name: at most
// 12 characters, only ASCII, none of the characters a short name may not hold, at most one dot
// with 1 to 8 characters before it and 1 to 3 after it, and no leading dot. The program shows
// such a name in lower case with its first letter in upper case, and every other name as it is.
bool isShortName(const std::string& name) {
    if (name.size() > 12 || name.empty() || name[0] == '.')
        return false;
    static const char invalid[] = "*?<>|\"+=,;[] :/\\";
    size_t dot = std::string::npos;
    for (size_t i = 0; i < name.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c > 0x7F || std::strchr(invalid, c))
            return false;
        if (c == '.') {
            if (dot != std::string::npos)
                return false;
            dot = i;
        }
    }
    if (dot == std::string::npos)
        return name.size() <= 8;
    return dot <= 8 && name.size() - dot > 1 && name.size() - dot < 5;
}

std::string shownName(const std::string& name) {
    if (!isShortName(name))
        return name;
    std::string shown = name;
    for (char& c : shown)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    if (shown[0] >= 'a' && shown[0] <= 'z')
        shown[0] = static_cast<char>(shown[0] - 'a' + 'A');
    return shown;
}

struct Record {
    std::string path;
    bool link;
    uint64_t own;
    uint64_t total;
    size_t parent; // index of the folder's record; SIZE_MAX for the root
    uint64_t ownEach = 0, totalEach = 0; // counting every name
};

// A name of a file: Wine lists a link to a file with its target's inode number, as every name of
// one file, and the program counts each file once, in the lowest folder holding all its names.
struct FileName {
    ino_t inode;
    uint64_t clusters;
    size_t folder;
};

// Enters a folder by its name in the current one; fails naming it.
void enter(const std::string& name) {
    if (chdir(name.c_str()) != 0)
        fail("chdir " + name);
}

void leave() {
    if (chdir("..") != 0)
        fail("chdir ..");
}

// The names in the current folder, sorted, without "." and "..".
std::vector<std::string> namesHere() {
    DIR* dir = opendir(".");
    if (!dir)
        fail("opendir");
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.push_back(entry->d_name);
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// Walks the current folder as the program's rules count it, logging each file's names. The
// walk goes down by relative steps, as a chain of folders may be deeper than a whole path may be
// long; it never enters a link, so ".." always leads back.
void walk(const std::string& shownPath, size_t parent, std::vector<Record>& out, std::vector<FileName>& names) {
    const size_t index = out.size();
    out.push_back({shownPath, false, 0, 0, parent});
    for (const std::string& name : namesHere()) {
        struct stat self, target;
        if (lstat(name.c_str(), &self) != 0)
            fail(shownPath + name);
        if (S_ISLNK(self.st_mode)) {
            if (stat(name.c_str(), &target) != 0)
                fail("dangling " + shownPath + name);
            if (S_ISDIR(target.st_mode)) {
                // A link to a folder is a directory of its own name, never entered.
                out.push_back({shownPath + shownName(name) + "\\", true, 0, 0, index});
            } else {
                names.push_back({target.st_ino, clustersOf(static_cast<uint64_t>(target.st_size)), index});
            }
        } else if (S_ISDIR(self.st_mode)) {
            enter(name);
            walk(shownPath + shownName(name) + "\\", index, out, names);
            leave();
        } else {
            names.push_back({self.st_ino, clustersOf(static_cast<uint64_t>(self.st_size)), index});
        }
    }
}

size_t depthOf(const std::vector<Record>& records, size_t index) {
    size_t depth = 0;
    for (; records[index].parent != SIZE_MAX; index = records[index].parent)
        ++depth;
    return depth;
}

size_t commonFolder(const std::vector<Record>& records, size_t a, size_t b) {
    size_t depthA = depthOf(records, a), depthB = depthOf(records, b);
    for (; depthA > depthB; --depthA)
        a = records[a].parent;
    for (; depthB > depthA; --depthB)
        b = records[b].parent;
    while (a != b) {
        a = records[a].parent;
        b = records[b].parent;
    }
    return a;
}

// Each folder's own clusters and total: a file counts once, among the own files of the lowest
// folder of its names when one of them lies there, else only in that folder's total.
void reckon(std::vector<Record>& out) {
    std::vector<FileName> names;
    walk("", SIZE_MAX, out, names);
    for (const FileName& name : names)
        out[name.folder].ownEach += name.clusters;
    std::sort(names.begin(), names.end(),
              [](const FileName& a, const FileName& b) { return a.inode < b.inode; });
    for (size_t first = 0; first < names.size();) {
        size_t last = first + 1;
        while (last < names.size() && names[last].inode == names[first].inode)
            ++last;
        size_t common = names[first].folder;
        for (size_t i = first + 1; i < last; ++i)
            common = commonFolder(out, common, names[i].folder);
        bool named = false;
        for (size_t i = first; i < last; ++i)
            named = named || names[i].folder == common;
        if (named)
            out[common].own += names[first].clusters;
        out[common].total += names[first].clusters;
        first = last;
    }
    // Records are in walk order, each after its folder: totals add up from the last.
    for (Record& record : out)
        record.totalEach += record.ownEach;
    for (size_t i = out.size(); i-- > 1;) {
        out[out[i].parent].total += out[i].total;
        out[out[i].parent].totalEach += out[i].totalEach;
    }
}

// Removes the entry of this name in the current folder and all below it, by relative steps.
void removeHere(const std::string& name) {
    struct stat self;
    if (lstat(name.c_str(), &self) != 0)
        return;
    if (S_ISDIR(self.st_mode)) {
        enter(name);
        for (const std::string& inner : namesHere())
            removeHere(inner);
        leave();
        if (rmdir(name.c_str()) != 0)
            fail("rmdir " + name);
    } else if (unlink(name.c_str()) != 0) {
        fail("unlink " + name);
    }
}

// Empties the drive's folder, making it when it is not there.
void clearDrive(const std::string& drive) {
    std::error_code error;
    fs::create_directories(drive, error);
    if (error)
        fail("mkdir " + drive);
    enter(drive);
    for (const std::string& name : namesHere())
        removeHere(name);
}

// One folder "Big" of many files (sizes on and around cluster edges and random ones) and many
// empty subfolders. Made once: a drive that holds the same counts already is kept.
void makeWide(const std::string& drive, int files, int folders) {
    const std::string big = drive + "/Big";
    const std::string made = drive + ".made";
    const std::string stamp = std::to_string(files) + " " + std::to_string(folders) + "\n";
    if (FILE* in = std::fopen(made.c_str(), "r")) {
        char text[64] = "";
        bool same = std::fgets(text, sizeof text, in) && stamp == text;
        std::fclose(in);
        if (same)
            return;
    }
    std::remove(made.c_str());
    clearDrive(drive);
    fs::create_directories(big);
    Generator generator(424242);
    char name[32];
    for (int i = 0; i < files; ++i) {
        std::snprintf(name, sizeof name, "/f%06d.dat", i);
        generator.makeFile(big + name, generator.fileSize());
    }
    for (int i = 0; i < folders; ++i) {
        std::snprintf(name, sizeof name, "/sub%05d", i);
        if (mkdir((big + name).c_str(), 0755) != 0)
            fail(big + name);
    }
    FILE* out = std::fopen(made.c_str(), "w");
    if (!out || std::fputs(stamp.c_str(), out) < 0 || std::fclose(out) != 0)
        fail(made);
}

void makeTrees(const std::string& drive, int seeds, std::vector<std::string>& hidden) {
    clearDrive(drive);
    for (int seed = 0; seed < seeds; ++seed) {
        char folder[32];
        std::snprintf(folder, sizeof folder, "seed%03d", seed);
        std::string top = drive + "/" + folder;
        if (mkdir(top.c_str(), 0755) != 0)
            fail(top);
        Generator generator(static_cast<uint64_t>(seed));
        generator.folders.push_back(top);
        generator.fill(top, 0);
        hidden.insert(hidden.end(), generator.hidden.begin(), generator.hidden.end());
    }
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (!((mode == "trees" && argc == 5) || (mode == "wide" && argc == 6))) {
        std::fprintf(stderr, "usage: gentree trees DRIVE_FOLDER REFERENCE_FILE SEEDS\n"
                             "       gentree wide DRIVE_FOLDER REFERENCE_FILE FILES FOLDERS\n");
        return 2;
    }
    std::string drive = fs::absolute(argv[2]).lexically_normal().string();
    if (drive.size() > 1 && drive.back() == '/')
        drive.pop_back();
    const std::string referenceFile = argv[3];

    std::vector<std::string> hidden;
    if (mode == "trees")
        makeTrees(drive, std::atoi(argv[4]), hidden);
    else
        makeWide(drive, std::atoi(argv[4]), std::atoi(argv[5]));

    std::vector<Record> records;
    enter(drive);
    reckon(records);

    FILE* out = std::fopen(referenceFile.c_str(), "w");
    if (!out)
        fail(referenceFile);
    for (const Record& record : records)
        std::fprintf(out, "D\t%d\t%" PRIu64 "\t%" PRIu64 "\t%" PRIu64 "\t%" PRIu64 "\t%s\n", record.link ? 1 : 0,
                     record.own, record.total, record.ownEach, record.totalEach, record.path.c_str());
    for (const std::string& path : hidden) {
        std::string relative = path.substr(drive.size() + 1);
        std::replace(relative.begin(), relative.end(), '/', '\\');
        std::fprintf(out, "H\t%s\n", relative.c_str());
    }
    if (std::fclose(out) != 0)
        fail(referenceFile);
    std::printf("%zu directories, %zu hidden files\n", records.size(), hidden.size());
    return 0;
}
