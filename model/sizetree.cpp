#include "model/sizetree.h"

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

} // namespace

void destroyElement(DirNode* node) {
    destroyNode(node);
}
void destroyElement(FileEntry* entry) {
    delete entry;
}

// Iterative, so that a chain thousands of levels deep cannot exhaust the stack: each node hands
// its children to the work list before it is deleted.
void destroyNode(DirNode* node) {
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

void subtractFromAncestors(DirNode* node, uint64_t clusters) {
    for (; node; node = node->parent)
        node->totalClusters -= clusters;
}

void removeFile(DirNode* dir, FileEntry* entry) {
    dir->survey->freeClusters += entry->clusters;
    dir->ownClusters -= entry->clusters;
    subtractFromAncestors(dir, entry->clusters);
    if (!dir->files)
        return;
    ptrdiff_t index = indexOf(*dir->files, entry);
    if (index >= 0)
        removeAt(*dir->files, static_cast<size_t>(index));
}

void removeSubdirectory(DirNode* dir, DirNode* child) {
    dir->survey->freeClusters += child->totalClusters;
    subtractFromAncestors(dir, child->totalClusters);
    ptrdiff_t index = indexOf(dir->children, child);
    if (index >= 0)
        removeAt(dir->children, static_cast<size_t>(index));
}
