// NTFS as it lies on a volume, read from bytes alone: the boot sector, file records with their
// update sequence, attributes, run lists, names, sizes, reparse tags and attribute lists. Nothing
// here reads a disk or knows Windows, so it builds and is fuzzed on any host. Every length and
// offset a structure gives is checked against the bytes it describes before anything is taken
// from it, and every run against the volume's clusters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace ntfs {

template <class T> T le(const uint8_t* at) {
    T value;
    memcpy(&value, at, sizeof value);
    return value;
}

constexpr uint64_t recordMask = 0xFFFFFFFFFFFFull; // a file reference's record number
constexpr size_t stride = 512;                    // of the update sequence, whatever the sector size
constexpr uint32_t volumeRecord = 3, rootRecord = 5, upcaseRecord = 10;
constexpr uint32_t firstUserRecord = 16; // below it the volume's own files, hidden from listings

enum : uint32_t {
    attrStandard = 0x10,
    attrList = 0x20,
    attrFileName = 0x30,
    attrVolumeInformation = 0x70,
    attrData = 0x80,
    attrBitmap = 0xB0,
    attrReparse = 0xC0,
    attrEnd = 0xFFFFFFFF
};

// The boot sector's figures.
struct Boot {
    uint32_t sector = 0, cluster = 0, recordSize = 0; // bytes
    uint64_t clusters = 0;                            // of the whole volume
    uint64_t mftLcn = 0;
    uint64_t serial = 0; // the volume's serial number; Windows reports its low 32 bits
};
constexpr size_t bootBytes = 512;
// An NTFS boot sector of a geometry this reader knows, whose volume is within what 64-bit byte
// offsets reach.
bool parseBoot(const uint8_t* sector, size_t length, Boot& boot);

constexpr uint64_t sparseLcn = UINT64_MAX;
struct Run {
    uint64_t vcn, lcn, length; // lcn sparseLcn: no clusters
};

// The runs of one extent of a non-resident attribute, starting at vcn: false when a run is empty,
// reaches beyond the volume's clusters, or its VCNs wrap.
bool decodeRuns(const uint8_t* at, const uint8_t* end, uint64_t vcn, uint64_t clusters, std::vector<Run>& runs);

// File record header.
struct Header {
    uint16_t sequence = 0;
    uint16_t flags = 0;        // 1 in use, 2 a folder
    uint64_t base = 0;         // the base record's reference; 0 in a base record
    uint32_t used = 0;         // bytes
    uint16_t attributes = 0;   // offset of the first attribute
    int64_t number = -1;       // the record's own number, where the volume keeps it (NTFS 3.1)
};
enum : uint16_t { recordInUseFlag = 1, recordFolderFlag = 2 };
// The header of a record of size bytes that passed its update sequence check.
Header headerOf(const uint8_t* record, size_t size);

// Checks the update sequence of a record and puts back each stride's last two bytes: the number of
// leading strides found whole (0 when not even the header is a record's).
size_t fixup(uint8_t* record, size_t size);

// One attribute of a record, checked to lie within the bytes given.
struct Attribute {
    uint32_t type = 0;
    const uint8_t* at = nullptr;
    uint32_t length = 0;
    bool nonResident = false;
    uint8_t nameUnits = 0;
    const uint8_t* name = nullptr; // UTF-16, nameUnits long
    uint16_t flags = 0;
    const uint8_t* value = nullptr; // resident
    uint32_t valueLength = 0;
    // Non-resident; the sizes are valid only in the extent whose lowest VCN is 0.
    uint64_t lowestVcn = 0, realSize = 0, initializedSize = 0;
    uint64_t allocatedSize = 0; // for a sparse or compressed stream, the clusters really held
    const uint8_t* runs = nullptr;
    const uint8_t* end = nullptr; // of the attribute
};
enum : uint16_t { attrCompressed = 0x0001, attrSparse = 0x8000 };
enum class Step { Next, End, Broken };
// The attribute at offset of a record whose first limit bytes can be trusted.
Step attributeAt(const uint8_t* record, size_t offset, size_t limit, Attribute& a);

// How much of a record, its update sequence applied, can be trusted: all of it (SIZE_MAX) when it
// is sound; else its leading whole strides, up to the first attribute that does not lie whole
// within them or within the record.
size_t checkRecord(uint8_t* record, size_t size);

// Hands take each attribute of a sound record; false when one does not lie within it or take
// refuses it.
template <class Take> bool eachAttribute(const uint8_t* record, size_t size, Take take) {
    const Header header = headerOf(record, size);
    size_t offset = header.attributes;
    const size_t end = header.used < size ? header.used : size;
    Attribute a;
    for (Step step; (step = attributeAt(record, offset, end, a)) != Step::End; offset += a.length)
        if (step == Step::Broken || !take(a))
            return false;
    return true;
}

// A $FILE_NAME's value.
struct FileName {
    uint64_t parent = 0; // reference, with the sequence number
    uint8_t units = 0;
    uint8_t space = 0; // 0 POSIX, 1 Win32, 2 DOS, 3 both
    bool folder = false; // the name's own flags say it is a folder's
    const uint8_t* text = nullptr; // UTF-16
};
enum : uint8_t { spacePosix = 0, spaceWin32 = 1, spaceDos = 2, spaceBoth = 3 };
bool parseFileName(const Attribute& a, FileName& name);
// Whether a listing can give the name: not ".", "..", empty, nor holding a NUL, '/' or '\'.
bool listable(const uint8_t* text, size_t units);

// The stream CompactOS keeps a file's data in, compressed.
bool namedWofStream(const Attribute& a);

// One entry of an attribute list.
struct ListEntry {
    uint32_t type = 0;
    bool named = false;
    uint64_t holder = 0; // the record number that holds the attribute
    size_t length = 0;
};
// The entry at offset of a list of size bytes; false when it does not lie within them.
bool listEntryAt(const uint8_t* list, size_t size, size_t offset, ListEntry& entry);

// The version of NTFS a $VOLUME_INFORMATION value gives, or 0.
int majorVersion(const Attribute& a);

} // namespace ntfs
