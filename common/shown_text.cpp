#include "common/shown_text.h"

#include <cstdio>

namespace {

// The length of the UTF-8 character at `at`, or 0 when the bytes there are
// not one (a stray continuation, a truncated or overlong sequence).
size_t utf8Length(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t length = lead < 0x80           ? 1
                  : (lead >> 5) == 0x6  ? 2
                  : (lead >> 4) == 0xe  ? 3
                  : (lead >> 3) == 0x1e ? 4
                                        : 0;
  if (length == 0 || at + length > text.size() || lead == 0xc0 || lead == 0xc1 || lead > 0xf4)
    return 0;
  for (size_t k = 1; k < length; ++k)
    if ((byte(at + k) & 0xc0) != 0x80) return 0;
  return length;
}

// C0 controls, DEL and the C1 controls (U+0080 to U+009F), which steer
// terminals as the C0 ones do.
bool isControl(std::string_view text, size_t at, size_t length) {
  const auto c = static_cast<unsigned char>(text[at]);
  return (length == 1 && (c < 0x20 || c == 0x7f)) ||
         (length == 2 && c == 0xc2 && static_cast<unsigned char>(text[at + 1]) < 0xa0);
}

}  // namespace

std::string shownText(std::string_view text, size_t maxCharacters) {
  std::string shown;
  size_t characters = 0;
  for (size_t i = 0; i < text.size();) {
    if (characters == maxCharacters) {
      shown += "…";
      break;
    }
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t length = utf8Length(text, i);
    if (c == '\t') {
      shown += "\\t";
    } else if (c == '\n') {
      shown += "\\n";
    } else if (c == '\r') {
      shown += "\\r";
    } else if (length == 0 || isControl(text, i, length)) {
      const size_t bytes = length == 0 ? 1 : length;
      for (size_t k = 0; k < bytes; ++k) {
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(text[i + k]));
        shown += escaped;
      }
      i += bytes;
      ++characters;
      continue;
    } else {
      shown.append(text.substr(i, length));
    }
    i += length == 0 ? 1 : length;
    ++characters;
  }
  return shown;
}

std::string plainText(std::string_view text, size_t maxBytes) {
  std::string plain;
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t length = utf8Length(text, i);
    std::string_view kept;
    if (length == 0)
      kept = "\uFFFD";
    else if (c >= '\t' && c <= '\r')
      kept = " ";
    else if (!isControl(text, i, length))
      kept = text.substr(i, length);
    if (plain.size() + kept.size() > maxBytes) break;
    plain += kept;
    i += length == 0 ? 1 : length;
  }
  return plain;
}
