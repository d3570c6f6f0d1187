#include "vuzizeri/mcp/protocol.h"

#include <unistd.h>

#include "common/fail.h"
#include "vuzizeri/report/json.h"

namespace mcp {

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

namespace {

JsonNode* member(JsonObject* object, const char* name, GType type) {
  if (!object || !json_object_has_member(object, name)) return nullptr;
  JsonNode* node = json_object_get_member(object, name);
  if (!JSON_NODE_HOLDS_VALUE(node) || json_node_get_value_type(node) != type) return nullptr;
  return node;
}

}  // namespace

std::optional<std::string> stringMember(JsonObject* object, const char* name) {
  JsonNode* node = member(object, name, G_TYPE_STRING);
  if (!node) return std::nullopt;
  return std::string(json_node_get_string(node));
}

std::optional<double> numberMember(JsonObject* object, const char* name) {
  if (JsonNode* node = member(object, name, G_TYPE_INT64)) return json_node_get_int(node);
  if (JsonNode* node = member(object, name, G_TYPE_DOUBLE)) return json_node_get_double(node);
  return std::nullopt;
}

std::optional<bool> boolMember(JsonObject* object, const char* name) {
  JsonNode* node = member(object, name, G_TYPE_BOOLEAN);
  if (!node) return std::nullopt;
  return json_node_get_boolean(node) != FALSE;
}

std::string nodeText(JsonNode* node) {
  g_autofree char* text = json_to_string(node, FALSE);
  return text ? text : "null";
}

}  // namespace mcp
