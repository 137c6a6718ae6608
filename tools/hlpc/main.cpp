// hlpc: compiles the help sources (docs/help/*.md, markup in docs/help/README.md) into a WinHelp 3.1 file.
//
//   hlpc OUTPUT.hlp SOURCE...
//
// A SOURCE that is a folder stands for the .md files in it. README.md describes the markup and is not
// a topic, so it is skipped. The output is written only when every source is right.
#include "hlpfile.h"
#include "markup.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

bool isReadme(const fs::path& p) {
    std::string name = p.filename().string();
    std::transform(name.begin(), name.end(), name.begin(), ::tolower);
    return name == "readme.md";
}

std::vector<fs::path> sourcesFrom(int argc, char** argv) {
    std::vector<fs::path> files;
    for (int i = 2; i < argc; ++i) {
        fs::path p = argv[i];
        if (fs::is_directory(p)) {
            for (const auto& entry : fs::directory_iterator(p))
                if (entry.is_regular_file() && entry.path().extension() == ".md" && !isReadme(entry.path()))
                    files.push_back(entry.path());
        } else if (!isReadme(p)) {
            files.push_back(p);
        }
    }
    // The order of the arguments does not matter: the links decide the order of the topics.
    std::sort(files.begin(), files.end());
    return files;
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    if (!in)
        throw hlpc::SourceError(p.string() + ": cannot be read");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: hlpc OUTPUT.hlp SOURCE.md|FOLDER...\n";
        return 2;
    }
    try {
        std::vector<hlpc::Topic> topics;
        for (const fs::path& p : sourcesFrom(argc, argv))
            topics.push_back(hlpc::parseTopic(p.string(), readFile(p)));
        if (topics.empty())
            throw hlpc::SourceError("no topics given");
        topics = hlpc::orderTopics(std::move(topics));
        std::vector<uint8_t> file = hlpc::buildHelpFile(topics);

        // Through a temporary file, so that a failed write leaves no half file behind for make to trust.
        fs::path out = argv[1], tmp = out;
        tmp += ".tmp";
        {
            std::ofstream o(tmp, std::ios::binary | std::ios::trunc);
            o.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
            if (!o.flush())
                throw hlpc::SourceError(tmp.string() + ": cannot be written");
        }
        fs::rename(tmp, out);
        std::cout << "hlpc: " << out.string() << ": " << topics.size() << " topics, " << file.size()
                  << " bytes\n";
    } catch (const std::exception& e) {
        std::cerr << "hlpc: error: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
