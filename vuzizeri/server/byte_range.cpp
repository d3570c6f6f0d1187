#include "vuzizeri/server/byte_range.h"

#include <glib.h>

#include <algorithm>
#include <optional>
#include <string>

namespace server {
namespace {

std::string trimmed(std::string text) {
  const size_t from = text.find_first_not_of(" \t");
  if (from == std::string::npos) return "";
  return text.substr(from, text.find_last_not_of(" \t") - from + 1);
}

// Digits as a number, past UINT64_MAX held at it; nothing for other text.
std::optional<uint64_t> position(const std::string& text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  uint64_t n = 0;
  for (char c : text) {
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    n = n > (UINT64_MAX - digit) / 10 ? UINT64_MAX : n * 10 + digit;
  }
  return n;
}

ByteRange part(uint64_t first, uint64_t last) { return {ByteRange::Answer::kPart, first, last}; }

}  // namespace

ByteRange byteRange(const char* header, uint64_t length) {
  const ByteRange whole;
  const ByteRange unsatisfiable{ByteRange::Answer::kUnsatisfiable};
  if (!header) return whole;
  const std::string text = trimmed(header);
  if (text.size() < 6 || g_ascii_strncasecmp(text.c_str(), "bytes=", 6) != 0) return whole;
  const std::string asked = trimmed(text.substr(6));
  const size_t dash = asked.find('-');
  if (asked.find(',') != std::string::npos || dash == std::string::npos) return whole;
  const std::string from = asked.substr(0, dash), to = asked.substr(dash + 1);
  if (from.empty()) {  // the last N bytes; more than the file is all of it
    const std::optional<uint64_t> suffix = position(to);
    if (!suffix) return whole;
    if (*suffix == 0 || length == 0) return unsatisfiable;
    return part(*suffix >= length ? 0 : length - *suffix, length - 1);
  }
  const std::optional<uint64_t> first = position(from);
  const std::optional<uint64_t> last =
      to.empty() ? std::optional<uint64_t>(UINT64_MAX) : position(to);
  if (!first || !last || *last < *first) return whole;
  if (*first >= length) return unsatisfiable;
  return part(*first, std::min(*last, length - 1));
}

}  // namespace server
