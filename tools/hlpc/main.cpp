// hlpc: compiles the help sources (docs/help/*.md, markup in docs/help/README.md) into a WinHelp 3.1 file,
// or into HTML pages, one per topic, in a folder.
//
//   hlpc OUTPUT.hlp SOURCE...
//   hlpc --html FOLDER SOURCE...
//
// A SOURCE that is a folder stands for the .md files in it. README.md describes the markup and is not
// a topic, so it is skipped. The output is written only when every source is right.
#include "hlpfile.h"
#include "htmlpages.h"
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

std::vector<fs::path> sourcesFrom(int first, int argc, char** argv) {
    std::vector<fs::path> files;
    for (int i = first; i < argc; ++i) {
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

// Through a temporary file, so that a failed write leaves no half file behind for make to trust.
void writeFile(const fs::path& out, const char* data, size_t size) {
    fs::path tmp = out;
    tmp += ".tmp";
    {
        std::ofstream o(tmp, std::ios::binary | std::ios::trunc);
        o.write(data, std::streamsize(size));
        if (!o.flush())
            throw hlpc::SourceError(tmp.string() + ": cannot be written");
    }
    fs::rename(tmp, out);
}

// The pages replace every page of an earlier run, so that a removed topic leaves no page behind.
void writePages(const fs::path& folder, const std::vector<hlpc::Page>& pages) {
    fs::create_directories(folder);
    std::vector<fs::path> old;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().extension() == ".html")
            old.push_back(entry.path());
    for (const fs::path& p : old)
        fs::remove(p);
    for (const hlpc::Page& page : pages)
        writeFile(folder / page.name, page.html.data(), page.html.size());
}

} // namespace

int main(int argc, char** argv) {
    const bool html = argc > 1 && std::string(argv[1]) == "--html";
    const int first = html ? 3 : 2;
    if (argc <= first) {
        std::cerr << "usage: hlpc OUTPUT.hlp SOURCE.md|FOLDER...\n"
                     "       hlpc --html FOLDER SOURCE.md|FOLDER...\n";
        return 2;
    }
    try {
        std::vector<hlpc::Topic> topics;
        for (const fs::path& p : sourcesFrom(first, argc, argv))
            topics.push_back(hlpc::parseTopic(p.string(), readFile(p)));
        if (topics.empty())
            throw hlpc::SourceError("no topics given");
        topics = hlpc::orderTopics(std::move(topics));
        const fs::path out = argv[first - 1];
        if (html) {
            const std::vector<hlpc::Page> pages = hlpc::buildHtmlPages(topics);
            writePages(out, pages);
            std::cout << "hlpc: " << out.string() << ": " << pages.size()
                      << (pages.size() == 1 ? " page\n" : " pages\n");
        } else {
            const std::vector<uint8_t> file = hlpc::buildHelpFile(topics);
            writeFile(out, reinterpret_cast<const char*>(file.data()), file.size());
            std::cout << "hlpc: " << out.string() << ": " << topics.size() << " topics, " << file.size()
                      << " bytes\n";
        }
    } catch (const std::exception& e) {
        std::cerr << "hlpc: error: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
