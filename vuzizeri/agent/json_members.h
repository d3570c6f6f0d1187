#pragma once

#include <json-glib/json-glib.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vuzizeri/report/json.h"

// Reading the JSON the recorder's front ends are given.
namespace agent {

// A member of a JSON object, or nothing when it is absent or of another
// type.
std::optional<std::string> stringMember(JsonObject* object, const char* name);
std::optional<double> numberMember(JsonObject* object, const char* name);
std::optional<bool> boolMember(JsonObject* object, const char* name);
JsonObject* objectMember(JsonObject* object, const char* name);
// A member that is a list of strings, or nothing when it is absent or
// anything else (a list with one item of another type too).
std::optional<std::vector<std::string>> stringsMember(JsonObject* object, const char* name);
// Whether `object` has the member `name`, of any type.
bool hasMember(JsonObject* object, const char* name);
// The names of `object`'s members, in their order.
std::vector<std::string> memberNames(JsonObject* object);
// A member of any type as JSON text, or nothing when it is absent.
std::optional<std::string> memberJson(JsonObject* object, const char* name);
// `object` held for as long as the pointer is, past the parser that read it
// (a new empty object for none): for a value read on another thread.
std::shared_ptr<JsonObject> keptObject(JsonObject* object);
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
// `text` parsed, its root in `into->object` when that is an object and null
// when it is another value; false, with the reason, when it is not JSON.
bool parseJson(const std::string& text, ParsedObject* into, std::string* why);
// `text` to write inside other JSON as it is, when it is a JSON object;
// nothing when it is not (a stored report cut short, or edited).
std::optional<vuz::JsonValue> objectValue(const std::string& text);

}  // namespace agent
