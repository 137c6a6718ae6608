#include "model/filetable.h"

#include "model/links.h"

#include <algorithm>
#include <memory>
#include <unordered_set>

using namespace ntfs;

namespace {

constexpr size_t chunkBytes = 1 << 20; // of the file table read at once
constexpr size_t listLimit = 1 << 24;  // the largest attribute list taken: 16 MB, 700,000 entries

// Memory aligned to any sector size, for reads without the system's cache.
struct Aligned {
    std::unique_ptr<uint8_t[]> block;
    uint8_t* bytes = nullptr;
    size_t size = 0;

    explicit Aligned(size_t length) : block(new uint8_t[length + 4096]), size(length) {
        const uintptr_t at = reinterpret_cast<uintptr_t>(block.get());
        bytes = block.get() + ((4096 - at % 4096) % 4096);
    }
};

struct Reader {
    VolumeSource source;
    Boot boot;
    uint32_t clusterSize = 0;
    FileTable* table = nullptr;
    std::vector<TableName> names; // of files and folders, until the table is built
    std::vector<Run> mft;         // the file table's own clusters, by VCN
    std::vector<uint8_t> bitmap;  // one bit per record in use
    uint64_t recordCount = 0;
    // Extension records read before their base record, taken again once it is known.
    std::vector<uint64_t> deferred;
    Aligned scratch{2 * 65536};
};

uint64_t volumeBytes(const Boot& boot) {
    return boot.clusters * boot.cluster; // checked not to wrap by parseBoot
}

bool readVolume(const Reader& reader, uint64_t offset, void* buffer, size_t length) {
    const uint64_t size = volumeBytes(reader.boot);
    return offset <= size && length <= size - offset && reader.source.read(reader.source.context, offset, buffer, length);
}

uint64_t clustersOf(uint64_t bytes, uint32_t clusterSize) {
    return bytes / clusterSize + (bytes % clusterSize != 0 ? 1 : 0);
}

// Whether a stream's runs lie within the volume as VCNs too, so that no byte offset in it wraps.
bool withinVolume(const std::vector<Run>& runs, const Boot& boot) {
    return runs.empty() || runs.back().vcn + runs.back().length <= boot.clusters;
}

// Reads length bytes at offset of a stream whose clusters runs map (sorted by VCN, within the
// volume); both are multiples of the sector size. Sparse clusters read as zeros. Each step takes
// at least one byte, so the loop ends.
bool readStream(const Reader& reader, const std::vector<Run>& runs, uint64_t offset, uint8_t* out, size_t length) {
    const uint32_t cluster = reader.boot.cluster;
    while (length > 0) {
        const uint64_t vcn = offset / cluster;
        auto run = std::upper_bound(runs.begin(), runs.end(), vcn,
                                    [](uint64_t value, const Run& r) { return value < r.vcn; });
        if (run == runs.begin())
            return false;
        --run;
        if (vcn >= run->vcn + run->length || run->vcn + run->length > reader.boot.clusters)
            return false;
        const uint64_t within = offset % cluster;
        const uint64_t left = (run->vcn + run->length - vcn) * cluster - within;
        const size_t take = static_cast<size_t>(std::min<uint64_t>(length, left));
        if (run->lcn == sparseLcn)
            memset(out, 0, take);
        else if (!readVolume(reader, (run->lcn + (vcn - run->vcn)) * cluster + within, out, take))
            return false;
        offset += take;
        out += take;
        length -= take;
    }
    return true;
}

// A stream of length bytes into out, through the aligned scratch buffer a piece at a time: out
// grows only by what was read, so a size the volume cannot back costs no memory.
bool readWhole(Reader& reader, const std::vector<Run>& runs, uint64_t length, std::vector<uint8_t>& out) {
    if (!withinVolume(runs, reader.boot) || length > volumeBytes(reader.boot))
        return false;
    const uint32_t sector = reader.boot.sector;
    out.clear();
    for (uint64_t done = 0; done < length;) {
        const size_t take = static_cast<size_t>(std::min<uint64_t>(length - done, reader.scratch.size));
        const size_t rounded = (take + sector - 1) / sector * sector;
        if (!readStream(reader, runs, done, reader.scratch.bytes, rounded))
            return false;
        out.insert(out.end(), reader.scratch.bytes, reader.scratch.bytes + take);
        done += take;
    }
    return true;
}

// Record number alone, copied into record: false unless it could be read.
bool readRecord(Reader& reader, uint64_t number, std::vector<uint8_t>& record) {
    const Boot& boot = reader.boot;
    const uint64_t offset = number * boot.recordSize;
    if (number >= reader.recordCount)
        return false;
    const uint64_t start = offset / boot.sector * boot.sector;
    const size_t length =
        static_cast<size_t>((offset + boot.recordSize - start + boot.sector - 1) / boot.sector * boot.sector);
    if (length > reader.scratch.size || !readStream(reader, reader.mft, start, reader.scratch.bytes, length))
        return false;
    const uint8_t* at = reader.scratch.bytes + (offset - start);
    record.assign(at, at + boot.recordSize);
    return true;
}

// Record number alone, its update sequence applied: false unless it is whole.
bool soundRecord(Reader& reader, uint64_t number, std::vector<uint8_t>& record) {
    return readRecord(reader, number, record) && fixup(record.data(), record.size()) == record.size() / stride;
}

bool recordMarked(const Reader& reader, uint64_t record) {
    return reader.bitmap.empty() ||
           (record / 8 < reader.bitmap.size() && (reader.bitmap[record / 8] >> (record % 8) & 1));
}

// The tag of a reparse point whose data lies outside its record: the first bytes of its first
// cluster. A tag that cannot be read is taken for a link's, whose folder is not entered.
uint32_t outsideTag(Reader& reader, const Attribute& a) {
    std::vector<Run> runs;
    const uint32_t link = 0xA000000C;
    if (!decodeRuns(a.runs, a.end, 0, reader.boot.clusters, runs) || runs.empty() || runs[0].lcn == sparseLcn ||
        !readVolume(reader, runs[0].lcn * reader.boot.cluster, reader.scratch.bytes, reader.boot.sector))
        return link;
    return le<uint32_t>(reader.scratch.bytes);
}

// The volume in the clusters files are counted in.
uint64_t volumeClusters(const Reader& reader) {
    return clustersOf(volumeBytes(reader.boot), reader.clusterSize);
}

// Files the attributes of one record (base or extension) under its base record. Of a record that
// failed its checks only the first limit bytes, which can be trusted, are read. False when the
// record cannot be placed at all, or is not the one its place says.
bool parseRecord(Reader& reader, uint64_t number, const uint8_t* record, size_t limit, bool whole,
                 bool baseRead = false) {
    FileTable& table = *reader.table;
    const Header header = headerOf(record, reader.boot.recordSize);
    if (!(header.flags & recordInUseFlag) || !recordMarked(reader, number))
        return true; // not in use: its old names and sizes mean nothing
    if (header.number >= 0 && static_cast<uint64_t>(header.number) != (number & 0xFFFFFFFF))
        return false; // a record read from another place of the table than its own
    const uint64_t base = header.base ? (header.base & recordMask) : number;
    if (base >= reader.recordCount)
        return whole; // an extension of no record: ignored, unless its own record is damaged
    if (header.base) {
        if (base > number && !baseRead) {
            // Its base is not read yet: its sequence number, which tells whether this extension is
            // still its, is known only then.
            reader.deferred.push_back(number);
            return true;
        }
        const TableRecord& owner = table.records[base];
        if (!(owner.flags & recordInUse) || owner.sequence != static_cast<uint16_t>(header.base >> 48))
            return whole; // left by a file that record held before
    }
    TableRecord& owner = table.records[base];
    if (!header.base) {
        owner.sequence = header.sequence;
        owner.flags |= recordInUse | ((header.flags & recordFolderFlag) ? recordFolder : 0);
    }
    if (!whole)
        owner.flags |= recordBad;
    const size_t end = std::min<size_t>(std::min<size_t>(header.used, reader.boot.recordSize), limit);
    size_t offset = header.attributes;
    bool named = false;
    Attribute a;
    for (;;) {
        const Step step = attributeAt(record, offset, end, a);
        if (step != Step::Next)
            break; // the end, or in a damaged record the bytes it can be trusted for
        offset += a.length;
        FileName fileName;
        if (a.type == attrFileName && parseFileName(a, fileName)) {
            if (fileName.space == spaceDos) { // the short name beside a long one: not listed on its own
                owner.flags |= recordDosName;
                continue;
            }
            TableName name;
            name.record = static_cast<uint32_t>(base);
            name.parent = static_cast<uint32_t>(std::min<uint64_t>(fileName.parent & recordMask, noRecord));
            name.parentSequence = static_cast<uint16_t>(fileName.parent >> 48);
            name.units = fileName.units;
            name.hasShortName = fileName.space == spaceWin32; // with a short name, if the record has one
            name.text = noRecord;
            if (!listable(fileName.text, fileName.units))
                name.text = noRecord - 1; // no listing gives it: its folder is listed instead
            else if (fileName.folder || (!header.base && (header.flags & recordFolderFlag))) {
                name.text = static_cast<uint32_t>(table.text.size());
                for (size_t i = 0; i < fileName.units; ++i)
                    table.text.push_back(le<uint16_t>(fileName.text + 2 * i));
            }
            reader.names.push_back(name);
            named = true;
        } else if (a.type == attrData && (a.nameUnits == 0 || namedWofStream(a))) {
            // Data kept in the record takes no cluster; each stream's sizes are in its first
            // extent. Every other named stream is no part of the file's size.
            // Each stream takes whole clusters of its own, and none more than the whole volume,
            // whatever its sizes claim.
            if (a.nonResident && a.lowestVcn == 0) {
                const uint64_t bytes = (a.flags & (attrCompressed | attrSparse)) || a.nameUnits != 0 ? a.allocatedSize
                                                                                                    : a.realSize;
                owner.clusters = std::min(volumeClusters(reader),
                                          owner.clusters + clustersOf(std::min(bytes, volumeBytes(reader.boot)),
                                                                      reader.clusterSize));
            }
        } else if (a.type == attrReparse) {
            owner.flags |= recordReparse;
            owner.reparseTag = a.nonResident ? outsideTag(reader, a) : (a.valueLength >= 4 ? le<uint32_t>(a.value)
                                                                                            : 0xA000000C);
        }
    }
    // A damaged record is placed by its names, or by its base record; its folders are then listed.
    return whole || named || header.base;
}

// Checks a record as read, reads it once more alone when it fails, and files it.
bool takeRecord(Reader& reader, uint64_t number, uint8_t* record) {
    const size_t size = reader.boot.recordSize;
    if (!recordMarked(reader, number))
        return true;
    size_t trusted = checkRecord(record, size);
    std::vector<uint8_t> again;
    if (trusted != SIZE_MAX && readRecord(reader, number, again)) {
        memcpy(record, again.data(), size);
        trusted = checkRecord(record, size);
    }
    if (trusted == SIZE_MAX)
        return parseRecord(reader, number, record, size, true);
    if (trusted == 0) // not even its header can be read: nothing tells which folder holds it
        return false;
    return parseRecord(reader, number, record, trusted, false);
}

// The runs of $MFT's data that the attribute of record reaches, added to runs.
bool takeTableRuns(const Reader& reader, const Attribute& a, std::vector<Run>& runs) {
    return a.type != attrData || a.nameUnits != 0 || !a.nonResident ||
           decodeRuns(a.runs, a.end, a.lowestVcn, reader.boot.clusters, runs);
}

// The table's own runs: from VCN 0 without a gap, within the volume, none sparse and no two on the
// same clusters, or records would be read twice and others never.
bool soundTableRuns(std::vector<Run>& runs, const Boot& boot) {
    std::sort(runs.begin(), runs.end(), [](const Run& x, const Run& y) { return x.vcn < y.vcn; });
    uint64_t vcn = 0;
    for (const Run& run : runs) {
        if (run.vcn != vcn || run.lcn == sparseLcn)
            return false;
        vcn += run.length;
    }
    if (runs.empty() || !withinVolume(runs, boot))
        return false;
    std::vector<Run> byLcn = runs;
    std::sort(byLcn.begin(), byLcn.end(), [](const Run& x, const Run& y) { return x.lcn < y.lcn; });
    for (size_t i = 1; i < byLcn.size(); ++i)
        if (byLcn[i - 1].lcn + byLcn[i - 1].length > byLcn[i].lcn)
            return false;
    return true;
}

// Record 0: the file table's own runs, continued in the records its attribute list names, and its
// bitmap of records in use.
bool readTableLayout(Reader& reader) {
    const Boot& boot = reader.boot;
    const size_t length = (boot.recordSize + boot.sector - 1) / boot.sector * boot.sector;
    if (length > reader.scratch.size || !readVolume(reader, boot.mftLcn * boot.cluster, reader.scratch.bytes, length))
        return false;
    std::vector<uint8_t> zero(reader.scratch.bytes, reader.scratch.bytes + boot.recordSize);
    if (fixup(zero.data(), zero.size()) != zero.size() / stride)
        return false;
    std::vector<Run> listRuns, bitmapRuns;
    std::vector<uint8_t> list;
    uint64_t listSize = 0, bitmapSize = 0;
    bool listed = false, bitmapped = false;
    const bool sound = eachAttribute(zero.data(), zero.size(), [&](const Attribute& a) {
        if (a.type == attrData && a.nameUnits == 0 && a.nonResident && a.lowestVcn == 0)
            reader.recordCount = std::min(a.realSize, a.initializedSize) / boot.recordSize;
        if (a.type == attrBitmap && a.nameUnits == 0) {
            bitmapped = true;
            if (!a.nonResident)
                reader.bitmap.assign(a.value, a.value + a.valueLength);
            else if (a.lowestVcn == 0)
                bitmapSize = a.realSize;
            return !a.nonResident || a.lowestVcn != 0 ||
                   decodeRuns(a.runs, a.end, 0, boot.clusters, bitmapRuns);
        }
        if (a.type == attrList) {
            listed = true;
            if (!a.nonResident) {
                list.assign(a.value, a.value + a.valueLength);
                return true;
            }
            listSize = a.realSize;
            return a.realSize <= listLimit && decodeRuns(a.runs, a.end, 0, boot.clusters, listRuns);
        }
        return takeTableRuns(reader, a, reader.mft);
    });
    if (!sound || (listed && !listRuns.empty() && !readWhole(reader, listRuns, listSize, list)))
        return false;
    // The extents of the table's data kept in other records, each record read once, in the order
    // the list names them: each must lie within the runs known before it.
    std::unordered_set<uint64_t> holders;
    std::vector<uint8_t> record;
    ListEntry entry;
    for (size_t at = 0; at < list.size(); at += entry.length) {
        if (!listEntryAt(list.data(), list.size(), at, entry)) {
            if (list.size() - at < 0x1A)
                break; // a list padded at its end
            return false;
        }
        if (entry.type != attrData || entry.named || entry.holder == 0 || !holders.insert(entry.holder).second)
            continue;
        std::sort(reader.mft.begin(), reader.mft.end(), [](const Run& x, const Run& y) { return x.vcn < y.vcn; });
        if (!soundRecord(reader, entry.holder, record) || (headerOf(record.data(), record.size()).base & recordMask) != 0 ||
            !eachAttribute(record.data(), record.size(),
                           [&](const Attribute& a) { return takeTableRuns(reader, a, reader.mft); }))
            return false;
    }
    if (!soundTableRuns(reader.mft, boot))
        return false;
    // Every record lies within the table's clusters.
    const uint64_t tableBytes = (reader.mft.back().vcn + reader.mft.back().length) * boot.cluster;
    reader.recordCount = std::min<uint64_t>(reader.recordCount, tableBytes / boot.recordSize);
    if (reader.recordCount <= firstUserRecord || reader.recordCount > noRecord)
        return false;
    if (bitmapped && !bitmapRuns.empty()) {
        bitmapSize = std::min<uint64_t>(bitmapSize, (reader.recordCount + 7) / 8);
        if (!readWhole(reader, bitmapRuns, bitmapSize, reader.bitmap))
            return false;
    }
    // A table grown once by many files keeps its size when they are gone: what lies beyond its last
    // record in use is neither read nor indexed.
    if (bitmapped) {
        size_t last = reader.bitmap.size();
        while (last > 0 && reader.bitmap[last - 1] == 0)
            --last;
        reader.recordCount = std::min<uint64_t>(reader.recordCount, uint64_t(last) * 8);
    }
    return reader.recordCount > 0;
}

// The file table in chunks, those with no record in use passed over. The index grows with what was
// read, never with what the table claims.
bool readRecords(Reader& reader) {
    const Boot& boot = reader.boot;
    Aligned chunk(chunkBytes);
    const uint64_t bytes = reader.recordCount * boot.recordSize;
    const uint64_t perChunk = chunkBytes / boot.recordSize;
    std::vector<TableRecord>& records = reader.table->records;
    for (uint64_t first = 0; first < reader.recordCount; first += perChunk) {
        const uint64_t last = std::min(reader.recordCount, first + perChunk);
        bool any = reader.bitmap.empty();
        for (uint64_t r = first; !any && r < last; r += 8)
            any = r / 8 < reader.bitmap.size() && reader.bitmap[r / 8] != 0;
        if (!any)
            continue;
        const uint64_t offset = first * boot.recordSize;
        const size_t length = static_cast<size_t>(
            (std::min<uint64_t>(bytes - offset, chunkBytes) + boot.sector - 1) / boot.sector * boot.sector);
        if (!readStream(reader, reader.mft, offset, chunk.bytes, length))
            return false;
        reader.table->tableBytes += length;
        if (records.size() < last)
            records.resize(static_cast<size_t>(last));
        for (uint64_t r = first; r < last; ++r)
            if (!takeRecord(reader, r, chunk.bytes + (r - first) * boot.recordSize))
                return false;
    }
    records.resize(static_cast<size_t>(reader.recordCount));
    std::vector<uint8_t> record;
    for (uint64_t number : reader.deferred) {
        if (!readRecord(reader, number, record))
            return false;
        const size_t trusted = checkRecord(record.data(), record.size());
        if (trusted == 0)
            return false;
        const Header header = headerOf(record.data(), record.size());
        if (!header.base || (header.base & recordMask) >= records.size())
            continue; // no longer the extension it was a moment ago
        const TableRecord& owner = records[header.base & recordMask];
        if (!(owner.flags & recordInUse) || owner.sequence != static_cast<uint16_t>(header.base >> 48))
            continue; // left by a file its base record held before
        if (!parseRecord(reader, number, record.data(), trusted == SIZE_MAX ? record.size() : trusted,
                         trusted == SIZE_MAX, true))
            return false;
    }
    return true;
}

// The volume's table of upper-case letters, which orders the names of a folder's index.
bool readUpcase(Reader& reader, std::vector<uint16_t>& upcase) {
    std::vector<uint8_t> record;
    std::vector<Run> runs;
    if (!soundRecord(reader, upcaseRecord, record) ||
        !eachAttribute(record.data(), record.size(), [&](const Attribute& a) {
            return a.type != attrData || a.nameUnits != 0 || !a.nonResident || a.lowestVcn != 0 ||
                   a.realSize != 0x20000 || decodeRuns(a.runs, a.end, 0, reader.boot.clusters, runs);
        }) ||
        runs.empty())
        return false;
    std::vector<uint8_t> bytes;
    if (!readWhole(reader, runs, 0x20000, bytes))
        return false;
    upcase.resize(0x10000);
    memcpy(upcase.data(), bytes.data(), 0x20000);
    return true;
}

// The version of NTFS the volume was made with ($Volume): 1.x by Windows NT 3.51 and 4.0, 3.0 by
// Windows 2000, 3.1 since XP. Another may lay out its records in another way.
bool knownVersion(Reader& reader) {
    std::vector<uint8_t> record;
    int major = 0;
    if (soundRecord(reader, volumeRecord, record))
        eachAttribute(record.data(), record.size(), [&](const Attribute& a) {
            major = std::max(major, majorVersion(a));
            return true;
        });
    return major == 1 || major == 3;
}

bool collatesBefore(const FileTable& table, const std::vector<uint16_t>& upcase, const TableName& a,
                    const TableName& b) {
    if (a.parent != b.parent)
        return a.parent < b.parent;
    const uint16_t* x = &table.text[a.text];
    const uint16_t* y = &table.text[b.text];
    const size_t common = std::min(a.units, b.units);
    for (size_t i = 0; i < common; ++i)
        if (upcase[x[i]] != upcase[y[i]])
            return upcase[x[i]] < upcase[y[i]];
    if (a.units != b.units)
        return a.units < b.units;
    return std::lexicographical_compare(x, x + common, y, y + common);
}

// Whether every folder's chain of parents ends at the volume's root, or at a folder no listing
// holds (an orphan's), and never comes back to itself.
bool noFolderLoops(const FileTable& table, const std::vector<uint32_t>& parentOf) {
    const std::vector<TableRecord>& records = table.records;
    std::vector<uint8_t> state(records.size(), 0); // 1 on the chain being followed, 2 known to end
    std::vector<uint32_t> chain;
    for (uint32_t start = 0; start < records.size(); ++start) {
        chain.clear();
        uint32_t at = start;
        while (at != noRecord && state[at] == 0) {
            state[at] = 1;
            chain.push_back(at);
            at = parentOf[at];
        }
        if (at != noRecord && state[at] == 1)
            return false;
        for (uint32_t folder : chain)
            state[folder] = 2;
    }
    return true;
}

// Files each name under its folder, as a listing would: the clusters of files added up, folders
// kept in the order of the folder's index. A name whose record or folder is not in use, or whose
// folder was reused since (another sequence number), is in no listing. A folder is in one folder
// only, and no chain of folders comes back to itself: a table that says otherwise is refused.
bool build(Reader& reader, const std::vector<uint16_t>& upcase) {
    FileTable& table = *reader.table;
    std::vector<TableRecord>& records = table.records;
    for (TableRecord& record : records)
        if (record.flags & recordFolder)
            record.clusters = 0;
    auto listed = [&records](const TableName& name) {
        if (name.parent >= records.size() || name.parent == name.record)
            return false;
        const TableRecord& parent = records[name.parent];
        return (parent.flags & recordInUse) && (parent.flags & recordFolder) &&
               (records[name.record].flags & recordInUse) && parent.sequence == name.parentSequence &&
               !(name.parent == rootRecord && name.record < firstUserRecord);
    };
    for (const TableName& name : reader.names) {
        TableRecord& record = records[name.record];
        if (!(record.flags & recordBad) && listed(name))
            record.flags |= (record.flags & recordNamed) ? recordLinked : recordNamed;
    }
    std::vector<uint32_t> parentOf(records.size(), noRecord);
    size_t kept = 0;
    for (const TableName& name : reader.names) {
        if (!listed(name))
            continue;
        TableRecord& parent = records[name.parent];
        const TableRecord& record = records[name.record];
        if (name.text == noRecord - 1) {
            parent.flags |= recordWalk | recordUnlistable;
        } else if (record.flags & recordBad) {
            parent.flags |= recordWalk;
        } else if (record.flags & recordFolder) {
            if (record.flags & recordLinked)
                return false; // a folder in two folders
            parentOf[name.record] = name.parent;
            if (name.text == noRecord)
                parent.flags |= recordWalk;
            else
                reader.names[kept++] = name;
        } else {
            // Counted under every name, as a listing counts it, and settled with its other names.
            parent.clusters += record.clusters;
            if (record.flags & recordLinked)
                table.links.push_back({name.parent, name.record});
            if (name.parent == table.root)
                ++table.rootFiles;
            ++table.files;
        }
    }
    if (!noFolderLoops(table, parentOf))
        return false;
    std::sort(table.links.begin(), table.links.end(),
              [](const TableLink& a, const TableLink& b) { return a.parent < b.parent; });
    table.folders.assign(reader.names.begin(), reader.names.begin() + static_cast<ptrdiff_t>(kept));
    for (TableName& name : table.folders)
        name.hasShortName = name.hasShortName && (records[name.record].flags & recordDosName);
    std::sort(table.folders.begin(), table.folders.end(),
              [&](const TableName& a, const TableName& b) { return collatesBefore(table, upcase, a, b); });
    // No folder's index holds one name twice: a table that says so is wrong there, and the folder
    // is listed instead.
    for (size_t i = 1; i < table.folders.size(); ++i) {
        const TableName& a = table.folders[i - 1];
        const TableName& b = table.folders[i];
        if (a.parent == b.parent && a.units == b.units &&
            std::equal(&table.text[a.text], &table.text[a.text] + a.units, &table.text[b.text]))
            records[a.parent].flags |= recordWalk;
    }
    std::vector<TableName>().swap(reader.names);
    return true;
}

bool readAll(Reader& reader) {
    std::vector<uint16_t> upcase;
    return readTableLayout(reader) && knownVersion(reader) && readUpcase(reader, upcase) && readRecords(reader) &&
           reader.table->root < reader.table->records.size() && build(reader, upcase);
}

} // namespace

static_assert(sizeof(TableName) == 16 && sizeof(TableRecord) == 16, "the index's bytes per name and record");

FileTable* readTable(const VolumeSource& source, const Boot& boot, uint32_t clusterSize, uint32_t root) {
    FileTable* table = new FileTable;
    table->root = root;
    table->clusterSize = clusterSize;
    bool ok = false;
    // One handler for the whole read: whatever the volume makes the process unable to hold gives
    // the walk, which needs far less.
    try {
        Reader reader;
        reader.source = source;
        reader.boot = boot;
        reader.clusterSize = clusterSize;
        reader.table = table;
        ok = clusterSize > 0 && readAll(reader);
    } catch (...) {
        ok = false;
    }
    if (!ok) {
        delete table;
        return nullptr;
    }
    return table;
}

void freeFileTable(FileTable* table) {
    delete table;
}

size_t footprintOf(const FileTable& table) {
    return sizeof table + table.records.capacity() * sizeof(TableRecord) +
           table.folders.capacity() * sizeof(TableName) + table.text.capacity() * sizeof(uint16_t) +
           table.links.capacity() * sizeof(TableLink);
}

void subfoldersOf(const FileTable& table, uint32_t record, size_t& first, size_t& last) {
    auto begin = std::lower_bound(table.folders.begin(), table.folders.end(), record,
                                  [](const TableName& name, uint32_t value) { return name.parent < value; });
    auto end = std::upper_bound(begin, table.folders.end(), record,
                                [](uint32_t value, const TableName& name) { return value < name.parent; });
    first = static_cast<size_t>(begin - table.folders.begin());
    last = static_cast<size_t>(end - table.folders.begin());
}

void linkedFilesOf(const FileTable& table, uint32_t record, std::vector<FileMark>& marks) {
    auto range = std::equal_range(table.links.begin(), table.links.end(), TableLink{record, 0},
                                  [](const TableLink& a, const TableLink& b) { return a.parent < b.parent; });
    for (auto link = range.first; link != range.second; ++link)
        marks.push_back({link->record, table.records[link->record].clusters});
}
