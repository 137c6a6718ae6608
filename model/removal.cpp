#include "model/removal.h"

#include "model/listing.h"
#include "model/names.h"
#include "model/removalroute.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <numeric>

const char* const folderLinkReason =
    "This is a link to a folder, or a disk mounted in one. It cannot be removed here without deleting "
    "what it holds.";
const char* const changedReason = "This is not what was there when the deletion was checked. It stopped here.";
const char* const twinReason =
    "Two entries in this folder are listed under this name. Neither can be told from the other, so "
    "neither is removed here.";
const char* const oddNameReason =
    "No folder can hold an entry of this name: reaching it by its name could reach another entry, so "
    "nothing is removed here.";

bool fail(RemovalWalk& walk, DWORD error, const char* reason) {
    walk.fault->path = walk.at.shown;
    walk.fault->error = error;
    walk.fault->reason = reason ? reason : "";
    return false;
}

bool failStatus(RemovalWalk& walk, NtStatus status) {
    return fail(walk, walk.nt->dosError(status));
}

void addEntry(RemovalFolder& folder, const wchar_t* name, size_t units, const wchar_t* alias, size_t aliasUnits,
              DWORD attributes, DWORD reparseTag, LONGLONG fileId) {
    RemovalEntry entry;
    entry.nameStart = static_cast<uint32_t>(folder.names.size());
    entry.nameLength = static_cast<uint32_t>(units);
    folder.names.append(name, units);
    entry.aliasStart = static_cast<uint32_t>(folder.names.size());
    entry.aliasLength = static_cast<uint32_t>(aliasUnits);
    folder.names.append(alias, aliasUnits);
    entry.attributes = attributes;
    entry.reparseTag = reparseTag;
    entry.fileId = fileId;
    folder.entries.push_back(entry);
}

bool DotEntries::skip(const wchar_t* name, size_t units) {
    const bool one = units == 1 && name[0] == L'.', two = units == 2 && name[0] == L'.' && name[1] == L'.';
    bool* seen = one ? &self : two ? &parent : nullptr;
    if (!seen || *seen)
        return false;
    *seen = true;
    return true;
}

size_t reportedLength(const wchar_t* name, size_t units) {
    while (units > 0 && (name[units - 1] == L'.' || name[units - 1] == L' '))
        --units;
    return units;
}

void pushFolder(RemovalPosition& at, size_t parentLength, const wchar_t* name, size_t units) {
    RemovalPosition::Mark mark;
    mark.shown = parentLength;
    mark.nt = at.nt.size();
    mark.reported = at.reported.size();
    at.marks.push_back(std::move(mark));
    at.shown += '\\';
    at.nt.append(name, units).push_back(L'\\');
    at.reported.push_back(L'\\');
    at.reported.append(name, reportedLength(name, units));
}

void popFolder(RemovalPosition& at) {
    RemovalPosition::Mark& mark = at.marks.back();
    at.nt.resize(mark.nt);
    if (mark.replaced.empty())
        at.reported.resize(mark.reported);
    else
        at.reported = std::move(mark.replaced);
    at.shown.resize(mark.shown);
    at.marks.pop_back();
}

void replaceReported(RemovalPosition& at, const std::wstring& reported) {
    if (!at.marks.empty() && at.marks.back().replaced.empty())
        at.marks.back().replaced = at.reported.substr(0, at.marks.back().reported);
    at.reported = reported;
}

bool listByHandle(RemovalWalk& walk, RemovalFolder& folder, bool withIds) {
    const NativeCalls& nt = *walk.nt;
    for (BOOLEAN restart = TRUE;; restart = FALSE) {
        NtIoStatus io = {};
        NtStatus status = nt.query(folder.handle, nullptr, nullptr, nullptr, &io, walk.buffer.data(),
                                   static_cast<ULONG>(walk.buffer.size()),
                                   withIds ? ntFileIdBothDirectoryInformation : ntFileBothDirectoryInformation,
                                   FALSE, nullptr, restart);
        if (status == ntNoMoreFiles)
            return true;
        if (status < 0)
            return failStatus(walk, status);
        for (size_t offset = 0; offset != SIZE_MAX;) {
            DirEntryView view;
            if (!readDirEntry(walk.buffer.data(), io.information, offset, view, withIds))
                return fail(walk, ERROR_INVALID_DATA);
            if (!folder.dots.skip(view.name, view.units))
                addEntry(folder, view.name, view.units, view.shortName, view.shortUnits, view.attributes,
                         view.reparseTag, view.fileId);
            offset = view.next;
        }
    }
}

bool scanUsedShortNames(const RemovalWalk& walk) {
    return !walk.route->reachesByShortName && !wideRoute();
}

namespace {

// The long name of the entry of folder that step names: the scan listed it by its short name
// where it has one; a caller may name it by its long one.
bool longNameOf(RemovalWalk& walk, HANDLE folder, const wchar_t* step, size_t units, std::wstring& longName) {
    RemovalFolder all;
    all.handle = folder;
    if (!listByHandle(walk, all, false))
        return false;
    bool found = false;
    for (const RemovalEntry& entry : all.entries) {
        const bool byAlias = entry.aliasLength == units && all.names.compare(entry.aliasStart, units, step, units) == 0;
        const bool byName = entry.nameLength == units && all.names.compare(entry.nameStart, units, step, units) == 0;
        if (!byAlias && !byName)
            continue;
        if (found)
            return fail(walk, ERROR_DUP_NAME, twinReason);
        found = true;
        longName.assign(nameOf(all, entry), entry.nameLength);
    }
    return found || fail(walk, ERROR_PATH_NOT_FOUND);
}

} // namespace

bool openBySteps(RemovalWalk& walk, const std::string& path, ACCESS_MASK lastAccess, ULONG asItself,
                 const StepCheck& check, HANDLE& handle) {
    const NativeCalls& nt = *walk.nt;
    std::wstring wide = diskPath(path);
    walk.at.shown = path.substr(0, 3);
    if (wide.size() < 7)
        return fail(walk, ERROR_INVALID_NAME);
    wide[1] = L'?'; // "\??\C:\..."
    walk.at.nt = wide;
    NtStatus status = openAt(nt, nullptr, wide.data(), 7, FILE_LIST_DIRECTORY | (wide.size() == 7 ? lastAccess : 0),
                             ntDirectoryFile, handle);
    if (status < 0)
        return failStatus(walk, status);
    if (check.atRoot && !check.atRoot(walk, handle)) {
        nt.close(handle);
        return fail(walk, ERROR_INVALID_NAME);
    }
    for (size_t start = 7; start < wide.size();) {
        size_t end = wide.find(L'\\', start);
        if (end == std::wstring::npos)
            end = wide.size();
        const wchar_t* step = wide.data() + start;
        size_t units = end - start;
        appendNarrow(walk.at.shown, step, units);
        walk.at.shown += '\\';
        if (!listableName(step, units)) {
            nt.close(handle);
            return fail(walk, ERROR_INVALID_NAME, oddNameReason);
        }
        // Windows 95 and 98 listed the folder by its short name; it is opened and checked by its
        // long one, which is the name the system gives its handle.
        std::wstring longName;
        if (scanUsedShortNames(walk)) {
            if (!longNameOf(walk, handle, step, units, longName)) {
                nt.close(handle);
                return false;
            }
            step = longName.data();
            units = longName.size();
        }
        HANDLE next;
        status = openAt(nt, handle, step, units,
                        FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | (end + 1 >= wide.size() ? lastAccess : 0),
                        ntDirectoryFile | asItself, next);
        const bool itself = status >= 0 && check.itself(walk, handle, next, step, units);
        nt.close(handle);
        handle = next;
        if (!itself) {
            if (status < 0)
                return failStatus(walk, status);
            nt.close(handle);
            return fail(walk, ERROR_PATH_NOT_FOUND);
        }
        start = end + 1;
    }
    return true;
}

namespace {

uint32_t hashOf(const wchar_t* name, size_t units) {
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < units; ++i)
        hash = (hash ^ static_cast<uint16_t>(name[i])) * 16777619u;
    return hash;
}

bool sameName(const RemovalFolder& folder, const RemovalEntry& a, const RemovalEntry& b) {
    return a.nameLength == b.nameLength &&
           std::wmemcmp(nameOf(folder, a), nameOf(folder, b), a.nameLength) == 0;
}

// Names that are not UTF-8 list alike under Wine, each bad byte as U+FFFD: a name then reaches
// whichever of its twins the system meets first. Sorting finds them in n log n.
void markTwins(RemovalFolder& folder) {
    std::vector<uint32_t> order(folder.entries.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&folder](uint32_t a, uint32_t b) {
        const RemovalEntry &x = folder.entries[a], &y = folder.entries[b];
        return std::lexicographical_compare(nameOf(folder, x), nameOf(folder, x) + x.nameLength,
                                            nameOf(folder, y), nameOf(folder, y) + y.nameLength);
    });
    for (size_t i = 1; i < order.size(); ++i) {
        RemovalEntry &a = folder.entries[order[i - 1]], &b = folder.entries[order[i]];
        if (sameName(folder, a, b))
            a.twin = b.twin = true;
    }
}

void closeHandle(const RemovalWalk& walk, HANDLE handle) {
    if (handle)
        walk.nt->close(handle);
}

bool enter(RemovalWalk& walk, const Look& look, const wchar_t* name, size_t units) {
    pushFolder(walk.at, walk.folders.back().pathLength, name, units);
    walk.folders.emplace_back();
    RemovalFolder& folder = walk.folders.back();
    folder.handle = look.handle;
    folder.number = look.number;
    folder.pathLength = walk.at.shown.size();
    folder.record = static_cast<uint32_t>(walk.records.size() - (walk.deleting ? 0 : 1));
    if (!walk.route->list(walk, folder))
        return false;
    markTwins(folder);
    return true;
}

// Leaves the current folder; in the delete pass removes it, now that it is empty.
bool leave(RemovalWalk& walk) {
    RemovalFolder& folder = walk.folders.back();
    bool ok = true;
    if (walk.deleting)
        ok = walk.route->removeFolder(walk, folder);
    else
        walk.records[folder.record].end = static_cast<uint32_t>(walk.records.size());
    closeHandle(walk, folder.handle);
    walk.folders.pop_back();
    popFolder(walk.at);
    return ok;
}

// One entry, as the disk has it now. In the delete pass it must be what the check pass saw.
bool visit(RemovalWalk& walk, RemovalFolder& folder, const RemovalEntry& entry, bool directory) {
    const wchar_t* name = nameOf(folder, entry);
    if (!listableName(name, entry.nameLength))
        return fail(walk, ERROR_INVALID_NAME, oddNameReason);
    if (entry.twin)
        return fail(walk, ERROR_DUP_NAME, twinReason);
    Look look = walk.route->look(walk, folder, entry);
    const bool found = look.decision != Decision::Gone && look.decision != Decision::Refuse;
    if (folder.chosenParent && found && look.folder != directory) {
        // The chart showed the other kind: what stands there now was not chosen.
        closeHandle(walk, look.handle);
        return fail(walk, directory ? ERROR_DIRECTORY : ERROR_ACCESS_DENIED);
    }
    if (look.decision == Decision::Refuse)
        return fail(walk, look.error, look.reason);
    const uint32_t hash = hashOf(name, entry.nameLength);
    if (walk.deleting) {
        const RemovalRecord* record = walk.replayed < walk.records.size() ? &walk.records[walk.replayed++] : nullptr;
        if (record && record->nameHash == hash && look.decision == Decision::Gone) {
            if (record->decision == Decision::Enter)
                walk.replayed = record->end;
        } else if (!record || record->nameHash != hash || record->decision != look.decision ||
                   record->number != look.number) {
            closeHandle(walk, look.handle);
            return fail(walk, ERROR_PATH_NOT_FOUND, changedReason);
        }
    }
    switch (look.decision) {
    case Decision::Gone:
        return !folder.chosenParent || fail(walk, ERROR_FILE_NOT_FOUND);
    case Decision::Enter:
        if (!walk.deleting)
            walk.records.push_back({hash, 0, look.decision, look.number});
        return enter(walk, look, name, entry.nameLength);
    default:
        if (!walk.deleting) {
            walk.records.push_back({hash, 0, look.decision, look.number});
            closeHandle(walk, look.handle);
            return true;
        }
        return walk.route->removeEntry(walk, folder, entry, look);
    }
}

// Depth first with a stack of folders, so that the deepest tree is walked on a small stack: each
// folder is emptied and removed before the next entry of its parent is taken, and the first
// failure ends the whole walk.
bool run(RemovalWalk& walk, bool directory) {
    for (;;) {
        if (walk.idle)
            walk.idle(walk.context);
        RemovalFolder& folder = walk.folders.back();
        if (folder.next == folder.entries.size()) {
            if (folder.chosenParent)
                return true;
            if (!leave(walk))
                return false;
            continue;
        }
        const RemovalEntry entry = folder.entries[folder.next++];
        const size_t depth = walk.folders.size();
        appendNarrow(walk.at.shown, nameOf(folder, entry), entry.nameLength);
        if (!visit(walk, folder, entry, directory))
            return false;
        if (walk.folders.size() == depth) // a file or link, done
            walk.at.shown.resize(walk.folders.back().pathLength);
    }
}

bool walkAll(RemovalWalk& walk, bool deleting, bool directory) {
    walk.deleting = deleting;
    walk.replayed = 0;
    walk.folders.front().next = 0;
    const bool ok = run(walk, directory);
    while (walk.folders.size() > 1) {
        closeHandle(walk, walk.folders.back().handle);
        walk.folders.pop_back();
    }
    return ok;
}

// The narrow form of a name, as the scan listed it.
std::string narrowOf(const wchar_t* name, size_t units) {
    std::string text;
    appendNarrow(text, name, units);
    return text;
}

// The chosen entry as its folder lists it now, by the name the scan listed: an entry of that exact
// name, the only one; where that is a short name, the long name must still be the one shown.
bool lookUp(RemovalWalk& walk, RemovalFolder& top, const std::string& name, const std::string& shown) {
    RemovalFolder all;
    all.handle = top.handle;
    if (!walk.route->list(walk, all))
        return false;
    // On the handle routes the scan of Windows 95 and 98 (Wine reporting one) listed entries by
    // their short names where they have one.
    const bool byShortNames = scanUsedShortNames(walk);
    const RemovalEntry* found = nullptr;
    bool twins = false;
    for (const RemovalEntry& entry : all.entries) {
        const bool byAlias = byShortNames && entry.aliasLength > 0;
        const wchar_t* key = byAlias ? all.names.data() + entry.aliasStart : nameOf(all, entry);
        if (narrowOf(key, byAlias ? entry.aliasLength : entry.nameLength) != name)
            continue;
        twins = twins || found;
        found = &entry;
    }
    walk.at.shown += name;
    if (!found)
        return fail(walk, ERROR_FILE_NOT_FOUND);
    // The entry is then reached by its name, which must be its own too.
    for (const RemovalEntry& entry : all.entries)
        twins = twins || (&entry != found && sameName(all, entry, *found));
    if (twins)
        return fail(walk, ERROR_DUP_NAME, twinReason);
    const bool reachedByShortName = walk.route->reachesByShortName ? found->aliasLength > 0
                                                                   : byShortNames && found->aliasLength > 0;
    if (reachedByShortName && !shown.empty()) {
        const std::string longName = walk.route->reachesByShortName
                                         ? narrowOf(all.names.data() + found->aliasStart, found->aliasLength)
                                         : narrowOf(nameOf(all, *found), found->nameLength);
        if (longName != shown)
            return fail(walk, ERROR_FILE_NOT_FOUND);
    }
    walk.at.shown.resize(top.pathLength);
    addEntry(top, nameOf(all, *found), found->nameLength, all.names.data() + found->aliasStart,
             found->aliasLength, found->attributes, found->reparseTag, found->fileId);
    return true;
}

} // namespace

const RemovalRoute& removalRoute() {
    // Wherever the system's own calls are there, whatever version the system reports, handles
    // serve; only a real Windows 95 or 98, which has no links, works by path.
    if (const NativeCalls* nt = nativeCalls())
        return nt->handlesFollowLinks ? wineRoute : ntRoute;
    return pathRoute;
}

RemovalOutcome removeEntryBy(const RemovalRoute& route, const std::string& parent, const std::string& name,
                             bool directory, RemovalFault& fault, RemovalIdle idle, void* context,
                             const std::string& shown) {
    RemovalWalk walk;
    walk.route = &route;
    walk.nt = nativeCalls();
    walk.fault = &fault;
    walk.idle = idle;
    walk.context = context;
    walk.buffer.resize(64 * 1024 + 8); // a listing's block, or the longest name a handle has
    walk.folders.emplace_back();
    RemovalFolder& top = walk.folders.front();
    top.chosenParent = true;
    bool ok = route.openParent(walk, parent, top);
    top.pathLength = walk.at.shown.size();
    ok = ok && lookUp(walk, top, name, shown) && walkAll(walk, false, directory) && walkAll(walk, true, directory);
    closeHandle(walk, walk.folders.front().handle);
    if (ok)
        return RemovalOutcome::Removed;
    return walk.removedAny ? RemovalOutcome::Partial : RemovalOutcome::Untouched;
}

RemovalOutcome removeEntry(const std::string& parent, const std::string& name, bool directory,
                           RemovalFault& fault, RemovalIdle idle, void* context, const std::string& shown) {
    return removeEntryBy(removalRoute(), parent, name, directory, fault, idle, context, shown);
}
