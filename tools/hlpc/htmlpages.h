// Writes the help as HTML pages, for the systems whose help engine cannot show a WinHelp file.
#pragma once

#include "markup.h"

#include <string>
#include <vector>

namespace hlpc {

struct Page {
    std::string name; // file name in the pages' folder
    std::string html; // UTF-8
};

// The contents topic is "index.html"; a topic with a context number "<number>.html", so that a
// program finds it by the number it would give the help engine; any other topic "<id>.html".
std::string pageName(const Topic& topic);

// topics come from orderTopics: every page's Previous and Next follow the reading order, as the
// help window's browse buttons do.
std::vector<Page> buildHtmlPages(const std::vector<Topic>& topics);

} // namespace hlpc
