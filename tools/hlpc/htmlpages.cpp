#include "htmlpages.h"

#include <map>

namespace hlpc {
namespace {

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | cp >> 6);
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xE0 | cp >> 12);
        out += char(0x80 | (cp >> 6 & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// The topics hold Windows-1252 text; the pages are UTF-8, with HTML's special characters escaped.
std::string html(const std::string& cp1252) {
    std::string out;
    for (unsigned char c : cp1252) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            appendUtf8(out, codePointOf(c));
        }
    }
    return out;
}

const char* const style =
    R"(body { font-family: Tahoma, Verdana, Arial, sans-serif; font-size: 15px; line-height: 1.45;
       max-width: 46em; margin: 1em auto; padding: 0 1em; color: #111; background: #fff; }
nav { font-size: 13px; border-bottom: 1px solid #ccc; padding-bottom: 0.4em; }
nav a { margin-right: 1.2em; }
h1 { font-size: 1.5em; color: #036; }
h2 { font-size: 1.15em; color: #036; margin-top: 1.4em; }
a { color: #04c; }
)";

} // namespace

std::string pageName(const Topic& topic) {
    if (topic.contentsFor)
        return "index.html";
    if (topic.context)
        return std::to_string(*topic.context) + ".html";
    return topic.id + ".html";
}

std::vector<Page> buildHtmlPages(const std::vector<Topic>& topics) {
    std::map<std::string, std::string> pageOf, topicOn;
    std::string helpTitle;
    for (const Topic& topic : topics) {
        const std::string name = pageName(topic);
        if (!topicOn.emplace(name, topic.file).second)
            throw SourceError(topic.file + ": its page " + name + " is the page of " + topicOn[name] +
                              " too");
        pageOf[topic.id] = name;
        if (topic.contentsFor)
            helpTitle = *topic.contentsFor;
    }
    std::vector<Page> pages;
    for (size_t t = 0; t < topics.size(); ++t) {
        const Topic& topic = topics[t];
        std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
                           html(topic.title) + " - " + html(helpTitle) + "</title>\n<style>\n" + style +
                           "</style>\n</head>\n<body>\n";
        // The contents topic comes first: it has no Contents and no Previous of its own.
        std::string nav;
        if (t > 0)
            nav += "<a href=\"index.html\">Contents</a><a href=\"" + pageOf[topics[t - 1].id] +
                   "\">&laquo; Previous</a>";
        if (t + 1 < topics.size())
            nav += "<a href=\"" + pageOf[topics[t + 1].id] + "\">Next &raquo;</a>";
        if (!nav.empty())
            page += "<nav>" + nav + "</nav>\n";
        page += "<h1>" + html(topic.title) + "</h1>\n";
        bool inList = false;
        for (const Block& block : topic.blocks) {
            if (inList && block.kind != Block::Bullet)
                page += "</ul>\n";
            if (!inList && block.kind == Block::Bullet)
                page += "<ul>\n";
            inList = block.kind == Block::Bullet;
            static const char* const open[] = {"<p>", "<h2>", "<li>"};
            static const char* const close[] = {"</p>\n", "</h2>\n", "</li>\n"};
            page += open[block.kind];
            for (const Span& span : block.spans) {
                if (span.kind == Span::Bold)
                    page += "<b>" + html(span.text) + "</b>";
                else if (span.kind == Span::Link)
                    page += "<a href=\"" + pageOf.at(span.target) + "\">" + html(span.text) + "</a>";
                else
                    page += html(span.text);
            }
            page += close[block.kind];
        }
        if (inList)
            page += "</ul>\n";
        page += "</body>\n</html>\n";
        pages.push_back({pageName(topic), std::move(page)});
    }
    return pages;
}

} // namespace hlpc
