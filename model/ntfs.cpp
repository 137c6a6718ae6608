#include "model/ntfs.h"

namespace ntfs {

namespace {

// Boot sector.
constexpr size_t bootOem = 0x03, bootSectorSize = 0x0B, bootClusterSectors = 0x0D, bootTotalSectors = 0x28,
                 bootMftLcn = 0x30, bootRecordClusters = 0x40, bootSerial = 0x48;
// File record header.
constexpr size_t headerUpdateOffset = 0x04, headerUpdateCount = 0x06, headerSequence = 0x10,
                 headerFirstAttribute = 0x14, headerFlags = 0x16, headerUsed = 0x18, headerBase = 0x20,
                 headerNumber = 0x2C, headerMinimum = 0x30;
// Attribute header.
constexpr size_t attrLength = 0x04, attrNonResident = 0x08, attrNameUnits = 0x09, attrNameOffset = 0x0A,
                 attrFlags = 0x0C, attrValueLength = 0x10, attrValueOffset = 0x14, attrLowestVcn = 0x10,
                 attrRunsOffset = 0x20, attrAllocated = 0x28, attrReal = 0x30, attrInitialized = 0x38,
                 attrTotalAllocated = 0x40, attrResidentHeader = 0x18, attrNonResidentHeader = 0x40,
                 attrCompressedHeader = 0x48;
// $FILE_NAME value.
constexpr size_t nameParent = 0x00, nameFlags = 0x38, nameUnits = 0x40, nameSpace = 0x41, nameText = 0x42;
constexpr uint32_t nameIndexPresent = 0x10000000; // the name is a folder's
// Attribute list entry.
constexpr size_t entryLength = 0x04, entryNameUnits = 0x06, entryHolder = 0x10, entryMinimum = 0x1A;

const uint16_t wofStream[] = {'W', 'o', 'f', 'C', 'o', 'm', 'p', 'r', 'e', 's', 's', 'e', 'd', 'D', 'a', 't', 'a'};

} // namespace

bool parseBoot(const uint8_t* sector, size_t length, Boot& boot) {
    if (length < bootBytes || memcmp(sector + bootOem, "NTFS    ", 8) != 0)
        return false;
    boot.sector = le<uint16_t>(sector + bootSectorSize);
    const uint8_t perCluster = sector[bootClusterSectors];
    // Since Windows 10 1709 a byte above 0x80 gives clusters of 2^(256 - v) sectors.
    const uint64_t sectors = perCluster <= 0x80 ? perCluster : (perCluster >= 0xF4 ? 1ull << (256 - perCluster) : 0);
    if (boot.sector < 512 || boot.sector > 4096 || (boot.sector & (boot.sector - 1)) || sectors == 0 ||
        (sectors & (sectors - 1)) || boot.sector * sectors > (2u << 20))
        return false;
    boot.cluster = static_cast<uint32_t>(boot.sector * sectors);
    const int8_t perRecord = static_cast<int8_t>(sector[bootRecordClusters]);
    const uint64_t record = perRecord > 0 ? uint64_t(perRecord) * boot.cluster
                                          : (perRecord >= -31 && perRecord < 0 ? 1ull << -perRecord : 0);
    if (record < stride || record > 65536 || (record & (record - 1)))
        return false;
    boot.recordSize = static_cast<uint32_t>(record);
    boot.clusters = le<uint64_t>(sector + bootTotalSectors) / sectors;
    boot.mftLcn = le<uint64_t>(sector + bootMftLcn);
    boot.serial = le<uint64_t>(sector + bootSerial);
    // Byte offsets within the volume are products of clusters and the cluster size: they must not
    // wrap.
    return boot.clusters > 0 && boot.clusters <= (UINT64_MAX >> 1) / boot.cluster && boot.mftLcn < boot.clusters;
}

bool decodeRuns(const uint8_t* at, const uint8_t* end, uint64_t vcn, uint64_t clusters, std::vector<Run>& runs) {
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
        // No stream has more clusters than the volume, sparse ones included.
        if (length == 0 || length > clusters || vcn > UINT64_MAX - length)
            return false;
        if (deltaBytes == 0) {
            runs.push_back({vcn, sparseLcn, length});
        } else {
            uint64_t delta = 0;
            for (unsigned i = 0; i < deltaBytes; ++i)
                delta |= static_cast<uint64_t>(at[i]) << (8 * i);
            if (deltaBytes < 8 && (at[deltaBytes - 1] & 0x80))
                delta |= ~0ull << (8 * deltaBytes);
            // lcn stays within [0, clusters), so the sum cannot overflow.
            lcn += static_cast<int64_t>(delta);
            if (lcn < 0 || static_cast<uint64_t>(lcn) >= clusters || length > clusters - static_cast<uint64_t>(lcn))
                return false;
            runs.push_back({vcn, static_cast<uint64_t>(lcn), length});
        }
        at += deltaBytes;
        vcn += length;
    }
    return true;
}

Header headerOf(const uint8_t* record, size_t size) {
    Header header;
    header.sequence = le<uint16_t>(record + headerSequence);
    header.flags = le<uint16_t>(record + headerFlags);
    header.base = le<uint64_t>(record + headerBase);
    header.used = le<uint32_t>(record + headerUsed);
    header.attributes = le<uint16_t>(record + headerFirstAttribute);
    // NTFS 3.1 keeps the record's number before its update sequence array, which then starts at 0x30.
    if (le<uint16_t>(record + headerUpdateOffset) >= headerMinimum && size >= headerMinimum)
        header.number = le<uint32_t>(record + headerNumber);
    return header;
}

size_t fixup(uint8_t* record, size_t size) {
    if (size < headerMinimum || memcmp(record, "FILE", 4) != 0)
        return 0;
    const uint16_t offset = le<uint16_t>(record + headerUpdateOffset);
    const uint16_t count = le<uint16_t>(record + headerUpdateCount);
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

Step attributeAt(const uint8_t* record, size_t offset, size_t limit, Attribute& a) {
    if (offset > limit || limit - offset < 8)
        return Step::Broken;
    a.type = le<uint32_t>(record + offset);
    if (a.type == attrEnd)
        return Step::End;
    a.length = le<uint32_t>(record + offset + attrLength);
    if (a.length < attrResidentHeader || a.length % 8 != 0 || a.length > limit - offset)
        return Step::Broken;
    a.at = record + offset;
    a.end = a.at + a.length;
    a.nonResident = a.at[attrNonResident] != 0;
    a.flags = le<uint16_t>(a.at + attrFlags);
    a.nameUnits = a.at[attrNameUnits];
    const uint16_t nameOffset = le<uint16_t>(a.at + attrNameOffset);
    if (a.nameUnits != 0 && (nameOffset > a.length || 2u * a.nameUnits > a.length - nameOffset))
        return Step::Broken;
    a.name = a.at + nameOffset;
    a.value = nullptr;
    a.valueLength = 0;
    a.runs = nullptr;
    if (!a.nonResident) {
        a.valueLength = le<uint32_t>(a.at + attrValueLength);
        const uint16_t valueOffset = le<uint16_t>(a.at + attrValueOffset);
        if (valueOffset > a.length || a.valueLength > a.length - valueOffset)
            return Step::Broken;
        a.value = a.at + valueOffset;
        return Step::Next;
    }
    if (a.length < attrNonResidentHeader)
        return Step::Broken;
    a.lowestVcn = le<uint64_t>(a.at + attrLowestVcn);
    a.allocatedSize = le<uint64_t>(a.at + attrAllocated);
    if ((a.flags & (attrCompressed | attrSparse)) && a.length >= attrCompressedHeader)
        a.allocatedSize = le<uint64_t>(a.at + attrTotalAllocated);
    a.realSize = le<uint64_t>(a.at + attrReal);
    a.initializedSize = le<uint64_t>(a.at + attrInitialized);
    const uint16_t runsOffset = le<uint16_t>(a.at + attrRunsOffset);
    if (runsOffset >= a.length)
        return Step::Broken;
    a.runs = a.at + runsOffset;
    return Step::Next;
}

size_t checkRecord(uint8_t* record, size_t size) {
    const size_t whole = fixup(record, size);
    if (whole == 0)
        return 0;
    const Header header = headerOf(record, size);
    const size_t limit = header.used < whole * stride ? header.used : whole * stride;
    size_t offset = header.attributes;
    Attribute a;
    Step step;
    while ((step = attributeAt(record, offset, limit, a)) == Step::Next)
        offset += a.length;
    if (step == Step::End && whole == size / stride)
        return SIZE_MAX;
    return offset < limit ? offset : limit;
}

bool parseFileName(const Attribute& a, FileName& name) {
    if (a.nonResident || a.valueLength < nameText)
        return false;
    name.units = a.value[nameUnits];
    name.space = a.value[nameSpace];
    if (name.units == 0 || 2u * name.units > a.valueLength - nameText)
        return false;
    name.parent = le<uint64_t>(a.value + nameParent);
    name.folder = (le<uint32_t>(a.value + nameFlags) & nameIndexPresent) != 0;
    name.text = a.value + nameText;
    return true;
}

bool listable(const uint8_t* text, size_t units) {
    if (units == 0)
        return false;
    const uint16_t first = le<uint16_t>(text);
    if (first == '.' && (units == 1 || (units == 2 && le<uint16_t>(text + 2) == '.')))
        return false;
    for (size_t i = 0; i < units; ++i) {
        const uint16_t unit = le<uint16_t>(text + 2 * i);
        if (unit == 0 || unit == '/' || unit == '\\')
            return false;
    }
    return true;
}

bool namedWofStream(const Attribute& a) {
    if (a.nameUnits != sizeof wofStream / sizeof wofStream[0])
        return false;
    for (size_t i = 0; i < a.nameUnits; ++i)
        if (le<uint16_t>(a.name + 2 * i) != wofStream[i])
            return false;
    return true;
}

bool listEntryAt(const uint8_t* list, size_t size, size_t offset, ListEntry& entry) {
    if (offset > size || size - offset < entryMinimum)
        return false;
    entry.length = le<uint16_t>(list + offset + entryLength);
    if (entry.length < entryMinimum || entry.length > size - offset)
        return false;
    entry.type = le<uint32_t>(list + offset);
    entry.named = list[offset + entryNameUnits] != 0;
    entry.holder = le<uint64_t>(list + offset + entryHolder) & recordMask;
    return true;
}

int majorVersion(const Attribute& a) {
    return a.type == attrVolumeInformation && !a.nonResident && a.valueLength >= 10 ? a.value[8] : 0;
}

} // namespace ntfs
