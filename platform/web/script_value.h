#pragma once

#include <optional>
#include <string>
#include <vector>

namespace web {

// A value that a script in the page answered, reduced to what the recorder
// looks at. Absence (undefined, null, a thrown error) is an empty optional in
// ScriptAnswer, not a kind here.
struct ScriptValue {
  enum class Kind { kNumber, kBoolean, kString, kArray, kObject };
  Kind kind = Kind::kObject;
  double number = 0;
  std::string string;
  std::vector<ScriptValue> elements;  // kArray only; absent elements are kObject

  static ScriptValue ofNumber(double n) { return {Kind::kNumber, n, {}, {}}; }
  static ScriptValue ofString(std::string s) { return {Kind::kString, 0, std::move(s), {}}; }
  static ScriptValue ofArray(std::vector<ScriptValue> e) {
    return {Kind::kArray, 0, {}, std::move(e)};
  }
  static ScriptValue ofObject() { return {}; }

  bool isNumber() const { return kind == Kind::kNumber; }
  bool isArray() const { return kind == Kind::kArray; }
  bool isTrue() const { return kind == Kind::kBoolean && number != 0; }
};

// What a script answered: its value, nothing when it answered undefined or
// null, threw or got no answer at all (its web process gone); and when it
// threw, what it threw.
struct ScriptAnswer {
  std::optional<ScriptValue> value;
  std::optional<std::string> thrown;
};

}  // namespace web
