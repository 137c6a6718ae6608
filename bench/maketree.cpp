// Builds the benchmark's synthetic folder tree on the Linux side: a fixed number of folders
// attached at random, files spread over them with sizes around cluster boundaries and a few
// large ones (sparse, so the tree costs little room). The same seed gives the same tree.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: maketree FOLDER DIRECTORIES FILES [SEED]\n");
        return 2;
    }
    std::string top = argv[1];
    long directories = std::atol(argv[2]);
    long files = std::atol(argv[3]);
    std::mt19937_64 random(argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 1996);

    std::vector<std::string> paths{top};
    paths.reserve(directories + 1);
    mkdir(top.c_str(), 0755);
    for (long i = 1; i <= directories; ++i) {
        const std::string& parent = paths[random() % paths.size()];
        char name[32];
        std::snprintf(name, sizeof name, "/Dir%05ld", i);
        paths.push_back(parent + name);
        if (mkdir(paths.back().c_str(), 0755) != 0) {
            std::perror(paths.back().c_str());
            return 1;
        }
    }
    uint64_t bytes = 0;
    for (long i = 0; i < files; ++i) {
        uint64_t kind = random() % 100, size;
        if (kind < 40)
            size = random() % 8192;
        else if (kind < 70)
            size = (1 + random() % 64) * 4096 + (random() % 3) - 1; // one below, at or above a boundary
        else if (kind < 97)
            size = random() % (1 << 20);
        else
            size = random() % (256ull << 20);
        char name[32];
        std::snprintf(name, sizeof name, "/file%06ld.dat", i);
        std::string path = paths[random() % paths.size()] + name;
        int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) != 0) {
            std::perror(path.c_str());
            return 1;
        }
        close(fd);
        bytes += size;
    }
    std::printf("made %ld folders and %ld files, %.1f MB in all, under %s\n", directories, files, bytes / 1e6,
                top.c_str());
    return 0;
}
