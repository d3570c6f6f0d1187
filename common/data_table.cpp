#include "common/data_table.h"

namespace vuz {

namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (size_t start = 0;;) {
    const size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

}  // namespace

std::vector<std::vector<std::string_view>> tableRows(std::string_view text) {
  std::vector<std::vector<std::string_view>> rows;
  for (std::string_view line : split(text, '\n')) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    rows.push_back(split(line, '\t'));
  }
  return rows;
}

}  // namespace vuz
