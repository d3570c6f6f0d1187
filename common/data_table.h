#pragma once

#include <string_view>
#include <vector>

namespace vuz {

// The rows of a tab-separated data file: each line
// that is neither blank nor a '#' comment, split at its tabs (a carriage
// return before the line feed dropped). The views point into `text`.
std::vector<std::vector<std::string_view>> tableRows(std::string_view text);

}  // namespace vuz
