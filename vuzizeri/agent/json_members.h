#pragma once

#include <json-glib/json-glib.h>

#include <optional>
#include <string>

// Reading the JSON the recorder's front ends are given.
namespace agent {

// A member of a JSON object, or nothing when it is absent or of another
// type.
std::optional<std::string> stringMember(JsonObject* object, const char* name);
std::optional<double> numberMember(JsonObject* object, const char* name);
std::optional<bool> boolMember(JsonObject* object, const char* name);
// A JSON node as text.
std::string nodeText(JsonNode* node);
// The deepest nesting of arrays and objects the front ends read: json-glib
// parses by recursion, and a few hundred thousand brackets end the process.
inline constexpr int kMostJsonDepth = 64;
// `text` into `parser`, refused before the parser sees it when its arrays
// and objects nest deeper than kMostJsonDepth; false with the reason.
bool loadJson(JsonParser* parser, const std::string& text, std::string* why);
// `text` parsed as a JSON object, or nothing with the parser's reason.
struct ParsedObject {
  JsonParser* parser = nullptr;  // owns the object
  JsonObject* object = nullptr;
  ParsedObject() = default;
  ParsedObject(const ParsedObject&) = delete;
  ParsedObject& operator=(const ParsedObject&) = delete;
  ~ParsedObject() { g_clear_object(&parser); }
};
bool parseObject(const std::string& text, ParsedObject* into, std::string* why);

}  // namespace agent
