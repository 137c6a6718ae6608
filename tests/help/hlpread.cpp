// hlpread: reads a WinHelp file back and checks it, written apart from the compiler (tools/hlpc) so that
// the two do not share a misreading of the format.
//
//   hlpread FILE.hlp [--title TEXT] [--context NUMBER=TOPIC_TITLE]... [--list]
//
// Checks the header and the internal directory (a B+ tree, walked and searched), that every internal
// file the engine needs is there, |SYSTEM, |FONT, every record of |TOPIC, |CONTEXT and |CTXOMAP, that
// every link and context number leads to a topic, that every topic can be reached from the contents
// topic through links, and the expectations given. Prints one line per check and "N passed, M failed";
// exits with 1 when a check failed. --list prints the topics with their text.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Broken : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string hex(uint32_t v) {
    char s[16];
    std::snprintf(s, sizeof s, "0x%X", v);
    return s;
}

// Bounds-checked little-endian access to a range of bytes.
class Bytes {
public:
    Bytes(const uint8_t* data, size_t size, std::string what) : p(data), n(size), name(std::move(what)) {}

    size_t size() const { return n; }
    Bytes sub(size_t at, size_t len) const {
        need(at, len);
        return Bytes(p + at, len, name);
    }
    uint8_t u8(size_t at) const {
        need(at, 1);
        return p[at];
    }
    uint16_t u16(size_t at) const { return uint16_t(u8(at) | u8(at + 1) << 8); }
    uint32_t u32(size_t at) const { return uint32_t(u16(at)) | uint32_t(u16(at + 2)) << 16; }
    std::string cstr(size_t at) const {
        std::string s;
        for (size_t i = at;; ++i) {
            char c = char(u8(i));
            if (!c)
                return s;
            s += c;
        }
    }
    std::vector<uint8_t> raw(size_t at, size_t len) const {
        need(at, len);
        return std::vector<uint8_t>(p + at, p + at + len);
    }

private:
    void need(size_t at, size_t len) const {
        if (at > n || len > n - at)
            throw Broken(name + ": reading " + std::to_string(len) + " bytes at " + std::to_string(at) +
                         " runs past its end (" + std::to_string(n) + " bytes)");
    }
    const uint8_t* p;
    size_t n;
    std::string name;
};

class Report {
public:
    void check(bool ok, const std::string& what, const std::string& detail = "") {
        (ok ? passed : failed)++;
        std::cout << (ok ? "ok   - " : "FAIL - ") << what << (ok || detail.empty() ? "" : ": " + detail)
                  << "\n";
    }
    // Runs a group of checks; a broken structure fails the group and skips the rest of it.
    bool stage(const std::string& what, const std::function<void()>& body) {
        try {
            body();
            return true;
        } catch (const Broken& e) {
            check(false, what, e.what());
            return false;
        }
    }
    int passed = 0, failed = 0;
};

// ---- B+ trees ----

struct Tree {
    uint16_t flags, pageSize, root, pages, levels;
    uint32_t count;
    std::string structure;
    Bytes data;
    std::function<size_t(const Bytes&, size_t)> keyLength;
    size_t valueLength;
};

Tree openTree(const Bytes& file, std::function<size_t(const Bytes&, size_t)> keyLength, size_t valueLength) {
    if (file.u16(0) != 0x293B)
        throw Broken("B+ tree magic is " + hex(file.u16(0)) + ", not 0x293B");
    Tree t{file.u16(2),  file.u16(4), file.u16(26),    file.u16(30),         file.u16(32),
           file.u32(34), "",          file.sub(38, 0), std::move(keyLength), valueLength};
    for (size_t i = 6; i < 22 && file.u8(i); ++i)
        t.structure += char(file.u8(i));
    if (file.u16(28) != 0xFFFF)
        throw Broken("B+ tree header field that is always -1 is " + hex(file.u16(28)));
    if (t.pageSize < 16 || t.levels < 1 || t.root >= t.pages)
        throw Broken("B+ tree header is inconsistent");
    t.data = file.sub(38, size_t(t.pages) * t.pageSize);
    return t;
}

Bytes treePage(const Tree& t, uint16_t page) {
    if (page >= t.pages)
        throw Broken("B+ tree page " + std::to_string(page) + " does not exist");
    return t.data.sub(size_t(page) * t.pageSize, t.pageSize);
}

using Entry = std::pair<std::vector<uint8_t>, std::vector<uint8_t>>; // key, value

// All entries in leaf order, checking the page links, the free-byte counts and the entry count.
std::vector<Entry> treeEntries(const Tree& t) {
    uint16_t page = t.root;
    for (int level = 1; level < t.levels; ++level)
        page = treePage(t, page).u16(4);
    std::vector<Entry> entries;
    std::set<uint16_t> visited;
    uint16_t previous = 0xFFFF;
    while (page != 0xFFFF) {
        if (!visited.insert(page).second)
            throw Broken("B+ tree leaf pages form a loop");
        Bytes p = treePage(t, page);
        if (p.u16(4) != previous)
            throw Broken("B+ tree leaf page " + std::to_string(page) + " names the wrong previous page");
        size_t at = 8;
        for (int i = 0; i < int16_t(p.u16(2)); ++i) {
            size_t k = t.keyLength(p, at);
            entries.push_back({p.raw(at, k), p.raw(at + k, t.valueLength)});
            at += k + t.valueLength;
        }
        if (p.u16(0) != t.pageSize - at)
            throw Broken("B+ tree leaf page " + std::to_string(page) + " gives " + std::to_string(p.u16(0)) +
                         " free bytes, but " + std::to_string(t.pageSize - at) + " are free");
        previous = page;
        page = p.u16(6);
    }
    if (entries.size() != t.count)
        throw Broken("B+ tree holds " + std::to_string(entries.size()) + " entries, its header says " +
                     std::to_string(t.count));
    return entries;
}

// Finds a key the way the engine does: down the index pages from the root, then along one leaf page.
// compareAt compares the key stored at a place of a page with the key sought, like strcmp.
std::optional<std::vector<uint8_t>> treeFind(const Tree& t,
                                             const std::function<int(const Bytes&, size_t)>& compareAt) {
    uint16_t page = t.root;
    for (int level = 1; level < t.levels; ++level) {
        Bytes p = treePage(t, page);
        uint16_t child = p.u16(4);
        size_t at = 6;
        for (int i = 0; i < int16_t(p.u16(2)); ++i) {
            if (compareAt(p, at) > 0)
                break;
            at += t.keyLength(p, at);
            child = p.u16(at);
            at += 2;
        }
        page = child;
    }
    Bytes p = treePage(t, page);
    size_t at = 8;
    for (int i = 0; i < int16_t(p.u16(2)); ++i) {
        size_t k = t.keyLength(p, at);
        if (compareAt(p, at) == 0)
            return p.raw(at + k, t.valueLength);
        at += k + t.valueLength;
    }
    return std::nullopt;
}

size_t stringKey(const Bytes& p, size_t at) {
    return p.cstr(at).size() + 1;
}
size_t longKey(const Bytes&, size_t) {
    return 4;
}

uint32_t le32(const std::vector<uint8_t>& v) {
    return uint32_t(v[0] | v[1] << 8 | v[2] << 16 | uint32_t(v[3]) << 24);
}

// ---- |TOPIC ----

// LZ77 as the help engine unpacks it: a flag byte, low bit first; a set bit is a 16-bit code of a
// 12-bit distance minus one and a 4-bit length minus three.
std::vector<uint8_t> unpack(const Bytes& in) {
    std::vector<uint8_t> out;
    size_t i = 0;
    while (i < in.size()) {
        uint8_t flags = in.u8(i++);
        for (int bit = 0; bit < 8 && i < in.size(); ++bit) {
            if (flags >> bit & 1) {
                uint16_t code = in.u16(i);
                i += 2;
                size_t distance = (code & 0xFFF) + 1, length = (code >> 12) + 3;
                if (distance > out.size())
                    throw Broken("LZ77 data refers before its start");
                for (size_t k = 0; k < length; ++k)
                    out.push_back(out[out.size() - distance]);
            } else {
                out.push_back(in.u8(i++));
            }
        }
    }
    return out;
}

struct Topic {
    uint32_t position; // of its header record
    uint32_t offset;   // topic offset, counted in characters
    uint32_t number, browseBack, browseForward, nextHeader;
    std::string title;
    std::string text;
    std::vector<int32_t> links; // context hashes
};

struct Paragraph {
    std::string text;
    std::vector<int32_t> links;
    uint32_t length; // TopicLength, added to topic offsets
};

// Compressed integers: the low bit of the first byte tells the short form from the long one.
struct Cursor {
    const Bytes& b;
    size_t at;
    uint8_t byte() { return b.u8(at++); }
    uint16_t word() {
        uint16_t v = b.u16(at);
        at += 2;
        return v;
    }
    uint32_t dword() {
        uint32_t v = b.u32(at);
        at += 4;
        return v;
    }
    unsigned cushort() { return b.u8(at) & 1 ? word() / 2u : byte() / 2u; }
    int cshort() { return b.u8(at) & 1 ? int(word() / 2) - 0x4000 : int(byte() / 2) - 0x40; }
    uint32_t culong() { return b.u8(at) & 1 ? dword() / 2 : word() / 2u; }
};

Paragraph readParagraph(const Bytes& data1, const Bytes& data2, unsigned fontCount) {
    Paragraph par;
    Cursor c{data1, 0};
    c.culong(); // text size
    par.length = c.cushort();
    if (par.length != data2.size())
        throw Broken("text length " + std::to_string(par.length) + " differs from the text's " +
                     std::to_string(data2.size()) + " bytes");
    c.at += 4; // unknown byte, biased byte, id
    unsigned bits = c.word();
    if (bits & 0x0001)
        c.culong();
    for (unsigned bit : {0x0002u, 0x0004u, 0x0008u, 0x0010u, 0x0020u, 0x0040u})
        if (bits & bit)
            c.cshort();
    if (bits & 0x0100)
        c.at += 3; // border kind and width
    if (bits & 0x0200) {
        int tabs = c.cshort();
        for (int i = 0; i < tabs; ++i)
            if (c.cushort() & 0x4000)
                c.cushort();
    }
    size_t textAt = 0;
    auto nextString = [&] {
        std::string s = data2.cstr(textAt);
        textAt += s.size() + 1;
        par.text += s;
    };
    for (;;) {
        nextString();
        uint8_t command = c.byte();
        if (command == 0xFF)
            break;
        switch (command) {
        case 0x80: {
            unsigned font = c.word();
            if (font >= fontCount)
                throw Broken("font " + std::to_string(font) + " is not in |FONT");
            break;
        }
        case 0x81:
            par.text += '\n';
            break;
        case 0x82:
            par.text += '\n';
            break;
        case 0x83:
            par.text += '\t';
            break;
        case 0x89: // end of a hotspot
        case 0x8B: // non-breaking space
        case 0x8C: // non-breaking hyphen
            break;
        case 0xE2:
        case 0xE3:
        case 0xE6:
        case 0xE7:
            par.links.push_back(int32_t(c.dword()));
            break;
        default:
            throw Broken("formatting command " + hex(command) + " is not one this reader knows");
        }
    }
    if (c.at != data1.size())
        throw Broken("formatting data ends " + std::to_string(data1.size() - c.at) +
                     " bytes before its record");
    if (textAt != data2.size())
        throw Broken("text has " + std::to_string(data2.size() - textAt) + " bytes no command shows");
    return par;
}

struct TopicFile {
    std::vector<Topic> topics;
    size_t records = 0, blocks = 0;
};

TopicFile readTopics(const Bytes& file, size_t blockSize, unsigned fontCount) {
    constexpr size_t header = 12, stride = 0x4000;
    TopicFile tf;
    tf.blocks = (file.size() + blockSize - 1) / blockSize;
    std::vector<std::vector<uint8_t>> blocks;
    for (size_t b = 0; b < tf.blocks; ++b) {
        Bytes block = file.sub(b * blockSize, std::min(blockSize, file.size() - b * blockSize));
        blocks.push_back(unpack(block.sub(header, block.size() - header)));
        if (blocks.back().size() > stride)
            throw Broken("block " + std::to_string(b) + " unpacks to more than 16 KB");
    }

    std::vector<uint32_t> firstInBlock(tf.blocks, 0xFFFFFFFF), lastInBlock(tf.blocks, 0xFFFFFFFF);
    std::vector<uint32_t> lastHeaderBefore(tf.blocks + 1, 0xFFFFFFFF);
    std::vector<uint32_t> chars(tf.blocks, 0);
    uint32_t position = header, previous = 0xFFFFFFFF;
    std::set<uint32_t> seen;
    while (position != 0xFFFFFFFF) {
        if (!seen.insert(position).second)
            throw Broken("the record chain loops at " + hex(position));
        size_t block = (position - header) / stride, offset = (position - header) % stride;
        if (position < header || block >= tf.blocks)
            throw Broken("record position " + hex(position) + " is outside |TOPIC");
        Bytes data(blocks[block].data(), blocks[block].size(), "|TOPIC block " + std::to_string(block));
        Bytes r = data.sub(offset, data.u32(offset));
        uint32_t size = r.u32(0), length2 = r.u32(4), prev = r.u32(8), next = r.u32(12), length1 = r.u32(16);
        uint8_t type = r.u8(20);
        std::string where = "record at " + hex(position);
        if (prev != previous)
            throw Broken(where + " names " + hex(prev) + " as the previous record, not " + hex(previous));
        if (length1 < 21 || length1 > size || size - length1 != length2)
            throw Broken(where + " has inconsistent lengths");
        if (firstInBlock[block] == 0xFFFFFFFF)
            firstInBlock[block] = position;
        lastInBlock[block] = position;
        Bytes data1 = r.sub(21, length1 - 21), data2 = r.sub(length1, length2);
        if (type == 0x02) {
            if (data1.size() != 28)
                throw Broken(where + ": a topic header is 28 bytes, not " + std::to_string(data1.size()));
            Topic t{position,
                    uint32_t(block << 15 | chars[block]),
                    data1.u32(12),
                    data1.u32(4),
                    data1.u32(8),
                    data1.u32(24),
                    data2.cstr(0),
                    "",
                    {}};
            if (t.number != tf.topics.size())
                throw Broken(where + ": topic number " + std::to_string(t.number) + " out of sequence");
            if (!tf.topics.empty() && tf.topics.back().nextHeader != position)
                throw Broken("topic \"" + tf.topics.back().title + "\" names the wrong next topic");
            tf.topics.push_back(t);
            for (size_t b = block + 1; b <= tf.blocks; ++b)
                lastHeaderBefore[b] = position;
        } else if (type == 0x20) {
            if (tf.topics.empty())
                throw Broken(where + ": text before the first topic header");
            Paragraph par;
            try {
                par = readParagraph(data1, data2, fontCount);
            } catch (const Broken& e) {
                throw Broken(where + ": " + e.what());
            }
            chars[block] += par.length;
            tf.topics.back().text += par.text;
            tf.topics.back().links.insert(tf.topics.back().links.end(), par.links.begin(), par.links.end());
        } else {
            throw Broken(where + " has record type " + hex(type) + ", which this reader does not know");
        }
        ++tf.records;
        previous = position;
        position = next;
    }
    if (tf.topics.empty())
        throw Broken("|TOPIC has no topic");
    if (tf.topics.back().nextHeader != 0xFFFFFFFF)
        throw Broken("the last topic names a next topic");

    for (size_t b = 0; b < tf.blocks; ++b) {
        Bytes h = file.sub(b * blockSize, header);
        uint32_t lastBefore = b ? lastInBlock[b - 1] : 0xFFFFFFFF;
        if (h.u32(0) != lastBefore || h.u32(4) != firstInBlock[b] || h.u32(8) != lastHeaderBefore[b])
            throw Broken("the header of block " + std::to_string(b) + " does not match its records");
    }
    return tf;
}

// For --list: the help file's Windows-1252 text as UTF-8, the few signs of 0x80..0x9F it uses spelt out.
std::string toUtf8(const std::string& text) {
    static const std::map<unsigned char, const char*> high = {
        {0x85, "\u2026"}, {0x91, "\u2018"}, {0x92, "\u2019"}, {0x93, "\u201C"},
        {0x94, "\u201D"}, {0x95, "\u2022"}, {0x96, "\u2013"}, {0x97, "\u2014"},
    };
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x80)
            out += char(c);
        else if (c >= 0xA0)
            out += {char(0xC0 | c >> 6), char(0x80 | (c & 0x3F))};
        else
            out += high.count(c) ? high.at(c) : "?";
    }
    return out;
}

std::vector<uint8_t> readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

} // namespace

int main(int argc, char** argv) {
    const char* const usage =
        "usage: hlpread FILE.hlp [--title TEXT] [--context NUMBER=TOPIC_TITLE]... [--list]\n";
    std::string path, expectedTitle;
    std::map<uint32_t, std::string> expectedContexts;
    bool list = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--title" && i + 1 < argc) {
            expectedTitle = argv[++i];
        } else if (a == "--context" && i + 1 < argc) {
            std::string v = argv[++i];
            size_t eq = v.find('=');
            if (eq == 0 || eq == std::string::npos || v.find_first_not_of("0123456789") != eq) {
                std::cerr << usage;
                return 2;
            }
            expectedContexts[uint32_t(std::stoul(v.substr(0, eq)))] = v.substr(eq + 1);
        } else if (a == "--list") {
            list = true;
        } else if (path.empty() && a[0] != '-') {
            path = a;
        } else {
            std::cerr << usage;
            return 2;
        }
    }
    if (path.empty()) {
        std::cerr << usage;
        return 2;
    }

    Report report;
    std::vector<uint8_t> bytes;
    try {
        bytes = readWhole(path);
    } catch (const std::exception& e) {
        report.check(false, "read the file", e.what());
        std::cout << "0 passed, 1 failed\n";
        return 1;
    }
    Bytes whole(bytes.data(), bytes.size(), path);

    std::map<std::string, Bytes> files; // internal files, without their 9-byte headers
    auto internalFile = [&](uint32_t at, const std::string& name) {
        uint32_t reserved = whole.u32(at), used = whole.u32(at + 4);
        if (reserved < used + 9)
            throw Broken(name + ": reserves " + std::to_string(reserved) + " bytes for " +
                         std::to_string(used) + " bytes and its header");
        whole.sub(at, reserved);
        return Bytes(bytes.data() + at + 9, used, name);
    };

    bool ok = report.stage("file header", [&] {
        report.check(whole.u32(0) == 0x00035F3F, "magic 0x00035F3F", hex(whole.u32(0)));
        report.check(whole.u32(12) == bytes.size(), "file size in the header matches the file",
                     std::to_string(whole.u32(12)) + " != " + std::to_string(bytes.size()));
        report.check(whole.u32(8) == 0xFFFFFFFF, "no free list");
    });

    ok = ok && report.stage("internal directory", [&] {
        Bytes dir = internalFile(whole.u32(4), "directory");
        Tree t = openTree(dir, stringKey, 4);
        report.check((t.flags & 0x0400) && t.structure == "z4", "directory is a B+ tree of names and offsets",
                     "flags " + hex(t.flags) + ", structure \"" + t.structure + "\"");
        std::vector<Entry> entries = treeEntries(t);
        std::string previous;
        bool sorted = true, found = true;
        std::vector<std::pair<uint32_t, uint32_t>> extents{{whole.u32(4), whole.u32(whole.u32(4))}};
        for (const auto& [key, value] : entries) {
            std::string name(key.begin(), key.end() - 1);
            sorted = sorted && (previous.empty() || previous < name);
            previous = name;
            found = found && treeFind(t, [&](const Bytes& p, size_t at) { return p.cstr(at).compare(name); });
            files.emplace(name, internalFile(le32(value), name));
            extents.push_back({le32(value), whole.u32(le32(value))});
        }
        report.check(sorted, "directory names are in ascending order");
        report.check(found, "every directory entry is found through the index pages");
        std::sort(extents.begin(), extents.end());
        bool apart = true;
        for (size_t i = 1; i < extents.size(); ++i)
            apart = apart && extents[i - 1].first + extents[i - 1].second <= extents[i].first;
        report.check(apart, "internal files do not overlap");
        for (const char* name : {"|SYSTEM", "|TOPIC", "|CONTEXT", "|CTXOMAP", "|FONT"})
            report.check(files.count(name), std::string("internal file ") + name + " is present");
        for (const char* name : {"|SYSTEM", "|TOPIC", "|CONTEXT", "|CTXOMAP", "|FONT"})
            if (!files.count(name))
                throw Broken(std::string(name) + " is missing");
    });

    std::string title;
    uint32_t contents = 0xFFFFFFFF;
    size_t blockSize = 0;
    ok = ok && report.stage("|SYSTEM", [&] {
        const Bytes& s = files.at("|SYSTEM");
        report.check(s.u16(0) == 0x036C && s.u16(4) == 1, "|SYSTEM magic 0x036C, major version 1");
        report.check(s.u16(2) > 16,
                     "version 1." + std::to_string(s.u16(2)) + " has |SYSTEM records and |CONTEXT");
        uint16_t flags = s.u16(10);
        report.check(flags == 4 || flags == 8, "topic blocks flagged LZ77 (" + hex(flags) + ")");
        blockSize = flags == 8 ? 2048 : 4096;
        size_t at = 12;
        bool window = false;
        while (at < s.size()) {
            uint16_t type = s.u16(at), size = s.u16(at + 2);
            Bytes data = s.sub(at + 4, size);
            if (type == 1)
                title = data.cstr(0);
            if (type == 3 && size == 4)
                contents = data.u32(0);
            if (type == 6) {
                report.check(size == 90, "window record is 90 bytes");
                window = window || (data.cstr(12) == "main" && data.cstr(21) == title);
            }
            at += 4 + size;
        }
        report.check(at == s.size(), "|SYSTEM records end where the file ends");
        report.check(!title.empty(), "|SYSTEM has a title", "no title record");
        if (!expectedTitle.empty())
            report.check(title == expectedTitle, "title is \"" + expectedTitle + "\"",
                         "it is \"" + title + "\"");
        report.check(contents != 0xFFFFFFFF, "|SYSTEM names the contents topic");
        report.check(window, "the main window's caption is the title");
    });

    unsigned fontCount = 0;
    ok = ok && report.stage("|FONT", [&] {
        const Bytes& f = files.at("|FONT");
        unsigned faces = f.u16(0), descriptors = f.u16(2), faceAt = f.u16(4), descriptorAt = f.u16(6);
        report.check(faces > 0 && descriptors > 0, "|FONT has face names and font descriptors");
        size_t faceLength = (descriptorAt - faceAt) / faces;
        bool named = true, valid = true;
        for (unsigned i = 0; i < faces; ++i)
            named = named && !f.sub(faceAt + i * faceLength, faceLength).cstr(0).empty();
        for (unsigned i = 0; i < descriptors; ++i) {
            Bytes d = f.sub(descriptorAt + i * 11, 11);
            valid = valid && d.u16(3) < faces && d.u8(1) > 0;
        }
        report.check(named, "every face name is set");
        report.check(valid, "every font descriptor has a size and a face");
        fontCount = descriptors;
    });

    TopicFile tf;
    ok = ok && report.stage("|TOPIC", [&] {
        tf = readTopics(files.at("|TOPIC"), blockSize, fontCount);
        report.check(true, "|TOPIC: " + std::to_string(tf.topics.size()) + " topics in " +
                               std::to_string(tf.records) + " records, " + std::to_string(tf.blocks) +
                               " blocks, every record read");
    });
    if (!ok) {
        std::cout << report.passed << " passed, " << report.failed << " failed\n";
        return 1;
    }

    std::map<uint32_t, size_t> topicAt;
    for (size_t i = 0; i < tf.topics.size(); ++i)
        topicAt[tf.topics[i].offset] = i;
    auto topicName = [&](size_t i) { return "\"" + tf.topics[i].title + "\""; };

    std::map<int32_t, size_t> byHash;
    report.stage("|CONTEXT", [&] {
        Tree t = openTree(files.at("|CONTEXT"), longKey, 4);
        std::vector<Entry> entries = treeEntries(t);
        report.check(t.structure == "L4",
                     "|CONTEXT is a B+ tree of hashes and topic offsets (" + std::to_string(entries.size()) +
                         " entries, " + std::to_string(t.pages) + " pages, " + std::to_string(t.levels) +
                         " levels)",
                     "structure \"" + t.structure + "\"");
        bool sorted = true, resolved = true;
        for (size_t i = 0; i < entries.size(); ++i) {
            int32_t hash = int32_t(le32(entries[i].first));
            sorted = sorted && (i == 0 || int32_t(le32(entries[i - 1].first)) < hash);
            auto it = topicAt.find(le32(entries[i].second));
            resolved = resolved && it != topicAt.end();
            if (it != topicAt.end())
                byHash[hash] = it->second;
        }
        report.check(sorted, "|CONTEXT hashes are in ascending order");
        report.check(resolved, "every |CONTEXT entry points at the start of a topic");
        std::set<size_t> named;
        for (const auto& [hash, topic] : byHash)
            named.insert(topic);
        report.check(named.size() == tf.topics.size(), "every topic has a context id",
                     std::to_string(tf.topics.size() - named.size()) + " topics have none");

        bool linksResolve = true;
        std::string broken;
        for (const Topic& topic : tf.topics)
            for (int32_t hash : topic.links) {
                auto value = treeFind(t, [&](const Bytes& p, size_t at) {
                    int32_t h = int32_t(p.u32(at));
                    return h < hash ? -1 : h > hash ? 1 : 0;
                });
                if (!value || !topicAt.count(le32(*value))) {
                    linksResolve = false;
                    broken += " " + hex(uint32_t(hash)) + " in \"" + topic.title + "\"";
                }
            }
        report.check(linksResolve, "every link is found in |CONTEXT and leads to a topic",
                     "broken:" + broken);
    });

    report.stage("contents and links", [&] {
        auto start = topicAt.find(contents);
        report.check(start != topicAt.end(),
                     "the contents topic offset " + hex(contents) + " starts a topic");
        if (start == topicAt.end())
            return;
        report.check(start->second == 0,
                     "the contents topic comes first, so the engine falls back to it too");
        std::vector<size_t> queue{start->second};
        std::set<size_t> reached{start->second};
        for (size_t n = 0; n < queue.size(); ++n)
            for (int32_t hash : tf.topics[queue[n]].links)
                if (byHash.count(hash) && reached.insert(byHash[hash]).second)
                    queue.push_back(byHash[hash]);
        std::string missing;
        for (size_t i = 0; i < tf.topics.size(); ++i)
            if (!reached.count(i))
                missing += " " + topicName(i);
        report.check(missing.empty(), "every topic is reachable from the contents topic through links",
                     "not reached:" + missing);

        bool browse = true;
        for (size_t i = 0; i < tf.topics.size(); ++i) {
            const Topic& topic = tf.topics[i];
            for (uint32_t target : {topic.browseBack, topic.browseForward})
                browse = browse && (target == 0xFFFFFFFF || topicAt.count(target));
            if (topic.browseForward != 0xFFFFFFFF && topicAt.count(topic.browseForward))
                browse = browse && tf.topics[topicAt[topic.browseForward]].browseBack == topic.offset;
        }
        report.check(browse, "browse links lead to topics and agree both ways");
    });

    std::map<uint32_t, size_t> byNumber;
    report.stage("|CTXOMAP", [&] {
        const Bytes& m = files.at("|CTXOMAP");
        unsigned count = m.u16(0);
        report.check(m.size() == 2 + 8 * size_t(count),
                     "|CTXOMAP holds " + std::to_string(count) + " entries");
        bool resolved = true, unique = true;
        for (unsigned i = 0; i < count; ++i) {
            uint32_t number = m.u32(2 + 8 * i), offset = m.u32(6 + 8 * i);
            auto it = topicAt.find(offset);
            resolved = resolved && it != topicAt.end();
            unique = unique && !byNumber.count(number);
            if (it != topicAt.end())
                byNumber[number] = it->second;
        }
        report.check(resolved, "every context number points at the start of a topic");
        report.check(unique, "context numbers are unique");
        std::set<size_t> numbered;
        for (const auto& [number, topic] : byNumber)
            numbered.insert(topic);
        report.check(numbered.size() == tf.topics.size(), "every topic has a context number");
        for (const auto& [number, expected] : expectedContexts) {
            auto it = byNumber.find(number);
            report.check(it != byNumber.end() && tf.topics[it->second].title == expected,
                         "context number " + std::to_string(number) + " shows \"" + expected + "\"",
                         it == byNumber.end() ? "no such number" : "it shows " + topicName(it->second));
        }
    });

    if (list)
        for (const Topic& topic : tf.topics) {
            std::cout << "\n== " << hex(topic.offset) << " \"" << toUtf8(topic.title) << "\"";
            for (const auto& [number, index] : byNumber)
                if (tf.topics[index].offset == topic.offset)
                    std::cout << " context " << number;
            std::cout << "\n" << toUtf8(topic.text);
        }

    std::cout << report.passed << " passed, " << report.failed << " failed\n";
    return report.failed ? 1 : 0;
}
