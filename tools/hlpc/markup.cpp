#include "markup.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <set>

namespace hlpc {
namespace {

[[noreturn]] void fail(const std::string& file, int line, const std::string& what) {
    throw SourceError(file + ":" + std::to_string(line) + ": " + what);
}

bool startsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return "";
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

bool isBlank(const std::string& s) {
    return trim(s).empty();
}

// The code points of Windows-1252's bytes 0x80..0x9F (0 where the byte is unused); the other
// bytes above 0x7F equal their code points.
const char32_t cp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// The sources are UTF-8; the help file holds Windows-1252. Tabs become spaces.
std::string toCp1252(const std::string& utf8, const std::string& file, int line) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = utf8[i];
        char32_t cp;
        size_t len;
        if (c < 0x80) {
            cp = c;
            len = 1;
        } else if ((c & 0xE0) == 0xC0) {
            cp = c & 0x1F;
            len = 2;
        } else if ((c & 0xF0) == 0xE0) {
            cp = c & 0x0F;
            len = 3;
        } else if ((c & 0xF8) == 0xF0) {
            cp = c & 0x07;
            len = 4;
        } else {
            fail(file, line, "the file is not UTF-8");
        }
        if (i + len > utf8.size())
            fail(file, line, "the file is not UTF-8");
        for (size_t k = 1; k < len; ++k) {
            unsigned char cc = utf8[i + k];
            if ((cc & 0xC0) != 0x80)
                fail(file, line, "the file is not UTF-8");
            cp = cp << 6 | (cc & 0x3F);
        }
        i += len;
        if (cp == '\t') {
            out += ' ';
        } else if (cp < 0x20 || cp == 0x7F) {
            fail(file, line, "control character in the text");
        } else if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out += char(cp);
        } else if (const char32_t* high = std::find(cp1252High, cp1252High + 32, cp);
                   high != cp1252High + 32) {
            out += char(0x80 + (high - cp1252High));
        } else {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", unsigned(cp));
            fail(file, line, std::string("character ") + code + " has no place in Windows-1252");
        }
    }
    return out;
}

// Whether a link starts at text[i]: [text](topic_id), with no bracket in the text. close is set to the ]
// and end to the ).
bool linkAt(const std::string& text, size_t i, size_t& close, size_t& end) {
    if (text[i] != '[')
        return false;
    close = text.find_first_of("[]", i + 1);
    if (close == std::string::npos || text.compare(close, 2, "](") != 0)
        return false;
    end = text.find(')', close);
    return end != std::string::npos;
}

// Inline markup of one block: **bold**, [text](topic_id), and \ before one of *[]() to take that character
// literally. Any other backslash is text, so that paths such as C:\Windows need no escaping, and a [ that
// does not start a link is text too.
std::vector<Span> parseInline(const std::string& text, const std::string& file, int line) {
    std::vector<Span> spans;
    std::string run;
    bool bold = false;
    auto flush = [&] {
        if (!run.empty())
            spans.push_back({bold ? Span::Bold : Span::Plain, run, ""});
        run.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size() && std::string("*[]()").find(text[i + 1]) != std::string::npos) {
            run += text[++i];
        } else if (c == '*' && i + 1 < text.size() && text[i + 1] == '*') {
            flush();
            bold = !bold;
            ++i;
        } else if (size_t close = 0, end = 0; linkAt(text, i, close, end)) {
            if (bold)
                fail(file, line, "a link cannot be bold");
            flush();
            Span link{Span::Link, text.substr(i + 1, close - i - 1),
                      trim(text.substr(close + 2, end - close - 2))};
            if (link.text.empty() || link.target.empty())
                fail(file, line, "a link needs a text and a topic id");
            spans.push_back(link);
            i = end;
        } else {
            run += c;
        }
    }
    if (bold)
        fail(file, line, "** is not closed");
    flush();
    return spans;
}

std::string stem(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

// Only these characters take part in the hash by which the engine finds a topic.
bool isValidTopicId(const std::string& id) {
    return !id.empty() && std::all_of(id.begin(), id.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.';
    });
}

} // namespace

char32_t codePointOf(unsigned char cp1252) {
    return cp1252 >= 0x80 && cp1252 < 0xA0 ? cp1252High[cp1252 - 0x80] : cp1252;
}

int32_t contextHash(const std::string& id) {
    uint32_t hash = 0;
    for (char ch : id) {
        unsigned char c = std::toupper(static_cast<unsigned char>(ch));
        uint32_t value = 13; // '_', the only character left that an id may have
        if (c >= 'A' && c <= 'Z')
            value = c - 'A' + 17;
        else if (c >= '1' && c <= '9')
            value = c - '0';
        else if (c == '0')
            value = 10;
        else if (c == '.')
            value = 12;
        hash = hash * 43 + value;
    }
    return int32_t(hash);
}

Topic parseTopic(const std::string& path, const std::string& text) {
    Topic topic;
    topic.file = path;
    topic.id = stem(path);
    if (!isValidTopicId(topic.id))
        fail(path, 1, "a topic file name may only have letters, digits, '_' and '.' before \".md\"");

    std::vector<std::string> lines;
    std::string body = startsWith(text, "\xEF\xBB\xBF") ? text.substr(3) : text;
    for (size_t pos = 0; pos <= body.size();) {
        size_t nl = body.find('\n', pos);
        std::string l = body.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        if (!l.empty() && l.back() == '\r')
            l.pop_back();
        lines.push_back(toCp1252(l, path, int(lines.size()) + 1));
        if (nl == std::string::npos)
            break;
        pos = nl + 1;
    }

    if (!startsWith(lines[0], "# ") || trim(lines[0].substr(2)).empty())
        fail(path, 1, "the first line is \"# \" and the topic's title");
    topic.title = trim(lines[0].substr(2));

    size_t i = 1;
    for (; i < lines.size() && !isBlank(lines[i]); ++i) {
        int line = int(i) + 1;
        size_t colon = lines[i].find(':');
        if (colon == std::string::npos)
            fail(path, line, "expected \"Context: number\", \"Contents: title\" or a blank line");
        std::string key = trim(lines[i].substr(0, colon));
        std::string value = trim(lines[i].substr(colon + 1));
        if (key == "Context") {
            if (topic.context)
                fail(path, line, "Context is given twice");
            bool digits =
                std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
            if (value.empty() || value.size() > 10 || !digits || std::stoll(value) > 0x7FFFFFFF)
                fail(path, line, "Context takes a whole number from 0 to 2147483647");
            topic.context = std::stol(value);
            topic.contextLine = line;
        } else if (key == "Contents") {
            if (topic.contentsFor)
                fail(path, line, "Contents is given twice");
            if (value.empty() || value.size() > 50)
                fail(path, line, "Contents takes the help file's title, 1 to 50 characters");
            topic.contentsFor = value;
            topic.contentsLine = line;
        } else {
            fail(path, line, "unknown header line \"" + key + "\"");
        }
    }

    // The body: groups of lines between blank lines. Lines of a paragraph or list item join with a space
    // before the inline markup is read, so that bold text and links may run across lines.
    while (i < lines.size()) {
        if (isBlank(lines[i])) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < lines.size() && !isBlank(lines[end]))
            ++end;
        struct Pending {
            Block::Kind kind;
            int line;
            std::string text;
        };
        std::vector<Pending> group;
        if (startsWith(lines[i], "## ")) {
            if (end - i > 1)
                fail(path, int(i) + 2, "a heading is one line; leave a blank line after it");
            group.push_back({Block::Heading, int(i) + 1, trim(lines[i].substr(3))});
        } else if (startsWith(lines[i], "- ")) {
            for (size_t k = i; k < end; ++k) {
                if (startsWith(lines[k], "- "))
                    group.push_back({Block::Bullet, int(k) + 1, trim(lines[k].substr(2))});
                else
                    group.back().text += " " + trim(lines[k]);
            }
        } else {
            group.push_back({Block::Paragraph, int(i) + 1, trim(lines[i])});
            for (size_t k = i + 1; k < end; ++k) {
                if (startsWith(lines[k], "- ") || startsWith(lines[k], "# ") || startsWith(lines[k], "## "))
                    fail(path, int(k) + 1, "leave a blank line before a list or a heading");
                group.back().text += " " + trim(lines[k]);
            }
        }
        for (const Pending& p : group)
            topic.blocks.push_back({p.kind, parseInline(p.text, path, p.line), p.line});
        i = end;
    }
    if (topic.blocks.empty())
        fail(path, int(lines.size()), "the topic has no text");
    return topic;
}

std::vector<Topic> orderTopics(std::vector<Topic> topics) {
    std::map<int32_t, size_t> byHash;
    std::map<long, size_t> byContext;
    const Topic* contents = nullptr;
    for (size_t t = 0; t < topics.size(); ++t) {
        const Topic& topic = topics[t];
        if (byHash.count(contextHash(topic.id)))
            fail(topic.file, 1,
                 "topic id \"" + topic.id + "\" has the same hash as \"" +
                     topics[byHash[contextHash(topic.id)]].id + "\" (case does not count); rename one");
        if (topic.context && byContext.count(*topic.context))
            fail(topic.file, topic.contextLine,
                 "context number " + std::to_string(*topic.context) + " is used by " +
                     topics[byContext[*topic.context]].file + " too");
        if (topic.contentsFor && contents)
            fail(topic.file, topic.contentsLine,
                 "only one topic is the contents topic; " + contents->file + " is already");
        byHash[contextHash(topic.id)] = t;
        if (topic.context)
            byContext[*topic.context] = t;
        if (topic.contentsFor)
            contents = &topic;
    }
    if (!contents)
        throw SourceError("no topic has a \"Contents:\" line, so there is no contents topic");

    std::map<std::string, size_t> exactId;
    for (size_t t = 0; t < topics.size(); ++t)
        exactId[topics[t].id] = t;
    std::vector<size_t> order{size_t(contents - topics.data())};
    std::set<size_t> seen(order.begin(), order.end());
    for (size_t n = 0; n < order.size(); ++n) {
        const Topic& topic = topics[order[n]];
        for (const Block& block : topic.blocks)
            for (const Span& span : block.spans) {
                if (span.kind != Span::Link)
                    continue;
                auto it = exactId.find(span.target);
                if (it == exactId.end())
                    fail(topic.file, block.line, "link to unknown topic id \"" + span.target + "\"");
                if (seen.insert(it->second).second)
                    order.push_back(it->second);
            }
    }
    std::string unreachable;
    for (size_t t = 0; t < topics.size(); ++t)
        if (!seen.count(t))
            unreachable += " " + topics[t].file;
    if (!unreachable.empty())
        throw SourceError("not reachable from the contents topic by links:" + unreachable);

    std::vector<Topic> ordered;
    for (size_t t : order)
        ordered.push_back(std::move(topics[t]));
    return ordered;
}

} // namespace hlpc
