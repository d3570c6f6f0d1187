#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// JSON as the recorder writes it: its --json report, the arguments its
// scripts take in the page, and what the service and the MCP server answer.
// Every JSON text is a JavaScript literal too.
namespace vuz {

// `text` as a JSON string: valid UTF-8 (each byte that is not becomes
// U+FFFD), quotes, backslashes and control characters escaped. U+2028 and
// U+2029 stay as they are: JSON and, since ES2019, JavaScript take them.
std::string jsonString(std::string_view text);

// The shortest text that reads back as exactly `value`; null when it is not
// finite, which JSON cannot hold.
std::string jsonNumber(double value);

// One value written as JSON: null, a boolean, a number, a string, a list,
// or an object of named values in the order given.
class JsonValue {
 public:
  JsonValue() : text_("null") {}
  JsonValue(std::nullptr_t) : text_("null") {}
  JsonValue(bool value) : text_(value ? "true" : "false") {}
  JsonValue(double value) : text_(jsonNumber(value)) {}
  JsonValue(int value) : text_(std::to_string(value)) {}
  JsonValue(int64_t value) : text_(std::to_string(value)) {}
  JsonValue(const char* value) : text_(jsonString(value)) {}
  JsonValue(const std::string& value) : text_(jsonString(value)) {}
  static JsonValue list(const std::vector<JsonValue>& items);
  static JsonValue object(std::initializer_list<std::pair<std::string_view, JsonValue>> members);
  // `text` taken as it is, unchecked: JSON that a writer made (this one,
  // json-glib's, the recorder's --json report) or a constant document.
  // Text from anywhere else is parsed before it comes here.
  static JsonValue verbatim(std::string text) { return JsonValue(Raw{}, std::move(text)); }

  const std::string& text() const { return text_; }

 private:
  struct Raw {};
  JsonValue(Raw, std::string text) : text_(std::move(text)) {}
  std::string text_;
};

// An object written member by member, in the order they are added, for
// members that are there only sometimes.
class JsonObjectWriter {
 public:
  JsonObjectWriter& add(std::string_view name, const JsonValue& value);
  JsonObjectWriter& addIf(bool present, std::string_view name, const JsonValue& value) {
    return present ? add(name, value) : *this;
  }
  JsonValue done() const { return JsonValue::verbatim(text_ + "}"); }

 private:
  std::string text_ = "{";
};

}  // namespace vuz
