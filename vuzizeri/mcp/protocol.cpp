#include "vuzizeri/mcp/protocol.h"

#include <unistd.h>

#include <cctype>
#include <cstring>

#include "common/fail.h"
#include "vuzizeri/report/json.h"

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

std::optional<std::string> idText(const std::string& line, JsonNode* id) {
  if (JSON_NODE_HOLDS_NULL(id)) return "null";
  if (!JSON_NODE_HOLDS_VALUE(id)) return std::nullopt;
  const GType type = json_node_get_value_type(id);
  if (type == G_TYPE_STRING) return nodeText(id);
  if (type != G_TYPE_INT64 && type != G_TYPE_DOUBLE) return std::nullopt;
  const std::optional<std::string> sent = memberText(line, "id");
  if (sent && !sent->empty() &&
      (std::isdigit(static_cast<unsigned char>((*sent)[0])) || (*sent)[0] == '-'))
    return sent;
  return nodeText(id);
}

void Channel::write(const std::string& line) {
  std::lock_guard lock(mutex_);
  writeAll(STDOUT_FILENO, line + "\n");
}

void Channel::respond(const std::string& id, const std::string& result) {
  write("{\"jsonrpc\": \"2.0\", \"id\": " + id + ", \"result\": " + result + "}");
}

void Channel::fail(const std::string& id, int code, const std::string& message) {
  write("{\"jsonrpc\": \"2.0\", \"id\": " + id + ", \"error\": {\"code\": " + std::to_string(code) +
        ", \"message\": " + vuz::jsonString(message) + "}}");
}

void Channel::notify(const std::string& method, const std::string& params) {
  write("{\"jsonrpc\": \"2.0\", \"method\": " + vuz::jsonString(method) +
        ", \"params\": " + params + "}");
}

}  // namespace mcp
