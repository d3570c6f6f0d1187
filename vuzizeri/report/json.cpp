#include "vuzizeri/report/json.h"

#include <glib.h>

#include <charconv>
#include <cmath>
#include <cstdio>

namespace vuz {

namespace {

// Bytes that are not UTF-8 (a path can hold any) would make neither a script
// nor JSON: each becomes U+FFFD.
std::string validUtf8(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out += text[i++];
      continue;
    }
    const gunichar u =
        g_utf8_get_char_validated(text.data() + i, static_cast<gssize>(text.size() - i));
    if (u == static_cast<gunichar>(-1) || u == static_cast<gunichar>(-2)) {
      out += "\uFFFD";
      ++i;
      continue;
    }
    const size_t length = static_cast<size_t>(g_utf8_skip[c]);
    out.append(text.substr(i, length));
    i += length;
  }
  return out;
}

}  // namespace

std::string jsonString(std::string_view raw) {
  const std::string text = validUtf8(raw);
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7f) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string jsonNumber(double value) {
  if (!std::isfinite(value)) return "null";
  char text[64];
  auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

JsonValue JsonValue::list(const std::vector<JsonValue>& items) {
  std::string text = "[";
  for (size_t i = 0; i < items.size(); ++i) text += (i ? ", " : "") + items[i].text();
  return JsonValue(Raw{}, text + "]");
}

JsonValue JsonValue::object(std::initializer_list<std::pair<std::string_view, JsonValue>> members) {
  JsonObjectWriter writer;
  for (const auto& [name, value] : members) writer.add(name, value);
  return writer.done();
}

JsonObjectWriter& JsonObjectWriter::add(std::string_view name, const JsonValue& value) {
  text_ += (text_.size() > 1 ? ", " : "") + jsonString(name) + ": " + value.text();
  return *this;
}

}  // namespace vuz
