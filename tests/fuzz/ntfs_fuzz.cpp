// Fuzz target of the NTFS reader: a whole small volume image as input, its boot sector, records,
// runs, attribute lists, names and parents as mutated bytes. The reader must end, stay within its
// memory and within the bytes it was given, and leave an index that holds together: every folder
// below the root reached exactly once, no loop of folders, no folder name a listing cannot give
// nor a name twice in one folder, every size within the volume, every link naming a file of the
// table.
#include "model/filetable.h"
#include "model/links.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Image {
    const uint8_t* bytes;
    size_t size;
};

bool readImage(void* context, uint64_t offset, void* buffer, size_t length) {
    const Image& image = *static_cast<const Image*>(context);
    if (offset > image.size || length > image.size - offset)
        return false;
    memcpy(buffer, image.bytes + offset, length);
    return true;
}

// A broken promise of the index, named by its line, ends the run as a finding.
#define require(holds) \
    do { \
        if (!(holds)) { \
            fprintf(stderr, "index check failed: %s (line %d)\n", #holds, __LINE__); \
            abort(); \
        } \
    } while (0)

void checkIndex(const FileTable& table, const ntfs::Boot& boot) {
    const uint64_t volume = boot.clusters * boot.cluster;
    std::vector<uint8_t> reached(table.records.size(), 0);
    std::vector<uint32_t> pending{table.root};
    reached[table.root] = 1;
    while (!pending.empty()) {
        const uint32_t folder = pending.back();
        pending.pop_back();
        if (table.records[folder].flags & recordWalk)
            continue; // listed from the disk, with all below it
        size_t first, last;
        subfoldersOf(table, folder, first, last);
        for (size_t i = first; i < last; ++i) {
            const TableName& name = table.folders[i];
            require(name.record < table.records.size() && name.parent == folder);
            require(!reached[name.record]); // a folder in two places, or a loop
            reached[name.record] = 1;
            require(name.text + name.units <= table.text.size());
            require(ntfs::listable(reinterpret_cast<const uint8_t*>(&table.text[name.text]), name.units));
            pending.push_back(name.record);
        }
        std::vector<FileMark> marks;
        linkedFilesOf(table, folder, marks);
        for (const FileMark& mark : marks)
            require(mark.id < table.records.size() && !(table.records[mark.id].flags & recordFolder));
    }
    // A folder the index lists and the root does not reach lies below a folder the index cannot
    // place (an orphan's, or one that is listed instead): never in a loop, never below the root.
    // No folder holds a name twice.
    std::vector<uint32_t> parentOf(table.records.size(), noRecord);
    for (const TableName& name : table.folders)
        parentOf[name.record] = name.parent;
    for (size_t i = 0; i < table.folders.size(); ++i) {
        const TableName& name = table.folders[i];
        uint32_t at = name.record;
        for (size_t steps = 0; !reached[at] && parentOf[at] != noRecord; ++steps) {
            require(steps < table.records.size());
            at = parentOf[at];
        }
        const bool listedFromDisk = table.records[name.parent].flags & recordWalk;
        require(reached[name.record] || (at != table.root && !reached[at]) || (table.records[at].flags & recordWalk));
        if (i > 0 && !listedFromDisk && table.folders[i - 1].parent == name.parent &&
            table.folders[i - 1].units == name.units)
            require(memcmp(&table.text[table.folders[i - 1].text], &table.text[name.text], 2u * name.units) != 0);
    }
    for (const TableRecord& record : table.records)
        require((record.flags & recordFolder) || record.clusters <= (volume + 4095) / 4096);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ntfs::Boot boot;
    if (!ntfs::parseBoot(data, size, boot))
        return 0;
    Image image{data, size};
    VolumeSource source;
    source.context = &image;
    source.read = readImage;
    FileTable* table = readTable(source, boot, 4096, ntfs::rootRecord);
    if (table)
        checkIndex(*table, boot);
    freeFileTable(table);
    return 0;
}
