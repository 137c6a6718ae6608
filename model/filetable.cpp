#include "model/filetable.h"

#include "app/mainwindow.h"
#include "model/listing.h"
#include "model/names.h"
#include "model/native.h"
#include "model/readahead.h"
#include "model/scan.h"
#include "model/survey.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

template <class T>
T le(const uint8_t* at) {
    T value;
    memcpy(&value, at, sizeof value);
    return value;
}

constexpr uint64_t recordMask = 0xFFFFFFFFFFFFull; // a file reference's record number
constexpr uint64_t sparseRun = UINT64_MAX;
constexpr size_t stride = 512;          // of the update sequence, whatever the sector size
constexpr size_t chunkBytes = 1 << 20; // of the file table read at once
constexpr uint32_t firstUserRecord = 16; // below it the volume's own files, hidden from listings
constexpr uint32_t volumeRoot = 5;
constexpr uint32_t nameIndexPresent = 0x10000000; // a $FILE_NAME's flag: the name is a folder's

enum : uint32_t {
    attrList = 0x20,
    attrFileName = 0x30,
    attrData = 0x80,
    attrVolumeInformation = 0x70,
    attrBitmap = 0xB0,
    attrReparse = 0xC0,
    attrEnd = 0xFFFFFFFF
};

// Attribute header flags.
enum : uint16_t { attrCompressed = 0x0001, attrSparse = 0x8000 };

struct Run {
    uint64_t vcn, lcn, length; // lcn sparseRun: no clusters
};

struct Volume {
    HANDLE handle = INVALID_HANDLE_VALUE;
    uint32_t sector = 0, cluster = 0, recordSize = 0;
    uint64_t mftLcn = 0;
    uint8_t* scratch = nullptr; // aligned, for reads of single records and reparse data
    size_t scratchBytes = 0;
};

bool readVolume(const Volume& volume, uint64_t offset, void* buffer, size_t length) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD read = 0;
    return ReadFile(volume.handle, buffer, static_cast<DWORD>(length), &read, &at) && read == length;
}

// Reads length bytes at offset of a stream whose clusters runs map (sorted by vcn); both are
// multiples of the sector size. Sparse clusters read as zeros.
bool readStream(const Volume& volume, const std::vector<Run>& runs, uint64_t offset, uint8_t* out, size_t length) {
    while (length > 0) {
        const uint64_t vcn = offset / volume.cluster;
        auto run = std::upper_bound(runs.begin(), runs.end(), vcn,
                                    [](uint64_t value, const Run& r) { return value < r.vcn; });
        if (run == runs.begin())
            return false;
        --run;
        if (vcn >= run->vcn + run->length)
            return false;
        const uint64_t within = offset - run->vcn * volume.cluster;
        const size_t take = static_cast<size_t>(std::min<uint64_t>(length, run->length * volume.cluster - within));
        if (run->lcn == sparseRun)
            memset(out, 0, take);
        else if (!readVolume(volume, run->lcn * volume.cluster + within, out, take))
            return false;
        offset += take;
        out += take;
        length -= take;
    }
    return true;
}

// The same into memory of any alignment: a volume is read without the system's cache, into
// memory aligned to its sectors, so the reads go through the scratch buffer.
bool readStreamInto(const Volume& volume, const std::vector<Run>& runs, uint8_t* out, size_t length) {
    for (size_t done = 0; done < length;) {
        const size_t take = std::min(length - done, volume.scratchBytes);
        const size_t rounded = (take + volume.sector - 1) / volume.sector * volume.sector;
        if (!readStream(volume, runs, done, volume.scratch, rounded))
            return false;
        memcpy(out + done, volume.scratch, take);
        done += take;
    }
    return true;
}

// The runs of one extent of a non-resident attribute, starting at vcn; the deltas are signed.
bool decodeRuns(const uint8_t* at, const uint8_t* end, uint64_t vcn, std::vector<Run>& runs) {
    int64_t lcn = 0;
    while (at < end && *at != 0) {
        const unsigned lengthBytes = *at & 15, deltaBytes = *at >> 4;
        ++at;
        if (lengthBytes == 0 || lengthBytes > 8 || deltaBytes > 8 ||
            static_cast<size_t>(end - at) < lengthBytes + deltaBytes)
            return false;
        uint64_t length = 0;
        for (unsigned i = 0; i < lengthBytes; ++i)
            length |= static_cast<uint64_t>(at[i]) << (8 * i);
        at += lengthBytes;
        if (length == 0 || length > (1ull << 48))
            return false;
        if (deltaBytes == 0) {
            runs.push_back({vcn, sparseRun, length});
        } else {
            uint64_t delta = 0;
            for (unsigned i = 0; i < deltaBytes; ++i)
                delta |= static_cast<uint64_t>(at[i]) << (8 * i);
            if (deltaBytes < 8 && (at[deltaBytes - 1] & 0x80))
                delta |= ~0ull << (8 * deltaBytes);
            lcn += static_cast<int64_t>(delta);
            if (lcn < 0)
                return false;
            runs.push_back({vcn, static_cast<uint64_t>(lcn), length});
        }
        at += deltaBytes;
        vcn += length;
    }
    return true;
}

// One attribute of a record, checked to lie within it.
struct Attribute {
    uint32_t type = 0;
    const uint8_t* at = nullptr;
    uint32_t length = 0;
    bool nonResident = false;
    bool named = false;
    const uint8_t* value = nullptr; // resident
    uint32_t valueLength = 0;
    uint64_t lowestVcn = 0, realSize = 0, initializedSize = 0; // non-resident
    uint64_t allocatedSize = 0; // non-resident: the clusters given to it, for a sparse or compressed
                                // one those really held
    uint16_t flags = 0;
    const uint8_t* runs = nullptr;
};

enum class Step { Next, End, Broken };

// CompactOS keeps a file's data compressed in this stream.
const uint16_t wofStream[] = {'W', 'o', 'f', 'C', 'o', 'm', 'p', 'r', 'e', 's', 's', 'e', 'd', 'D', 'a', 't', 'a'};

bool namedWofStream(const Attribute& a) {
    const uint8_t units = a.at[9];
    if (units != sizeof wofStream / sizeof wofStream[0])
        return false;
    const uint8_t* name = a.at + le<uint16_t>(a.at + 0x0A);
    for (size_t i = 0; i < units; ++i)
        if (le<uint16_t>(name + 2 * i) != wofStream[i])
            return false;
    return true;
}

uint64_t addBytes(uint64_t a, uint64_t b) {
    return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

// The attribute at offset, of a record whose first valid bytes are limit.
Step attributeAt(const uint8_t* record, size_t offset, size_t limit, Attribute& a) {
    if (offset + 8 > limit)
        return Step::Broken;
    a.type = le<uint32_t>(record + offset);
    if (a.type == attrEnd)
        return Step::End;
    a.length = le<uint32_t>(record + offset + 4);
    if (a.length < 0x18 || a.length % 8 != 0 || a.length > limit - offset)
        return Step::Broken;
    a.at = record + offset;
    a.nonResident = a.at[8] != 0;
    a.flags = le<uint16_t>(a.at + 0x0C);
    const uint8_t nameUnits = a.at[9];
    const uint16_t nameOffset = le<uint16_t>(a.at + 0x0A);
    a.named = nameUnits != 0;
    if (a.named && nameOffset + 2u * nameUnits > a.length)
        return Step::Broken;
    if (!a.nonResident) {
        a.valueLength = le<uint32_t>(a.at + 0x10);
        const uint16_t valueOffset = le<uint16_t>(a.at + 0x14);
        if (valueOffset > a.length || a.valueLength > a.length - valueOffset)
            return Step::Broken;
        a.value = a.at + valueOffset;
        return Step::Next;
    }
    if (a.length < 0x40)
        return Step::Broken;
    a.lowestVcn = le<uint64_t>(a.at + 0x10);
    a.allocatedSize = le<uint64_t>(a.at + 0x28);
    // A compressed or sparse stream's header holds the total of clusters really held at 0x40.
    if ((a.flags & (attrCompressed | attrSparse)) && a.length >= 0x48)
        a.allocatedSize = le<uint64_t>(a.at + 0x40);
    a.realSize = le<uint64_t>(a.at + 0x30);
    a.initializedSize = le<uint64_t>(a.at + 0x38);
    const uint16_t runsOffset = le<uint16_t>(a.at + 0x20);
    if (runsOffset >= a.length)
        return Step::Broken;
    a.runs = a.at + runsOffset;
    return Step::Next;
}

struct Reader {
    Volume volume;
    const DriveSurvey* survey = nullptr;
    FileTable* table = nullptr;
    std::vector<TableName> names; // of files and folders, until the table is built
    std::vector<Run> mft;         // the file table's own clusters
    std::vector<uint8_t> bitmap;  // one bit per record in use
    uint64_t recordCount = 0;
};

bool recordMarked(const Reader& reader, uint64_t record) {
    return reader.bitmap.empty() ||
           (record / 8 < reader.bitmap.size() && (reader.bitmap[record / 8] >> (record % 8) & 1));
}

// The first bytes of a non-resident value: its first cluster's first sector.
const uint8_t* firstSector(Reader& reader, const Attribute& a) {
    std::vector<Run> runs;
    if (!decodeRuns(a.runs, a.at + a.length, 0, runs) || runs.empty() || runs[0].lcn == sparseRun)
        return nullptr;
    const Volume& volume = reader.volume;
    return readVolume(volume, runs[0].lcn * volume.cluster, volume.scratch, volume.sector) ? volume.scratch : nullptr;
}

// Files the attributes of one record (base or extension) under its base record. Of a record that
// failed its checks only the first limit bytes, which can be trusted, are read. False when the
// record cannot be placed at all.
bool parseRecord(Reader& reader, uint64_t number, const uint8_t* record, size_t limit, bool whole) {
    FileTable& table = *reader.table;
    const uint16_t flags = le<uint16_t>(record + 0x16);
    if (!(flags & 1) || !recordMarked(reader, number))
        return true; // not in use: its old names and sizes mean nothing
    const uint64_t baseReference = le<uint64_t>(record + 0x20);
    const uint64_t base = baseReference ? (baseReference & recordMask) : number;
    if (base >= reader.recordCount)
        return whole; // an extension of no record: ignored, unless its own record is damaged
    TableRecord& owner = table.records[base];
    if (!baseReference) {
        owner.sequence = le<uint16_t>(record + 0x10);
        owner.flags |= recordInUse | ((flags & 2) ? recordFolder : 0);
    }
    if (!whole)
        owner.flags |= recordBad;
    const uint32_t used = le<uint32_t>(record + 0x18);
    const size_t end = std::min<size_t>(std::min<size_t>(used, reader.volume.recordSize), limit);
    size_t offset = le<uint16_t>(record + 0x14);
    bool named = false;
    Attribute a;
    for (;;) {
        const Step step = attributeAt(record, offset, end, a);
        if (step == Step::End)
            break;
        if (step == Step::Broken)
            break; // only in a damaged record, beyond the bytes it can be trusted for
        offset += a.length;
        if (a.type == attrFileName && !a.nonResident && a.valueLength >= 0x42) {
            const uint8_t units = a.value[0x40], space = a.value[0x41];
            if (0x42u + 2u * units > a.valueLength || units == 0)
                continue;
            if (space == 2) { // the short name beside a long one: not listed on its own
                owner.flags |= recordDosName;
                continue;
            }
            const uint64_t parent = le<uint64_t>(a.value);
            TableName name;
            name.record = static_cast<uint32_t>(base);
            name.parent = static_cast<uint32_t>(std::min<uint64_t>(parent & recordMask, noRecord));
            name.parentSequence = static_cast<uint16_t>(parent >> 48);
            name.units = units;
            name.hasShortName = space == 1; // with a short name, if the record has one
            name.text = noRecord;
            if ((le<uint32_t>(a.value + 0x38) & nameIndexPresent) || (!baseReference && (flags & 2))) {
                name.text = static_cast<uint32_t>(table.text.size());
                const uint8_t* units16 = a.value + 0x42;
                for (size_t i = 0; i < units; ++i)
                    table.text.push_back(le<uint16_t>(units16 + 2 * i));
            }
            reader.names.push_back(name);
            named = true;
        } else if (a.type == attrData && (!a.named || namedWofStream(a))) {
            // Data kept in the record takes no cluster; each stream's sizes are in its first
            // extent. Every other named stream is no part of the file's size.
            if (a.nonResident && a.lowestVcn == 0)
                owner.size = addBytes(owner.size, (a.flags & (attrCompressed | attrSparse)) || a.named
                                                      ? a.allocatedSize
                                                      : a.realSize);
        } else if (a.type == attrReparse) {
            owner.flags |= recordReparse;
            const uint8_t* tag = a.nonResident ? firstSector(reader, a) : (a.valueLength >= 4 ? a.value : nullptr);
            // A tag that cannot be read is taken for a link: such a folder is not entered.
            owner.reparseTag = tag ? le<uint32_t>(tag) : 0xA000000C;
        }
    }
    // A damaged record is placed by its names, or by its base record; its folders are then listed.
    return whole || named || baseReference;
}

// Checks the update sequence of a record and puts back each stride's last two bytes: the number of
// leading strides found whole.
size_t fixup(uint8_t* record, size_t size) {
    if (memcmp(record, "FILE", 4) != 0)
        return 0;
    const uint16_t offset = le<uint16_t>(record + 4), count = le<uint16_t>(record + 6);
    if (count != size / stride + 1 || offset < 0x28 || offset % 2 != 0 || offset + 2u * count > size)
        return 0;
    const uint16_t check = le<uint16_t>(record + offset);
    for (size_t i = 1; i < count; ++i) {
        uint8_t* tail = record + i * stride - 2;
        if (le<uint16_t>(tail) != check)
            return i - 1;
        memcpy(tail, record + offset + 2 * i, 2);
    }
    return size / stride;
}

// Reads record number of the file table alone into the scratch buffer.
uint8_t* readRecord(Reader& reader, uint64_t number) {
    Volume& volume = reader.volume;
    const uint64_t offset = number * volume.recordSize;
    const uint64_t start = offset / volume.sector * volume.sector;
    const size_t length = static_cast<size_t>((offset + volume.recordSize - start + volume.sector - 1) /
                                              volume.sector * volume.sector);
    if (length > volume.scratchBytes || !readStream(volume, reader.mft, start, volume.scratch, length))
        return nullptr;
    return volume.scratch + (offset - start);
}

// How much of a record, its update sequence applied, can be trusted: all of it (SIZE_MAX) when it
// is sound; else its leading whole strides, up to the first attribute that does not lie whole
// within them or within the record.
size_t checkRecord(uint8_t* record, size_t size) {
    const size_t whole = fixup(record, size);
    if (whole == 0)
        return 0;
    const size_t limit = std::min<size_t>(le<uint32_t>(record + 0x18), whole * stride);
    size_t offset = le<uint16_t>(record + 0x14);
    Attribute a;
    Step step;
    while ((step = attributeAt(record, offset, limit, a)) == Step::Next)
        offset += a.length;
    return step == Step::End && whole == size / stride ? SIZE_MAX : offset;
}

// One record as read in a chunk: checked, read once more alone when it fails, and filed.
bool takeRecord(Reader& reader, uint64_t number, uint8_t* record) {
    const size_t size = reader.volume.recordSize;
    if (!recordMarked(reader, number))
        return true;
    size_t trusted = checkRecord(record, size);
    if (trusted != SIZE_MAX) {
        if (const uint8_t* again = readRecord(reader, number)) {
            memcpy(record, again, size);
            trusted = checkRecord(record, size);
        }
    }
    if (trusted == SIZE_MAX)
        return parseRecord(reader, number, record, size, true);
    if (trusted == 0) // not even its header can be read: nothing tells which folder holds it
        return false;
    return parseRecord(reader, number, record, trusted, false);
}

// Record number alone, its update sequence applied: null unless it is whole.
uint8_t* soundRecord(Reader& reader, uint64_t number) {
    uint8_t* record = readRecord(reader, number);
    const size_t size = reader.volume.recordSize;
    return record && fixup(record, size) == size / stride ? record : nullptr;
}

// Hands take each attribute of a sound record; false when one does not lie within it or take
// refuses it.
template <class Take>
bool eachAttribute(const uint8_t* record, size_t size, Take take) {
    size_t offset = le<uint16_t>(record + 0x14);
    const size_t end = std::min<size_t>(le<uint32_t>(record + 0x18), size);
    Attribute a;
    for (Step step; (step = attributeAt(record, offset, end, a)) != Step::End; offset += a.length)
        if (step == Step::Broken || !take(a))
            return false;
    return true;
}

// Record 0: the file table's own runs, continued in the records its attribute list names, and its
// bitmap of records in use.
bool readTableLayout(Reader& reader) {
    Volume& volume = reader.volume;
    const uint64_t start = volume.mftLcn * volume.cluster;
    const size_t length = (volume.recordSize + volume.sector - 1) / volume.sector * volume.sector;
    if (!readVolume(volume, start, volume.scratch, length))
        return false;
    std::vector<uint8_t> zero(volume.scratch, volume.scratch + volume.recordSize);
    if (fixup(zero.data(), zero.size()) != zero.size() / stride)
        return false;
    std::vector<uint8_t> list;
    std::vector<Run> bitmapRuns;
    uint64_t bitmapSize = 0;
    const bool read = eachAttribute(zero.data(), zero.size(), [&](const Attribute& a) {
        if (a.type == attrData && !a.named && a.nonResident) {
            if (a.lowestVcn == 0)
                reader.recordCount = std::min(a.realSize, a.initializedSize) / volume.recordSize;
            return decodeRuns(a.runs, a.at + a.length, a.lowestVcn, reader.mft);
        }
        if (a.type == attrBitmap && !a.named) {
            if (!a.nonResident)
                reader.bitmap.assign(a.value, a.value + a.valueLength);
            else if (a.lowestVcn == 0)
                bitmapSize = a.realSize;
            return !a.nonResident || a.lowestVcn != 0 || decodeRuns(a.runs, a.at + a.length, 0, bitmapRuns);
        }
        if (a.type == attrList) {
            if (!a.nonResident) {
                list.assign(a.value, a.value + a.valueLength);
                return true;
            }
            std::vector<Run> runs;
            if (!decodeRuns(a.runs, a.at + a.length, 0, runs) || a.realSize > (1u << 24))
                return false;
            list.resize(static_cast<size_t>(a.realSize));
            return readStreamInto(volume, runs, list.data(), list.size());
        }
        return true;
    });
    if (!read)
        return false;
    // The extents of the table's data kept in other records, which the runs known so far reach.
    for (size_t at = 0; at + 0x1A <= list.size();) {
        const uint16_t entryLength = le<uint16_t>(&list[at + 4]);
        if (entryLength < 0x1A || at + entryLength > list.size())
            return false;
        const uint64_t holder = le<uint64_t>(&list[at + 0x10]) & recordMask;
        if (le<uint32_t>(&list[at]) == attrData && list[at + 6] == 0 && holder != 0) {
            std::vector<Run> more;
            const uint8_t* record = soundRecord(reader, holder);
            if (!record || !eachAttribute(record, volume.recordSize, [&](const Attribute& a) {
                    return a.type != attrData || a.named || !a.nonResident ||
                           decodeRuns(a.runs, a.at + a.length, a.lowestVcn, more);
                }))
                return false;
            // Kept in order, as the next record's read looks its runs up by VCN.
            const size_t known = reader.mft.size();
            reader.mft.insert(reader.mft.end(), more.begin(), more.end());
            std::inplace_merge(reader.mft.begin(), reader.mft.begin() + static_cast<ptrdiff_t>(known),
                               reader.mft.end(), [](const Run& x, const Run& y) { return x.vcn < y.vcn; });
        }
        at += entryLength;
    }
    for (size_t i = 1; i < reader.mft.size(); ++i)
        if (reader.mft[i].vcn != reader.mft[i - 1].vcn + reader.mft[i - 1].length)
            return false; // an extent is missing
    if (reader.mft.empty() || reader.recordCount == 0 || reader.recordCount > noRecord ||
        (reader.mft.back().vcn + reader.mft.back().length) * volume.cluster < reader.recordCount * volume.recordSize)
        return false;
    if (!bitmapRuns.empty()) {
        if (bitmapSize > (reader.recordCount + 7) / 8 + volume.cluster)
            bitmapSize = (reader.recordCount + 7) / 8;
        reader.bitmap.resize(bitmapSize);
        if (!readStreamInto(volume, bitmapRuns, reader.bitmap.data(), reader.bitmap.size()))
            return false;
    }
    // A table grown once by many files keeps its size when they are gone: what lies beyond its last
    // record in use is neither read nor indexed.
    size_t last = reader.bitmap.size();
    while (last > 0 && reader.bitmap[last - 1] == 0)
        --last;
    if (!reader.bitmap.empty())
        reader.recordCount = std::min<uint64_t>(reader.recordCount, uint64_t(last) * 8);
    return true;
}

// The file table in chunks, those with no record in use passed over.
bool readRecords(Reader& reader) {
    const Volume& volume = reader.volume;
    uint8_t* chunk = static_cast<uint8_t*>(VirtualAlloc(nullptr, chunkBytes, MEM_COMMIT, PAGE_READWRITE));
    if (!chunk)
        return false;
    const uint64_t bytes = reader.recordCount * volume.recordSize;
    const uint64_t perChunk = chunkBytes / volume.recordSize;
    bool ok = true;
    for (uint64_t first = 0; ok && first < reader.recordCount; first += perChunk) {
        const uint64_t last = std::min(reader.recordCount, first + perChunk);
        bool any = reader.bitmap.empty();
        for (uint64_t r = first; !any && r < last; r += 8)
            any = r / 8 < reader.bitmap.size() && reader.bitmap[r / 8] != 0;
        if (!any)
            continue;
        const uint64_t offset = first * volume.recordSize;
        const size_t length = static_cast<size_t>(
            (std::min<uint64_t>(bytes - offset, chunkBytes) + volume.sector - 1) / volume.sector * volume.sector);
        ok = readStream(volume, reader.mft, offset, chunk, length);
        reader.table->tableBytes += length;
        for (uint64_t r = first; ok && r < last; ++r)
            ok = takeRecord(reader, r, chunk + (r - first) * volume.recordSize);
    }
    VirtualFree(chunk, 0, MEM_RELEASE);
    return ok;
}

// The volume's table of upper-case letters, which orders the names of a folder's index.
bool readUpcase(Reader& reader, std::vector<uint16_t>& upcase) {
    const Volume& volume = reader.volume;
    const uint8_t* record = soundRecord(reader, 10);
    std::vector<Run> runs;
    if (!record || !eachAttribute(record, volume.recordSize, [&](const Attribute& a) {
            return a.type != attrData || a.named || !a.nonResident || a.lowestVcn != 0 || a.realSize != 0x20000 ||
                   decodeRuns(a.runs, a.at + a.length, 0, runs);
        }))
        return false;
    if (runs.empty())
        return false;
    upcase.resize(0x10000);
    return readStreamInto(volume, runs, reinterpret_cast<uint8_t*>(upcase.data()), 0x20000);
}

// The version of NTFS the volume was made with ($Volume, record 3): 1.x by Windows NT 3.51 and 4.0,
// 3.0 by Windows 2000, 3.1 since XP. Another may lay out its records in another way.
bool knownVersion(Reader& reader) {
    const uint8_t* record = soundRecord(reader, 3);
    int major = 0;
    if (record)
        eachAttribute(record, reader.volume.recordSize, [&](const Attribute& a) {
            if (a.type == attrVolumeInformation && !a.nonResident && a.valueLength >= 10)
                major = a.value[8];
            return true;
        });
    return major == 1 || major == 3;
}

// The boot sector: an NTFS volume of a geometry this reader knows.
bool readBoot(Volume& volume) {
    if (!readVolume(volume, 0, volume.scratch, 4096))
        return false;
    const uint8_t* boot = volume.scratch;
    if (memcmp(boot + 3, "NTFS    ", 8) != 0)
        return false;
    volume.sector = le<uint16_t>(boot + 0x0B);
    const uint8_t perCluster = boot[0x0D];
    const uint64_t sectors = perCluster <= 0x80 ? perCluster : (perCluster >= 0xF4 ? 1ull << (256 - perCluster) : 0);
    const int8_t perRecord = static_cast<int8_t>(boot[0x40]);
    if (volume.sector < 512 || volume.sector > 4096 || (volume.sector & (volume.sector - 1)) || sectors == 0 ||
        (sectors & (sectors - 1)) || volume.sector * sectors > (2u << 20))
        return false;
    volume.cluster = static_cast<uint32_t>(volume.sector * sectors);
    const uint64_t record = perRecord > 0 ? uint64_t(perRecord) * volume.cluster
                                          : (perRecord >= -31 && perRecord < 0 ? 1ull << -perRecord : 0);
    if (record < stride || record > 65536 || (record & (record - 1)))
        return false;
    volume.recordSize = static_cast<uint32_t>(record);
    volume.mftLcn = le<uint64_t>(boot + 0x30);
    return true;
}

// The volume that holds the drive: a drive made with SUBST names its folder on another drive.
std::string volumeName(const std::string& rootPath) {
    char target[MAX_PATH + 8] = "";
    const std::string drive = rootPath.substr(0, 2);
    char letter = rootPath[0];
    if (QueryDosDeviceA(drive.c_str(), target, sizeof target) && strncmp(target, "\\??\\", 4) == 0 &&
        IsCharAlphaA(target[4]) && target[5] == ':')
        letter = target[4];
    return std::string("\\\\.\\") + letter + ":";
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

// Files each name under its folder, as a listing would: the clusters of files added up, folders
// kept in the order of the folder's index. A name whose record or folder is not in use, or whose
// folder was reused since (another sequence number), is in no listing.
void build(Reader& reader, const std::vector<uint16_t>& upcase) {
    FileTable& table = *reader.table;
    std::vector<TableRecord>& records = table.records;
    for (TableRecord& record : records)
        if (record.flags & recordFolder)
            record.size = 0;
    auto listed = [&records](const TableName& name) {
        if (name.parent >= records.size() || name.parent == name.record)
            return false;
        const TableRecord& parent = records[name.parent];
        return (parent.flags & recordInUse) && (parent.flags & recordFolder) &&
               (records[name.record].flags & recordInUse) && parent.sequence == name.parentSequence &&
               !(name.parent == volumeRoot && name.record < firstUserRecord);
    };
    // Every name of a file is in the table: those of a file that has several are marked for the
    // walk, which settles them.
    for (const TableName& name : reader.names) {
        TableRecord& record = records[name.record];
        if (!(record.flags & (recordFolder | recordBad)) && listed(name))
            record.flags |= (record.flags & recordNamed) ? recordLinked : recordNamed;
    }
    size_t kept = 0;
    for (const TableName& name : reader.names) {
        if (!listed(name))
            continue;
        TableRecord& parent = records[name.parent];
        const TableRecord& record = records[name.record];
        if (record.flags & recordBad) {
            parent.flags |= recordWalk;
        } else if (record.flags & recordFolder) {
            if (name.text == noRecord)
                parent.flags |= recordWalk;
            else
                reader.names[kept++] = name;
        } else {
            // Counted under every name, as a listing counts it, and settled with its other names.
            parent.size += clustersFor(reader.survey, record.size);
            if (record.flags & recordLinked)
                table.links.push_back({name.parent, name.record});
            ++table.files;
        }
    }
    std::sort(table.links.begin(), table.links.end(),
              [](const TableLink& a, const TableLink& b) { return a.parent < b.parent; });
    table.folders.assign(reader.names.begin(), reader.names.begin() + static_cast<ptrdiff_t>(kept));
    for (TableName& name : table.folders)
        name.hasShortName = name.hasShortName && (records[name.record].flags & recordDosName);
    std::sort(table.folders.begin(), table.folders.end(),
              [&](const TableName& a, const TableName& b) { return collatesBefore(table, upcase, a, b); });
    std::vector<TableName>().swap(reader.names);
}

// The drive's root by its file number; and the subfolders its listing gives must be those of the
// table, or the volume read is not the drive's.
bool findRoot(FileTable& table, const std::string& rootPath) {
    const NativeCalls* nt = nativeCalls();
    HANDLE root = CreateFileA(rootPath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (root == INVALID_HANDLE_VALUE)
        return false;
    const LONGLONG number = fileNumber(*nt, root);
    CloseHandle(root);
    const uint64_t record = static_cast<uint64_t>(number) & recordMask;
    const uint16_t sequence = static_cast<uint16_t>(static_cast<uint64_t>(number) >> 48);
    if (number < 0 || record >= table.records.size())
        return false;
    const TableRecord& found = table.records[record];
    if (!(found.flags & recordInUse) || !(found.flags & recordFolder) || (sequence && sequence != found.sequence))
        return false;
    table.root = static_cast<uint32_t>(record);
    size_t first, last;
    subfoldersOf(table, table.root, first, last);
    std::vector<std::string> known;
    for (size_t i = first; i < last; ++i) {
        known.emplace_back();
        appendNarrow(known.back(), reinterpret_cast<const wchar_t*>(&table.text[table.folders[i].text]),
                     table.folders[i].units);
    }
    std::sort(known.begin(), known.end());
    Listing listing;
    ListedEntry entry;
    bool same = true;
    if (openListing(listing, rootPath, entry)) {
        do {
            if (isDirectory(entry) && !isReparsePoint(entry) && entry.name != "." && entry.name != "..")
                same = std::binary_search(known.begin(), known.end(), entry.name);
        } while (same && nextEntry(listing, entry));
        closeListing(listing);
    }
    return same;
}

// The status bar's text while a drive's table is read; posted, so it lives for the whole run.
const std::array<std::array<char, 40>, 26> readingTexts = [] {
    std::array<std::array<char, 40>, 26> texts{};
    for (int drive = 0; drive < 26; ++drive)
        snprintf(texts[drive].data(), texts[drive].size(), "Reading the file table of %c:\\...", 'A' + drive);
    return texts;
}();

} // namespace

static_assert(sizeof(wchar_t) == sizeof(uint16_t), "UTF-16 names, as Windows keeps them");

FileTable* readFileTable(const DriveSurvey* survey) {
    if (!wideRoute() || !nativeCalls())
        return nullptr;
    Reader reader;
    reader.survey = survey;
    Volume& volume = reader.volume;
    volume.handle = CreateFileA(volumeName(survey->rootPath).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (volume.handle == INVALID_HANDLE_VALUE)
        return nullptr;
    volume.scratchBytes = 2 * 65536;
    volume.scratch = static_cast<uint8_t*>(VirtualAlloc(nullptr, volume.scratchBytes, MEM_COMMIT, PAGE_READWRITE));
    FileTable* table = new FileTable;
    reader.table = table;
    std::vector<uint16_t> upcase;
    bool ok = volume.scratch && readBoot(volume);
    if (ok && survey->driveIndex >= 0 && survey->driveIndex < 26)
        PostMessageA(statusBar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(readingTexts[survey->driveIndex].data()));
    ok = ok && readTableLayout(reader) && knownVersion(reader) && readUpcase(reader, upcase);
    try {
        if (ok) {
            table->records.resize(static_cast<size_t>(reader.recordCount));
            ok = readRecords(reader);
        }
        if (ok) {
            build(reader, upcase);
            ok = findRoot(*table, survey->rootPath);
        }
    } catch (const std::bad_alloc&) {
        ok = false; // an index larger than the process can hold: the walk needs far less
    }
    if (volume.scratch)
        VirtualFree(volume.scratch, 0, MEM_RELEASE);
    CloseHandle(volume.handle);
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

void linkedFilesOf(const FileTable& table, const DriveSurvey* survey, uint32_t record, std::vector<FileMark>& marks) {
    auto range = std::equal_range(table.links.begin(), table.links.end(), TableLink{record, 0},
                                  [](const TableLink& a, const TableLink& b) { return a.parent < b.parent; });
    for (auto link = range.first; link != range.second; ++link)
        marks.push_back({link->record, clustersFor(survey, table.records[link->record].size)});
}
