#include "model/links.h"

#include "model/sizetree.h"
#include "model/survey.h"

#include <algorithm>
#include <queue>
#include <unordered_set>

namespace {

uint64_t clustersOf(const NameLog& log, const NameLog::Name& name) {
    return name.clusters < NameLog::bigMark ? name.clusters : log.big[name.clusters - NameLog::bigMark];
}

// The file's clusters leave, or join, the folder where it counts: its own files when one of its
// names lies in it, else the files its subfolders share; and every total from there up.
void takeAt(DirNode* folder, uint64_t clusters, bool asOwn) {
    uint64_t& part = asOwn ? folder->ownClusters : folder->sharedClusters;
    part -= std::min(part, clusters);
    subtractFromAncestors(folder, clusters);
}

void giveAt(DirNode* folder, uint64_t clusters, bool asOwn) {
    (asOwn ? folder->ownClusters : folder->sharedClusters) += clusters;
    for (DirNode* node = folder; node; node = node->parent)
        node->totalClusters += clusters;
}

size_t depthOf(const DirNode* node) {
    size_t depth = 0;
    for (; node->parent; node = node->parent)
        ++depth;
    return depth;
}

// The folder a group of names counts in, and whether one of the names lies in it.
DirNode* folderOf(const LinkedName* first, const LinkedName* last, bool& asOwn) {
    DirNode* common = first->folder;
    for (const LinkedName* name = first + 1; name != last; ++name)
        common = lowestCommonFolder(common, name->folder);
    asOwn = false;
    for (const LinkedName* name = first; name != last; ++name)
        asOwn = asOwn || name->folder == common;
    return common;
}

// A file list that shows a file of several names may now show it under another name: it is read
// again when next shown.
void forgetFiles(DirNode* folder) {
    if (!folder->files)
        return;
    for (const FileEntry* entry : folder->files->items)
        if (entry->listedCase == ListedCase::Apart)
            folder->survey->listedNames.erase(entry);
    delete folder->files;
    folder->files = nullptr;
    folder->filesListed = false;
    ++treeVersion;
}

bool byId(const LinkedName& a, const LinkedName& b) {
    return a.id < b.id;
}

} // namespace

NameLog::~NameLog() {
    for (Name* block : blocks)
        delete[] block;
}

void logName(NameLog& log, uint64_t id, DirNode* folder, uint64_t clusters) {
    if (log.folders.empty() || log.folders.back() != folder)
        log.folders.push_back(folder);
    if (log.count == log.blocks.size() * NameLog::blockNames)
        log.blocks.push_back(new NameLog::Name[NameLog::blockNames]);
    NameLog::Name& name = log.blocks.back()[log.count % NameLog::blockNames];
    name.id = id;
    name.folder = static_cast<uint32_t>(log.folders.size() - 1);
    if (clusters < NameLog::bigMark) {
        name.clusters = static_cast<uint32_t>(clusters);
    } else {
        name.clusters = NameLog::bigMark + static_cast<uint32_t>(log.big.size());
        log.big.push_back(clusters);
    }
    ++log.count;
}

double logBytesPerName(const NameLog& log) {
    if (log.count == 0)
        return 0;
    const size_t bytes = log.blocks.size() * NameLog::blockNames * sizeof(NameLog::Name) +
                         log.folders.capacity() * sizeof(DirNode*) + log.big.capacity() * sizeof(uint64_t) +
                         log.blocks.capacity() * sizeof(void*);
    return static_cast<double>(bytes) / static_cast<double>(log.count);
}

DirNode* lowestCommonFolder(DirNode* a, DirNode* b) {
    size_t depthA = depthOf(a), depthB = depthOf(b);
    for (; depthA > depthB; --depthA)
        a = a->parent;
    for (; depthB > depthA; --depthB)
        b = b->parent;
    while (a != b) {
        a = a->parent;
        b = b->parent;
    }
    return a;
}

// Each block is put in order on its own, and the blocks are then merged: equal numbers meet
// without a second copy of the log.
void settleNames(DriveSurvey* survey, NameLog& log, std::vector<DirNode*>& reorder) {
    auto before = [&log](const NameLog::Name& a, const NameLog::Name& b) {
        return a.id != b.id ? a.id < b.id : clustersOf(log, a) < clustersOf(log, b);
    };
    struct Cursor {
        const NameLog::Name* at;
        const NameLog::Name* end;
    };
    auto later = [&before](const Cursor& a, const Cursor& b) { return before(*b.at, *a.at); };
    std::priority_queue<Cursor, std::vector<Cursor>, decltype(later)> heads(later);
    for (size_t i = 0; i < log.blocks.size(); ++i) {
        NameLog::Name* block = log.blocks[i];
        const size_t used = std::min(NameLog::blockNames, log.count - i * NameLog::blockNames);
        std::sort(block, block + used, before);
        if (used > 0)
            heads.push({block, block + used});
    }
    std::vector<LinkedName> kept;
    std::unordered_set<DirNode*> parents;
    const size_t keptBefore = survey->linkedNames.size();
    // The names in kept are those of one file.
    auto settle = [&]() {
        if (kept.size() < 2) {
            kept.clear();
            return;
        }
        const uint64_t clusters = kept.front().clusters;
        for (const LinkedName& name : kept) {
            DirNode* folder = name.folder;
            takeAt(folder, clusters, true);
            // Every total from the name's folder up changed: each level above may be out of order.
            for (DirNode* node = folder; node->parent && parents.insert(node->parent).second; node = node->parent)
                ;
        }
        bool asOwn;
        DirNode* common = folderOf(kept.data(), kept.data() + kept.size(), asOwn);
        giveAt(common, clusters, asOwn);
        forgetFiles(common);
        survey->linkedNames.insert(survey->linkedNames.end(), kept.begin(), kept.end());
        kept.clear();
    };
    while (!heads.empty()) {
        Cursor head = heads.top();
        heads.pop();
        const NameLog::Name& name = *head.at;
        const uint64_t clusters = clustersOf(log, name);
        if (!kept.empty() && (kept.back().id != name.id || kept.back().clusters != clusters))
            settle();
        kept.push_back({name.id, log.folders[name.folder], clusters});
        if (++head.at != head.end)
            heads.push(head);
    }
    settle();
    std::inplace_merge(survey->linkedNames.begin(),
                       survey->linkedNames.begin() + static_cast<ptrdiff_t>(keptBefore), survey->linkedNames.end(),
                       byId);
    reorder.insert(reorder.end(), parents.begin(), parents.end());
    for (NameLog::Name* block : log.blocks)
        delete[] block;
    log.blocks.clear();
    log.count = 0;
    std::vector<DirNode*>().swap(log.folders);
    std::vector<uint64_t>().swap(log.big);
}

void linkedNamesOf(const DriveSurvey* survey, uint64_t id, size_t& first, size_t& last) {
    const std::vector<LinkedName>& names = survey->linkedNames;
    LinkedName probe;
    probe.id = id;
    auto range = std::equal_range(names.begin(), names.end(), probe, byId);
    first = static_cast<size_t>(range.first - names.begin());
    last = static_cast<size_t>(range.second - names.begin());
}

DirNode* countingFolder(const DriveSurvey* survey, uint64_t id) {
    size_t first, last;
    linkedNamesOf(survey, id, first, last);
    if (first == last)
        return nullptr;
    bool asOwn;
    return folderOf(&survey->linkedNames[first], survey->linkedNames.data() + last, asOwn);
}

void unlinkName(DirNode* dir, uint64_t id) {
    DriveSurvey* survey = dir->survey;
    std::vector<LinkedName>& names = survey->linkedNames;
    size_t first, last;
    linkedNamesOf(survey, id, first, last);
    auto gone = std::find_if(names.begin() + static_cast<ptrdiff_t>(first),
                             names.begin() + static_cast<ptrdiff_t>(last),
                             [dir](const LinkedName& name) { return name.folder == dir; });
    if (gone == names.begin() + static_cast<ptrdiff_t>(last))
        return;
    ++treeVersion;
    bool asOwn;
    DirNode* before = folderOf(&names[first], names.data() + last, asOwn);
    const uint64_t clusters = gone->clusters;
    takeAt(before, clusters, asOwn);
    forgetFiles(before);
    names.erase(gone);
    --last;
    if (last - first == 1) {
        giveAt(names[first].folder, clusters, true);
        forgetFiles(names[first].folder);
        names.erase(names.begin() + static_cast<ptrdiff_t>(first));
        return;
    }
    DirNode* after = folderOf(&names[first], names.data() + last, asOwn);
    giveAt(after, clusters, asOwn);
    forgetFiles(after);
}

void unlinkSubtree(DirNode* subtree, NameLog* keep) {
    DriveSurvey* survey = subtree->survey;
    std::vector<LinkedName>& names = survey->linkedNames;
    if (names.empty())
        return;
    std::unordered_set<const DirNode*> inside;
    std::vector<const DirNode*> pending{subtree};
    while (!pending.empty()) {
        const DirNode* node = pending.back();
        pending.pop_back();
        inside.insert(node);
        pending.insert(pending.end(), node->children.items.begin(), node->children.items.end());
    }
    // A name that is no longer kept has its folder cleared, and goes at the end.
    bool changed = false;
    for (size_t first = 0; first < names.size();) {
        size_t last = first + 1;
        while (last < names.size() && names[last].id == names[first].id)
            ++last;
        size_t within = 0;
        for (size_t i = first; i < last; ++i)
            within += inside.count(names[i].folder);
        if (within == 0) {
            first = last;
            continue;
        }
        changed = true;
        if (within < last - first) {
            // Counted above the subtree: it moves to where its names outside it are.
            bool asOwn;
            DirNode* before = folderOf(&names[first], names.data() + last, asOwn);
            const uint64_t clusters = names[first].clusters;
            takeAt(before, clusters, asOwn);
            forgetFiles(before);
            std::vector<LinkedName> outside;
            for (size_t i = first; i < last; ++i)
                if (!inside.count(names[i].folder))
                    outside.push_back(names[i]);
            if (keep || outside.size() == 1) {
                for (const LinkedName& name : outside) {
                    giveAt(name.folder, clusters, true);
                    forgetFiles(name.folder);
                    if (keep)
                        logName(*keep, name.id, name.folder, clusters);
                }
            } else {
                DirNode* after = folderOf(outside.data(), outside.data() + outside.size(), asOwn);
                giveAt(after, clusters, asOwn);
                forgetFiles(after);
            }
        }
        // Names outside the subtree stay kept while the file still has several of them there.
        const bool keepOutside = !keep && within + 1 < last - first;
        for (size_t i = first; i < last; ++i)
            if (!keepOutside || inside.count(names[i].folder))
                names[i].folder = nullptr;
        first = last;
    }
    if (!changed)
        return;
    ++treeVersion;
    names.erase(std::remove_if(names.begin(), names.end(), [](const LinkedName& name) { return !name.folder; }),
                names.end());
}
