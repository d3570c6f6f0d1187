#include "vuzizeri/agent/json_members.h"

namespace agent {
namespace {

JsonNode* member(JsonObject* object, const char* name, GType type) {
  if (!object || !json_object_has_member(object, name)) return nullptr;
  JsonNode* node = json_object_get_member(object, name);
  if (!JSON_NODE_HOLDS_VALUE(node) || json_node_get_value_type(node) != type) return nullptr;
  return node;
}

// Whether the brackets outside strings nest deeper than `most`.
bool nestsDeeper(const std::string& text, int most) {
  int depth = 0;
  bool inString = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\')
        ++i;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > most) return true;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return false;
}

}  // namespace

bool loadJson(JsonParser* parser, const std::string& text, std::string* why) {
  if (nestsDeeper(text, kMostJsonDepth)) {
    *why = "aninhado além de " + std::to_string(kMostJsonDepth) + " níveis";
    return false;
  }
  g_autoptr(GError) error = nullptr;
  if (!json_parser_load_from_data(parser, text.data(), static_cast<gssize>(text.size()), &error)) {
    *why = error ? error->message : "JSON inválido";
    return false;
  }
  return true;
}

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

JsonObject* objectMember(JsonObject* object, const char* name) {
  if (!hasMember(object, name)) return nullptr;
  JsonNode* node = json_object_get_member(object, name);
  return JSON_NODE_HOLDS_OBJECT(node) ? json_node_get_object(node) : nullptr;
}

std::optional<std::vector<std::string>> stringsMember(JsonObject* object, const char* name) {
  if (!hasMember(object, name)) return std::nullopt;
  JsonNode* node = json_object_get_member(object, name);
  if (!JSON_NODE_HOLDS_ARRAY(node)) return std::nullopt;
  JsonArray* list = json_node_get_array(node);
  std::vector<std::string> words;
  for (guint i = 0; i < json_array_get_length(list); ++i) {
    JsonNode* item = json_array_get_element(list, i);
    if (!JSON_NODE_HOLDS_VALUE(item) || json_node_get_value_type(item) != G_TYPE_STRING)
      return std::nullopt;
    words.push_back(json_node_get_string(item));
  }
  return words;
}

bool hasMember(JsonObject* object, const char* name) {
  return object && json_object_has_member(object, name);
}

std::vector<std::string> memberNames(JsonObject* object) {
  std::vector<std::string> names;
  GList* members = object ? json_object_get_members(object) : nullptr;
  for (GList* n = members; n; n = n->next) names.emplace_back(static_cast<const char*>(n->data));
  g_list_free(members);
  return names;
}

std::optional<std::string> memberJson(JsonObject* object, const char* name) {
  if (!hasMember(object, name)) return std::nullopt;
  return nodeText(json_object_get_member(object, name));
}

std::shared_ptr<JsonObject> keptObject(JsonObject* object) {
  return {object ? json_object_ref(object) : json_object_new(), json_object_unref};
}

std::string nodeText(JsonNode* node) {
  g_autofree char* text = json_to_string(node, FALSE);
  return text ? text : vuz::JsonValue().text();
}

bool parseJson(const std::string& text, ParsedObject* into, std::string* why) {
  g_clear_object(&into->parser);
  into->object = nullptr;
  into->parser = json_parser_new();
  if (!loadJson(into->parser, text, why)) return false;
  JsonNode* root = json_parser_get_root(into->parser);
  if (root && JSON_NODE_HOLDS_OBJECT(root)) into->object = json_node_get_object(root);
  return true;
}

bool parseObject(const std::string& text, ParsedObject* into, std::string* why) {
  if (!parseJson(text, into, why)) return false;
  if (!into->object) *why = "o corpo precisa ser um objeto JSON";
  return into->object != nullptr;
}

std::optional<vuz::JsonValue> objectValue(const std::string& text) {
  ParsedObject parsed;
  std::string why;
  if (!parseObject(text, &parsed, &why)) return std::nullopt;
  return vuz::JsonValue::verbatim(text);
}

}  // namespace agent
