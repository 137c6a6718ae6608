#!/usr/bin/env python3
"""Makes, from the NTFS fixture's seed volume, the hostile volumes that were found against the
file-table reader, each with one fault in otherwise sound records, as gzip'd regression inputs of
the fuzz target: craft-findings.py SEED.img OUTPUT-FOLDER."""
import gzip
import os
import struct
import sys


class Volume:
    def __init__(self, data):
        self.data = bytearray(data)
        self.sector = struct.unpack_from("<H", self.data, 0x0B)[0]
        self.cluster = self.sector * self.data[0x0D]
        per = struct.unpack_from("<b", self.data, 0x40)[0]
        self.record_size = per * self.cluster if per > 0 else 1 << -per
        self.mft = struct.unpack_from("<Q", self.data, 0x30)[0] * self.cluster

    # Records of the first run of $MFT, which in the seed holds them all.
    def offset(self, number):
        return self.mft + number * self.record_size

    def read(self, number):
        at = self.offset(number)
        record = bytearray(self.data[at:at + self.record_size])
        usa, count = struct.unpack_from("<HH", record, 4)
        for i in range(1, count):
            record[i * 512 - 2:i * 512] = record[usa + 2 * i:usa + 2 * i + 2]
        return record

    def write(self, number, record):
        record = bytearray(record)
        usa, count = struct.unpack_from("<HH", record, 4)
        for i in range(1, count):
            record[usa + 2 * i:usa + 2 * i + 2] = record[i * 512 - 2:i * 512]
            record[i * 512 - 2:i * 512] = record[usa:usa + 2]
        at = self.offset(number)
        self.data[at:at + self.record_size] = record


def attributes(record):
    at = struct.unpack_from("<H", record, 0x14)[0]
    while struct.unpack_from("<I", record, at)[0] != 0xFFFFFFFF:
        length = struct.unpack_from("<I", record, at + 4)[0]
        yield struct.unpack_from("<I", record, at)[0], at, length
        at += length


def find(record, kind):
    return next(at for t, at, _ in attributes(record) if t == kind)


def name_of(record):
    at = find(record, 0x30)
    value = at + struct.unpack_from("<H", record, at + 0x14)[0]
    units = record[value + 0x40]
    return record[value + 0x42:value + 0x42 + 2 * units].decode("utf-16-le"), value


def record_named(volume, name, first=16, last=200):
    for number in range(first, last):
        record = volume.read(number)
        if record[:4] == b"FILE" and record[0x16] & 1:
            try:
                if name_of(record)[0] == name:
                    return number, record
            except StopIteration:
                pass
    raise KeyError(name)


def reference(number, record):
    return number | struct.unpack_from("<H", record, 0x10)[0] << 48


def runs_at(record):
    at = find(record, 0x80)
    return at + struct.unpack_from("<H", record, at + 0x20)[0]


def set_runs(volume, record, runs):
    """Replaces record 0's data runs, the attributes after them moved to make room."""
    data = find(record, 0x80)
    length = struct.unpack_from("<I", record, data + 4)[0]
    at = runs_at(record)
    grown = (at - data + len(runs) + 1 + 7) // 8 * 8
    used = struct.unpack_from("<I", record, 0x18)[0]
    assert used - length + grown <= volume.record_size
    rest = record[data + length:used]
    record[at:data + grown] = runs + bytes(data + grown - at - len(runs))
    record[data + grown:data + grown + len(rest)] = rest
    struct.pack_into("<I", record, data + 4, grown)
    struct.pack_into("<I", record, 0x18, used - length + grown)
    del record[volume.record_size:]
    volume.write(0, record)


def crafted(seed):
    volumes = {}

    # $MFT's runs: 2^40 clusters from its own start, then a sparse run of 2^39: offsets that wrap
    # made the reader spin.
    v = Volume(seed)
    zero = v.read(0)
    set_runs(v, zero, bytes([0x46]) + (1 << 40).to_bytes(6, "little") + (v.mft // v.cluster).to_bytes(4, "little")
             + bytes([0x06]) + (1 << 39).to_bytes(6, "little"))
    volumes["runs-beyond-the-volume"] = v

    # Sizes claiming 2^28 records and no bitmap: a table of 4 GB made before anything was read;
    # then 2^30 records with a bitmap of 2^27 bytes to match.
    for name, records, bitmap_bytes in (("records-claimed-beyond-the-volume", 1 << 28, 0),
                                         ("bitmap-claimed-beyond-the-volume", 1 << 30, 1 << 27)):
        v = Volume(seed)
        zero = v.read(0)
        struct.pack_into("<QQQ", zero, find(zero, 0x80) + 0x28, *[records * v.record_size] * 3)
        bitmap = find(zero, 0xB0)
        if not bitmap_bytes:
            struct.pack_into("<I", zero, bitmap, 0xF0)
        elif zero[bitmap + 8]:
            struct.pack_into("<QQQ", zero, bitmap + 0x28, *[bitmap_bytes] * 3)
        v.write(0, zero)
        volumes[name] = v

    # $MFT's runs twice over the same clusters: records read twice and others never.
    v = Volume(seed)
    zero = v.read(0)
    at = runs_at(zero)
    header = zero[at]
    length = int.from_bytes(zero[at + 1:at + 1 + (header & 15)], "little")
    lcn = int.from_bytes(zero[at + 1 + (header & 15):at + 1 + (header & 15) + (header >> 4)], "little")
    half = (length + 1) // 2
    set_runs(v, zero, bytes([0x42]) + half.to_bytes(2, "little") + lcn.to_bytes(4, "little")
             + bytes([0x42]) + half.to_bytes(2, "little") + bytes(4))
    volumes["table-runs-overlapping"] = v

    # A folder whose only name's parent is its own child.
    v = Volume(seed)
    a, record_a = record_named(v, "A")
    b, record_b = record_named(v, "B")
    _, value = name_of(record_a)
    struct.pack_into("<Q", record_a, value, reference(b, record_b))
    v.write(a, record_a)
    volumes["folder-below-its-own-child"] = v

    # Folders named "..", "." and "a\b", which no listing gives.
    v = Volume(seed)
    for old, new in (("Dd", ".."), ("C", "."), ("Eee", "a\\b")):
        number, record = record_named(v, old)
        _, value = name_of(record)
        record[value + 0x42:value + 0x42 + 2 * len(new)] = new.encode("utf-16-le")
        v.write(number, record)
    volumes["names-no-listing-gives"] = v

    # The root with a second name, in one of its own subfolders.
    v = Volume(seed)
    a, record_a = record_named(v, "A")
    root = v.read(5)
    at = find(root, 0x30)
    length = struct.unpack_from("<I", root, at + 4)[0]
    copy = bytearray(root[at:at + length])
    value = struct.unpack_from("<H", copy, 0x14)[0]
    struct.pack_into("<Q", copy, value, reference(a, record_a))
    copy[value + 0x42:value + 0x44] = "L".encode("utf-16-le") # the root's own name is "."
    used = struct.unpack_from("<I", root, 0x18)[0]
    assert used + length <= v.record_size
    root[at + length:used + length] = copy + root[at + length:used]
    root = root[:v.record_size]
    struct.pack_into("<I", root, 0x18, used + length)
    v.write(5, root)
    volumes["root-named-in-its-subfolder"] = v
    # An attribute list of $MFT whose thousands of entries all name one record holding 300 runs:
    # each entry read that record again and merged its runs into all runs so far.
    v = Volume(seed)
    zero = v.read(0)
    log = v.read(2)
    at = runs_at(log)
    header = log[at]
    clusters = int.from_bytes(log[at + 1:at + 1 + (header & 15)], "little")
    lcn = int.from_bytes(log[at + 1 + (header & 15):at + 1 + (header & 15) + (header >> 4)], "little")
    holder = 20
    entries = clusters * v.cluster // 0x20
    listing = bytearray()
    for i in range(entries):
        listing += struct.pack("<IHBBQQH", 0x80, 0x20, 0, 0x1A, 1 << 20, holder | 1 << 48, i) + bytes(4)
    v.data[lcn * v.cluster:lcn * v.cluster + len(listing)] = listing  # over $LogFile, which no reader reads
    attribute = bytearray(0x48)
    struct.pack_into("<IIBBHHH", attribute, 0, 0x20, 0x48, 1, 0, 0x40, 0, 0x7F)
    struct.pack_into("<QQHH", attribute, 0x10, 0, clusters - 1, 0x40, 0)
    struct.pack_into("<QQQ", attribute, 0x28, clusters * v.cluster, len(listing), len(listing))
    attribute[0x40:0x47] = bytes([0x42]) + clusters.to_bytes(2, "little") + lcn.to_bytes(4, "little")
    used = struct.unpack_from("<I", zero, 0x18)[0]
    first = find(zero, 0x30)
    zero[first:used + 0x48] = attribute + zero[first:used]
    del zero[v.record_size:]
    struct.pack_into("<I", zero, 0x18, used + 0x48)
    v.write(0, zero)
    record = bytearray(v.record_size)
    record[:4] = b"FILE"
    struct.pack_into("<HHQHHHHII", record, 4, 0x30, v.record_size // 512 + 1, 0, 1, 0, 0x38, 1, 0, v.record_size)
    struct.pack_into("<QHHI", record, 0x20, 1 << 48, 1, 0, holder)
    struct.pack_into("<H", record, 0x30, 1)
    runs = bytes([0x01, 0x01]) * 300 + bytes(1)
    length = (0x40 + len(runs) + 7) // 8 * 8
    struct.pack_into("<IIBBHHH", record, 0x38, 0x80, length, 1, 0, 0x40, 0, 0)
    struct.pack_into("<QQHH", record, 0x48, 1 << 20, (1 << 20) + 299, 0x40, 0)
    record[0x38 + 0x40:0x38 + 0x40 + len(runs)] = runs
    struct.pack_into("<I", record, 0x38 + length, 0xFFFFFFFF)
    struct.pack_into("<I", record, 0x18, 0x38 + length + 8)
    v.write(holder, record)
    volumes["table-list-naming-one-record-again"] = v
    return volumes


def main():
    seed = open(sys.argv[1], "rb").read()
    os.makedirs(sys.argv[2], exist_ok=True)
    for name, volume in crafted(seed).items():
        with gzip.open(os.path.join(sys.argv[2], name + ".img.gz"), "wb", 9) as out:
            out.write(bytes(volume.data))


if __name__ == "__main__":
    main()
