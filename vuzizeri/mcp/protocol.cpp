#include "vuzizeri/mcp/protocol.h"

#include <unistd.h>

#include <cctype>
#include <cstring>

#include "common/fail.h"

namespace mcp {
namespace {

constexpr char kSpace[] = " \t\r\n";

// Where the JSON value that begins at `i` ends, in valid JSON.
size_t valueEnd(const std::string& text, size_t i) {
  int depth = 0;
  bool inString = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
        if (depth == 0) return i + 1;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      ++depth;
    } else if (c == ']' || c == '}') {
      if (depth == 0) return i;
      if (--depth == 0) return i + 1;
    } else if (depth == 0 && (c == ',' || std::strchr(kSpace, c))) {
      return i;
    }
  }
  return i;
}

// The text of the top-level object's member `name` (the last, as json-glib
// keeps it), in valid JSON.
std::optional<std::string> memberText(const std::string& text, const std::string& name) {
  size_t i = text.find_first_not_of(kSpace);
  if (i == std::string::npos || text[i] != '{') return std::nullopt;
  std::optional<std::string> found;
  for (++i;;) {
    i = text.find_first_not_of(" \t\r\n,", i);
    if (i == std::string::npos || text[i] != '"') return found;
    const size_t keyEnd = valueEnd(text, i);
    const std::string key = text.substr(i + 1, keyEnd - i - 2);
    i = text.find_first_not_of(" \t\r\n:", keyEnd);
    if (i == std::string::npos) return found;
    const size_t end = valueEnd(text, i);
    if (key == name) found = text.substr(i, end - i);
    i = end;
  }
}

}  // namespace

std::optional<std::string> idText(const std::string& line, JsonObject* message) {
  const std::optional<std::string> written = memberJson(message, "id");
  if (written == "null" || stringMember(message, "id")) return written;
  if (!numberMember(message, "id")) return std::nullopt;
  const std::optional<std::string> sent = memberText(line, "id");
  if (sent && !sent->empty() &&
      (std::isdigit(static_cast<unsigned char>((*sent)[0])) || (*sent)[0] == '-'))
    return sent;
  return written;
}

void Channel::write(const std::string& line) {
  std::lock_guard lock(mutex_);
  writeAll(STDOUT_FILENO, line + "\n");
}

void Channel::respond(const std::string& id, const vuz::JsonValue& result) {
  write(vuz::JsonValue::object(
            {{"jsonrpc", "2.0"}, {"id", vuz::JsonValue::verbatim(id)}, {"result", result}})
            .text());
}

void Channel::fail(const std::string& id, int code, const std::string& message) {
  const vuz::JsonValue error = vuz::JsonValue::object({{"code", code}, {"message", message}});
  write(vuz::JsonValue::object(
            {{"jsonrpc", "2.0"}, {"id", vuz::JsonValue::verbatim(id)}, {"error", error}})
            .text());
}

void Channel::notify(const std::string& method, const vuz::JsonValue& params) {
  write(
      vuz::JsonValue::object({{"jsonrpc", "2.0"}, {"method", method}, {"params", params}}).text());
}

}  // namespace mcp
