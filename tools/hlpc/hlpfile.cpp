// What the compiler writes, all numbers little-endian:
//
// - a 16-byte header: magic 0x00035F3F, offset of the directory, -1 (no free list), file size;
// - internal files, each behind a 9-byte header (reserved size, used size, flags): |SYSTEM, |TOPIC,
//   |CONTEXT, |CTXOMAP, |FONT, and last the directory, a B+ tree of names and offsets;
// - |SYSTEM: version 1.21 (Windows 3.1), flagged LZ77 with 4 KB topic blocks, then records: title,
//   contents topic, the BrowseButtons() macro, and the "main" window with the title as its caption;
// - |TOPIC: 4 KB blocks, a 12-byte block header each, holding a chain of records: per topic a topic
//   header and one text record per paragraph;
// - |CONTEXT: B+ tree from the hash of each topic id to the topic; |CTXOMAP: context numbers.
//
// Positions in |TOPIC come in two kinds. A record position counts bytes: block * 16384 + 12 + offset
// in the block's data. A topic offset counts characters: block * 32768 + the text lengths of the
// paragraph records before it in the block. |CONTEXT, |CTXOMAP, the contents record and the browse
// links hold topic offsets.
#include "hlpfile.h"

#include <algorithm>

namespace hlpc {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t none = 0xFFFFFFFF;

void put8(Bytes& b, unsigned v) {
    b.push_back(uint8_t(v));
}
void put16(Bytes& b, unsigned v) {
    put8(b, v & 0xFF);
    put8(b, v >> 8 & 0xFF);
}
void put32(Bytes& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
void putText(Bytes& b, const std::string& s) {
    b.insert(b.end(), s.begin(), s.end());
}
void putTextZ(Bytes& b, const std::string& s) {
    putText(b, s);
    put8(b, 0);
}
void set32(Bytes& b, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k)
        b[at + k] = uint8_t(v >> 8 * k);
}

// ---- B+ trees (the directory and |CONTEXT) ----

struct TreeEntry {
    Bytes key;
    Bytes value;
};

// entries are sorted by key. Leaf pages hold key and value; index pages the first key of each child
// but the first, whose page number sits in the page header.
Bytes buildTree(const std::vector<TreeEntry>& entries, unsigned pageSize, unsigned flags,
                const std::string& format) {
    constexpr size_t leafHeader = 8, indexHeader = 6;
    std::vector<Bytes> pages;
    struct Child {
        unsigned page;
        Bytes firstKey;
    };
    std::vector<Child> level;

    size_t start = 0;
    do {
        size_t used = leafHeader, end = start;
        while (end < entries.size() &&
               used + entries[end].key.size() + entries[end].value.size() <= pageSize) {
            used += entries[end].key.size() + entries[end].value.size();
            ++end;
        }
        if (end == start && end < entries.size())
            throw SourceError("internal: a B+ tree entry does not fit a page");
        Bytes page;
        put16(page, unsigned(pageSize - used));
        put16(page, unsigned(end - start));
        put16(page, pages.empty() ? 0xFFFF : unsigned(pages.size() - 1));
        put16(page, end == entries.size() ? 0xFFFF : unsigned(pages.size() + 1));
        for (size_t k = start; k < end; ++k) {
            page.insert(page.end(), entries[k].key.begin(), entries[k].key.end());
            page.insert(page.end(), entries[k].value.begin(), entries[k].value.end());
        }
        page.resize(pageSize);
        level.push_back({unsigned(pages.size()), start < entries.size() ? entries[start].key : Bytes{}});
        pages.push_back(page);
        start = end;
    } while (start < entries.size());

    unsigned levels = 1;
    while (level.size() > 1) {
        std::vector<Child> upper;
        for (size_t first = 0; first < level.size();) {
            size_t used = indexHeader, end = first + 1;
            while (end < level.size() && used + level[end].firstKey.size() + 2 <= pageSize)
                used += level[end++].firstKey.size() + 2;
            Bytes page;
            put16(page, unsigned(pageSize - used));
            put16(page, unsigned(end - first - 1));
            put16(page, level[first].page);
            for (size_t k = first + 1; k < end; ++k) {
                page.insert(page.end(), level[k].firstKey.begin(), level[k].firstKey.end());
                put16(page, level[k].page);
            }
            page.resize(pageSize);
            upper.push_back({unsigned(pages.size()), level[first].firstKey});
            pages.push_back(page);
            first = end;
        }
        level = upper;
        ++levels;
    }
    if (pages.size() > 0x7FFF)
        throw SourceError("too many entries for a B+ tree");

    Bytes tree;
    put16(tree, 0x293B);
    put16(tree, flags);
    put16(tree, pageSize);
    Bytes structure(16, 0);
    std::copy(format.begin(), format.end(), structure.begin());
    tree.insert(tree.end(), structure.begin(), structure.end());
    put16(tree, 0);                  // must be zero
    put16(tree, 0);                  // page splits
    put16(tree, level.front().page); // root page
    put16(tree, 0xFFFF);             // must be -1
    put16(tree, unsigned(pages.size()));
    put16(tree, levels);
    put32(tree, uint32_t(entries.size()));
    for (const Bytes& page : pages)
        tree.insert(tree.end(), page.begin(), page.end());
    return tree;
}

// ---- |TOPIC ----

constexpr size_t blockSize = 4096, blockHeader = 12, blockStride = 0x4000, recordHeader = 21;

// Record positions step by 16 KB per block in a file flagged compressed. In an uncompressed file Wine's
// engine still steps by 16 KB where other readers step by the 4084 data bytes of a block, so the file is
// flagged compressed and its data stored as LZ77 without back-references: a zero flag byte before each
// eight literal bytes. This is how much data such a block holds.
constexpr size_t literalCapacity(size_t room) {
    return room / 9 * 8 + (room % 9 > 1 ? room % 9 - 1 : 0);
}
constexpr size_t blockCapacity = literalCapacity(blockSize - blockHeader);

enum Font : unsigned { BodyFont, TitleFont, HeadingFont, StrongFont, fontCount };

struct FontInfo {
    unsigned halfPoints;
    bool bold;
};
constexpr FontInfo fonts[fontCount] = {{20, false}, {28, true}, {22, true}, {20, true}};

struct Record {
    uint8_t type; // 0x02 topic header, 0x20 text
    Bytes data1;
    Bytes data2;
    size_t topic;
    // Where layout puts it.
    size_t block = 0, offset = 0;

    size_t size() const { return recordHeader + data1.size() + data2.size(); }
    uint32_t position() const { return uint32_t(block * blockStride + blockHeader + offset); }
    // Characters it adds to the topic offsets that follow it in its block.
    size_t textLength() const { return type == 0x20 ? data2.size() : 0; }
};

// Compressed integers of the paragraph data: the low bit tells a short form from a long one.
void putCompressedUnsignedShort(Bytes& b, unsigned v) {
    if (v < 0x80) {
        put8(b, v * 2);
    } else {
        put16(b, v * 2 + 1);
    }
}
void putCompressedSignedShort(Bytes& b, int v) {
    if (v >= -64 && v < 64) {
        put8(b, unsigned(v + 64) * 2);
    } else {
        put16(b, unsigned(v + 16384) * 2 + 1);
    }
}
void putCompressedUnsignedLong(Bytes& b, uint32_t v) {
    if (v < 0x8000) {
        put16(b, v * 2);
    } else {
        put32(b, v * 2 + 1);
    }
}

struct ParagraphStyle {
    Font font;
    int spaceAbove, spaceBelow; // half points
    bool bullet;                // a bullet, a tab, and the text indented to the tab stop
};

constexpr int bulletIndent = 36; // half points

ParagraphStyle styleOf(Block::Kind kind) {
    switch (kind) {
    case Block::Heading:
        return {HeadingFont, 16, 0, false};
    case Block::Bullet:
        return {BodyFont, 4, 0, true};
    case Block::Paragraph:
        break;
    }
    return {BodyFont, 10, 0, false};
}

// A text record: paragraph settings, then formatting commands in data1 and strings in data2, one string
// shown before each command.
Record paragraphRecord(const std::vector<Span>& spans, const ParagraphStyle& style, size_t topic) {
    Record r{0x20, {}, {}, topic};
    Bytes commands;
    std::string pending;
    auto command = [&](const Bytes& bytes) {
        putTextZ(r.data2, pending);
        pending.clear();
        commands.insert(commands.end(), bytes.begin(), bytes.end());
    };
    auto font = [&](unsigned f) { command({0x80, uint8_t(f), uint8_t(f >> 8)}); };

    font(style.font);
    if (style.bullet) {
        pending = "\x95"; // bullet in Windows-1252
        command({0x83});  // tab
    }
    unsigned strong = style.font == BodyFont ? StrongFont : style.font;
    for (const Span& span : spans) {
        switch (span.kind) {
        case Span::Plain:
            pending += span.text;
            break;
        case Span::Bold:
            font(strong);
            pending = span.text;
            font(style.font);
            break;
        case Span::Link: {
            Bytes jump{0xE3}; // jump to a topic, shown underlined
            put32(jump, uint32_t(contextHash(span.target)));
            command(jump);
            pending = span.text;
            command({0x89}); // end of the hotspot
            break;
        }
        }
    }
    command({0x82}); // end of paragraph
    command({0xFF}); // end of the commands

    putCompressedUnsignedLong(r.data1, uint32_t(r.data2.size()));  // text size
    putCompressedUnsignedShort(r.data1, unsigned(r.data2.size())); // text length, counted in topic offsets
    put8(r.data1, 0x80);
    put8(r.data1, 0);
    put16(r.data1, 0);
    unsigned bits = 0;
    if (style.spaceAbove)
        bits |= 0x0002;
    if (style.spaceBelow)
        bits |= 0x0004;
    if (style.bullet)
        bits |= 0x0010 | 0x0040 | 0x0200; // left indent, first-line indent, tab stops
    put16(r.data1, bits);
    if (style.spaceAbove)
        putCompressedSignedShort(r.data1, style.spaceAbove);
    if (style.spaceBelow)
        putCompressedSignedShort(r.data1, style.spaceBelow);
    if (style.bullet) {
        putCompressedSignedShort(r.data1, bulletIndent);
        putCompressedSignedShort(r.data1, -bulletIndent);
        putCompressedSignedShort(r.data1, 1); // one tab stop
        putCompressedUnsignedShort(r.data1, bulletIndent);
    }
    r.data1.insert(r.data1.end(), commands.begin(), commands.end());
    return r;
}

struct TopicLayout {
    Bytes file;                   // the |TOPIC internal file
    std::vector<uint32_t> offset; // topic offset of each topic
};

TopicLayout buildTopicFile(const std::vector<Topic>& topics) {
    std::vector<Record> records;
    std::vector<size_t> headerOf; // record index of each topic's header
    for (size_t t = 0; t < topics.size(); ++t) {
        headerOf.push_back(records.size());
        Record header{0x02, Bytes(28, 0), {}, t};
        putTextZ(header.data2, topics[t].title);
        records.push_back(header);
        records.push_back(
            paragraphRecord({{Span::Plain, topics[t].title, ""}}, {TitleFont, 0, 12, false}, t));
        for (const Block& block : topics[t].blocks)
            records.push_back(paragraphRecord(block.spans, styleOf(block.kind), t));
    }

    // Records do not cross blocks, so a block's data never depends on its neighbours.
    size_t block = 0, used = 0;
    for (Record& r : records) {
        if (r.size() > blockCapacity)
            throw SourceError(topics[r.topic].file + ": a paragraph is too long (" +
                              std::to_string(r.size()) + " bytes, at most " + std::to_string(blockCapacity) +
                              "); split it");
        if (used + r.size() > blockCapacity) {
            ++block;
            used = 0;
        }
        r.block = block;
        r.offset = used;
        used += r.size();
    }
    size_t blocks = block + 1;

    TopicLayout layout;
    std::vector<size_t> chars(blocks, 0);
    std::vector<uint32_t> recordOffset(records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        recordOffset[i] = uint32_t(records[i].block << 15 | chars[records[i].block]);
        chars[records[i].block] += records[i].textLength();
    }
    for (size_t t = 0; t < topics.size(); ++t)
        layout.offset.push_back(recordOffset[headerOf[t]]);

    for (size_t t = 0; t < topics.size(); ++t) {
        size_t first = headerOf[t], last = t + 1 < topics.size() ? headerOf[t + 1] : records.size();
        uint32_t topicSize = 0;
        for (size_t i = first; i < last; ++i)
            topicSize += uint32_t(records[i].size());
        Bytes& h = records[first].data1;
        set32(h, 0, topicSize);
        set32(h, 4, t > 0 ? layout.offset[t - 1] : none);                 // browse back
        set32(h, 8, t + 1 < topics.size() ? layout.offset[t + 1] : none); // browse forward
        set32(h, 12, uint32_t(t));                                        // topic number
        set32(h, 16, none);                                               // no non-scrolling region
        set32(h, 20, records[first + 1].position());                      // the scrolling region
        set32(h, 24, last < records.size() ? records[last].position() : none);
    }

    std::vector<Bytes> data(blocks);
    for (size_t i = 0; i < records.size(); ++i) {
        const Record& r = records[i];
        Bytes& d = data[r.block];
        put32(d, uint32_t(r.size()));
        put32(d, uint32_t(r.data2.size()));
        put32(d, i > 0 ? records[i - 1].position() : none);
        put32(d, i + 1 < records.size() ? records[i + 1].position() : none);
        put32(d, uint32_t(recordHeader + r.data1.size()));
        put8(d, r.type);
        d.insert(d.end(), r.data1.begin(), r.data1.end());
        d.insert(d.end(), r.data2.begin(), r.data2.end());
    }

    uint32_t lastRecord = none, lastHeader = none;
    for (size_t b = 0; b < blocks; ++b) {
        Bytes out;
        uint32_t firstRecord = none;
        for (size_t i = 0; i < records.size(); ++i)
            if (records[i].block == b && firstRecord == none)
                firstRecord = records[i].position();
        put32(out, lastRecord);
        put32(out, firstRecord);
        put32(out, lastHeader);
        for (size_t k = 0; k < data[b].size(); k += 8) {
            put8(out, 0); // eight literals follow
            out.insert(out.end(), data[b].begin() + k, data[b].begin() + std::min(k + 8, data[b].size()));
        }
        // Every block is full size: the engine reads the last one from its end when it is short.
        out.resize(blockSize, 0);
        layout.file.insert(layout.file.end(), out.begin(), out.end());
        for (const Record& r : records)
            if (r.block == b) {
                lastRecord = r.position();
                if (r.type == 0x02)
                    lastHeader = r.position();
            }
    }
    return layout;
}

// ---- the small internal files ----

Bytes buildSystem(const std::string& title, uint32_t contents) {
    Bytes s;
    put16(s, 0x036C);
    put16(s, 21); // help file version 1.21: Windows 3.1
    put16(s, 1);
    put32(s, 0); // generation date: none, so that the same sources give the same file
    put16(s, 4); // LZ77, 4 KB topic blocks
    auto record = [&](unsigned type, const Bytes& data) {
        put16(s, type);
        put16(s, unsigned(data.size()));
        s.insert(s.end(), data.begin(), data.end());
    };
    Bytes text;
    putTextZ(text, title);
    record(1, text);
    Bytes offset;
    put32(offset, contents);
    record(3, offset);
    Bytes macro;
    putTextZ(macro, "BrowseButtons()");
    record(4, macro);
    // The main window, so that its caption is the title rather than the engine's own wording.
    Bytes window;
    put16(window, 0x0002 | 0x0004); // name and caption are set
    Bytes fields(10 + 9 + 51, 0);
    std::copy_n("main", 4, fields.begin() + 10);
    std::copy(title.begin(), title.end(), fields.begin() + 19);
    window.insert(window.end(), fields.begin(), fields.end());
    window.resize(90, 0); // position, size, state and colours: the engine's defaults
    record(6, window);
    return s;
}

Bytes buildFont() {
    const std::string face = "Arial";
    constexpr unsigned faceLength = 20, header = 8;
    Bytes f;
    put16(f, 1);
    put16(f, fontCount);
    put16(f, header);
    put16(f, header + faceLength);
    Bytes name(faceLength, 0);
    std::copy(face.begin(), face.end(), name.begin());
    f.insert(f.end(), name.begin(), name.end());
    for (const FontInfo& info : fonts) {
        put8(f, info.bold ? 1 : 0);
        put8(f, info.halfPoints);
        put8(f, 3);  // swiss family
        put16(f, 0); // face name index
        put8(f, 0);  // foreground black
        put8(f, 0);
        put8(f, 0);
        put8(f, 0xFF); // background white
        put8(f, 0xFF);
        put8(f, 0xFF);
    }
    return f;
}

Bytes buildContext(const std::vector<Topic>& topics, const std::vector<uint32_t>& offsets) {
    std::vector<std::pair<int32_t, uint32_t>> pairs;
    for (size_t t = 0; t < topics.size(); ++t)
        pairs.push_back({contextHash(topics[t].id), offsets[t]});
    std::sort(pairs.begin(), pairs.end()); // by signed hash, as the engine compares them
    std::vector<TreeEntry> entries;
    for (const auto& [hash, offset] : pairs) {
        TreeEntry e;
        put32(e.key, uint32_t(hash));
        put32(e.value, offset);
        entries.push_back(e);
    }
    return buildTree(entries, 2048, 0x0002, "L4");
}

Bytes buildContextMap(const std::vector<Topic>& topics, const std::vector<uint32_t>& offsets) {
    std::vector<std::pair<long, uint32_t>> map;
    for (size_t t = 0; t < topics.size(); ++t)
        if (topics[t].context)
            map.push_back({*topics[t].context, offsets[t]});
    std::sort(map.begin(), map.end());
    if (map.size() > 0xFFFF)
        throw SourceError("too many context numbers");
    Bytes m;
    put16(m, unsigned(map.size()));
    for (const auto& [number, offset] : map) {
        put32(m, uint32_t(number));
        put32(m, offset);
    }
    return m;
}

} // namespace

std::vector<uint8_t> buildHelpFile(const std::vector<Topic>& topics) {
    TopicLayout layout = buildTopicFile(topics);
    std::vector<std::pair<std::string, Bytes>> files = {
        {"|SYSTEM", buildSystem(*topics.front().contentsFor, layout.offset.front())},
        {"|TOPIC", layout.file},
        {"|CONTEXT", buildContext(topics, layout.offset)},
        {"|CTXOMAP", buildContextMap(topics, layout.offset)},
        {"|FONT", buildFont()},
    };

    Bytes out(16, 0);
    auto append = [&out](const Bytes& content) {
        size_t at = out.size();
        put32(out, uint32_t(content.size() + 9)); // reserved: exactly what is used
        put32(out, uint32_t(content.size()));
        put8(out, 4);
        out.insert(out.end(), content.begin(), content.end());
        return uint32_t(at);
    };
    std::vector<TreeEntry> directory;
    for (const auto& [name, content] : files) {
        TreeEntry e;
        putTextZ(e.key, name);
        put32(e.value, append(content));
        directory.push_back(e);
    }
    std::sort(directory.begin(), directory.end(), [](const TreeEntry& a, const TreeEntry& b) {
        return std::string(a.key.begin(), a.key.end()) < std::string(b.key.begin(), b.key.end());
    });
    uint32_t directoryStart = append(buildTree(directory, 1024, 0x0402, "z4"));

    set32(out, 0, 0x00035F3F);
    set32(out, 4, directoryStart);
    set32(out, 8, none); // no free list
    set32(out, 12, uint32_t(out.size()));
    return out;
}

} // namespace hlpc
