// The help sources: one topic per file, in the markup described in docs/help/README.md.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace hlpc {

// A run of text inside a block. Text is in Windows-1252, the code page the help engine reads.
struct Span {
    enum Kind { Plain, Bold, Link };
    Kind kind = Plain;
    std::string text;
    std::string target; // topic id of a link
};

struct Block {
    enum Kind { Paragraph, Heading, Bullet };
    Kind kind = Paragraph;
    std::vector<Span> spans;
    int line = 0; // first source line, for messages
};

struct Topic {
    std::string file; // source path, for messages
    std::string id;   // file name without ".md"; links and the context table use it
    std::string title;
    std::optional<long> context;            // number for WinHelp(HELP_CONTEXT)
    std::optional<std::string> contentsFor; // set on the contents topic: the help file's title
    int contextLine = 0, contentsLine = 0;  // where they are given, for messages
    std::vector<Block> blocks;
};

// Every mistake in the sources, as "file:line: what".
struct SourceError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The Unicode code point of a Windows-1252 byte, as the sources gave it.
char32_t codePointOf(unsigned char cp1252);

// Reads one topic; path gives the topic id and the place in messages.
Topic parseTopic(const std::string& path, const std::string& text);

// Checks the topics as a whole (unique ids and numbers, one contents topic, links that resolve, every
// topic reachable from the contents topic) and returns them in reading order: the contents topic,
// then breadth-first in the order the links appear.
std::vector<Topic> orderTopics(std::vector<Topic> topics);

// The engine finds a topic by this hash of its id.
int32_t contextHash(const std::string& id);

} // namespace hlpc
