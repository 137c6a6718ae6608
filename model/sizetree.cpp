#include "model/sizetree.h"

#include "model/links.h"
#include "model/survey.h"

namespace {

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether text holds part at offset, ignoring the case of ASCII letters.
bool matchesAt(const std::string& text, size_t offset, const std::string& part) {
    if (text.size() - offset < part.size())
        return false;
    for (size_t i = 0; i < part.size(); ++i)
        if (asciiLower(text[offset + i]) != asciiLower(part[i]))
            return false;
    return true;
}

// Puts the ASCII letters of text from offset from on into lower or upper case.
void setAsciiCase(std::string& text, size_t from, bool upper) {
    for (size_t i = from; i < text.size(); ++i) {
        char& c = text[i];
        if (upper && c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (!upper)
            c = asciiLower(c);
    }
}

ListedCase caseOf(const std::string& shown, const std::string& listed) {
    if (listed == shown)
        return ListedCase::AsShown;
    std::string probe = shown;
    setAsciiCase(probe, 0, false);
    if (listed == probe)
        return ListedCase::Lower;
    setAsciiCase(probe, 0, true);
    if (listed == probe)
        return ListedCase::Upper;
    return ListedCase::Apart;
}

void appendListedName(std::string& out, const std::string& shown, ListedCase listedCase,
                      const DriveSurvey* survey, const void* record) {
    if (listedCase == ListedCase::Apart) {
        out += survey->listedNames.at(record);
        return;
    }
    const size_t from = out.size();
    out += shown;
    if (listedCase != ListedCase::AsShown)
        setAsciiCase(out, from, listedCase == ListedCase::Upper);
}

// A deleted subtree takes the listed names it kept with it.
void forgetListedNames(DirNode* subtree) {
    DriveSurvey* survey = subtree->survey;
    if (survey->listedNames.empty())
        return;
    std::vector<const DirNode*> pending{subtree};
    while (!pending.empty()) {
        const DirNode* node = pending.back();
        pending.pop_back();
        survey->listedNames.erase(node);
        if (node->files)
            for (const FileEntry* entry : node->files->items)
                survey->listedNames.erase(entry);
        pending.insert(pending.end(), node->children.items.begin(), node->children.items.end());
    }
}

} // namespace

void setListedName(DirNode* node, const std::string& listed) {
    node->listedCase = caseOf(node->name, listed);
    if (node->listedCase == ListedCase::Apart)
        node->survey->listedNames[node] = listed;
}

void setListedName(const DirNode* dir, FileEntry* entry, const std::string& listed) {
    entry->listedCase = caseOf(entry->name, listed);
    if (entry->listedCase == ListedCase::Apart)
        dir->survey->listedNames[entry] = listed;
}

std::string listedNameOf(const DirNode* node) {
    std::string name;
    appendListedName(name, node->name, node->listedCase, node->survey, node);
    return name;
}

std::string listedNameOf(const DirNode* dir, const FileEntry* entry) {
    std::string name;
    appendListedName(name, entry->name, entry->listedCase, dir->survey, entry);
    return name;
}

uint64_t treeVersion = 0;

void destroyElement(DirNode* node) {
    destroyNode(node);
}
void destroyElement(FileEntry* entry) {
    delete entry;
}

// Iterative, so that a chain thousands of levels deep cannot exhaust the stack: each node hands
// its children to the work list before it is deleted.
void destroyNode(DirNode* node) {
    ++treeVersion;
    std::vector<DirNode*> pending{node};
    while (!pending.empty()) {
        DirNode* current = pending.back();
        pending.pop_back();
        pending.insert(pending.end(), current->children.items.begin(), current->children.items.end());
        current->children.items.clear();
        delete current;
    }
}

std::string pathOf(const DirNode* node) {
    std::vector<const DirNode*> chain;
    size_t length = 0;
    const DirNode* root = node;
    for (; root->parent; root = root->parent) {
        chain.push_back(root);
        length += root->name.size() + 1;
    }
    std::string path = root->survey->rootPath;
    path.reserve(path.size() + length);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        path += (*it)->name;
        path += '\\';
    }
    return path;
}

std::string listedPathOf(const DirNode* node) {
    std::vector<const DirNode*> chain;
    const DirNode* root = node;
    for (; root->parent; root = root->parent)
        chain.push_back(root);
    std::string path = root->survey->rootPath;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        appendListedName(path, (*it)->name, (*it)->listedCase, (*it)->survey, *it);
        path += '\\';
    }
    return path;
}

DirNode* rootOf(DirNode* node) {
    while (node->parent)
        node = node->parent;
    return node;
}

// Walks down from node, matching one child's name at a time against the rest of the path, so
// that no path is built more than once.
DirNode* findByPath(DirNode* node, const std::string& path) {
    std::string start = pathOf(node);
    if (!matchesAt(path, 0, start))
        return nullptr;
    size_t offset = start.size();
    while (offset != path.size()) {
        DirNode* next = nullptr;
        for (DirNode* child : node->children.items) {
            if (matchesAt(path, offset, child->name) && path.size() > offset + child->name.size() &&
                path[offset + child->name.size()] == '\\') {
                next = child;
                break;
            }
        }
        if (!next)
            return nullptr;
        offset += next->name.size() + 1;
        node = next;
    }
    return node;
}

// Never below zero: a total is a count the model made, and what it did not count it cannot give
// back.
void subtractFromAncestors(DirNode* node, uint64_t clusters) {
    for (; node; node = node->parent)
        node->totalClusters -= std::min(node->totalClusters, clusters);
}

namespace {

// The drive gains what the model counted for the deleted item, at most up to its capacity.
void addFreeSpace(DriveSurvey* survey, uint64_t clusters) {
    if (survey->freeClusters < survey->totalClusters)
        survey->freeClusters += std::min(clusters, survey->totalClusters - survey->freeClusters);
}

} // namespace

// A file listed after the scan may have grown beyond what the directory's own count holds: only
// what the model counted leaves the totals, so they never wrap below zero.
void removeFile(DirNode* dir, FileEntry* entry) {
    ++treeVersion;
    // One name of a file that has others frees nothing: the file counts on under them.
    if (entry->fileId && countingFolder(dir->survey, entry->fileId)) {
        const uint64_t id = entry->fileId;
        if (entry->listedCase == ListedCase::Apart)
            dir->survey->listedNames.erase(entry);
        if (dir->files) {
            ptrdiff_t index = indexOf(*dir->files, entry);
            if (index >= 0)
                removeAt(*dir->files, static_cast<size_t>(index));
        }
        unlinkName(dir, id);
        return;
    }
    const uint64_t counted = std::min(entry->clusters, dir->ownClusters);
    addFreeSpace(dir->survey, counted);
    dir->ownClusters -= counted;
    subtractFromAncestors(dir, counted);
    if (!dir->files)
        return;
    ptrdiff_t index = indexOf(*dir->files, entry);
    if (index < 0)
        return;
    if (entry->listedCase == ListedCase::Apart)
        dir->survey->listedNames.erase(entry);
    removeAt(*dir->files, static_cast<size_t>(index));
}

void replaceSubdirectory(DirNode* dir, DirNode* old, DirNode* fresh) {
    ++treeVersion;
    const uint64_t before = old->totalClusters, after = fresh->totalClusters;
    if (before >= after) {
        addFreeSpace(dir->survey, before - after);
        subtractFromAncestors(dir, before - after);
    } else {
        for (DirNode* node = dir; node; node = node->parent)
            node->totalClusters += after - before;
        dir->survey->freeClusters -= std::min(dir->survey->freeClusters, after - before);
    }
    ptrdiff_t index = indexOf(dir->children, old);
    if (index < 0) {
        appendUnsorted(dir->children, fresh);
        return;
    }
    forgetListedNames(old);
    dir->children.items[static_cast<size_t>(index)] = fresh;
    destroyNode(old);
}

void removeSubdirectory(DirNode* dir, DirNode* child) {
    ++treeVersion;
    // What it shares with folders outside it stays on disk and counts there.
    unlinkSubtree(child);
    addFreeSpace(dir->survey, child->totalClusters);
    subtractFromAncestors(dir, child->totalClusters);
    ptrdiff_t index = indexOf(dir->children, child);
    if (index < 0)
        return;
    forgetListedNames(child);
    removeAt(dir->children, static_cast<size_t>(index));
}
