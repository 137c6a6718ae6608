// Writes a WinHelp 3.1 help file.
#pragma once

#include "markup.h"

#include <cstdint>
#include <vector>

namespace hlpc {

// topics come from orderTopics: the contents topic first, in reading order, which is also the order of
// the help window's browse buttons.
std::vector<uint8_t> buildHelpFile(const std::vector<Topic>& topics);

} // namespace hlpc
