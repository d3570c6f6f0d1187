#include "vuzizeri/storyboard/line_syntax.h"

#include <cctype>
#include <cmath>
#include <tuple>

#include "common/number_syntax.h"

namespace vuz {

std::string trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::pair<std::string, std::string> firstWord(const std::string& text) {
  const size_t end = text.find_first_of(kBlanks);
  if (end == std::string::npos) return {text, {}};
  return {text.substr(0, end), trimmed(text.substr(end))};
}

std::optional<double> number(const std::string& text) {
  const std::optional<double> value = parseScale(text);
  if (!value || !std::isfinite(*value)) return std::nullopt;
  return value;
}

namespace {

bool nameStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool namePart(char c) { return nameStart(c) || std::isdigit(static_cast<unsigned char>(c)); }

}  // namespace

bool expand(const std::string& text, const Environment& environment, std::string* out,
            std::string* missing) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '$' || i + 1 == text.size()) {
      *out += text[i];
    } else if (text[i + 1] == '$') {
      *out += '$';
      ++i;
    } else if (nameStart(text[i + 1])) {
      size_t end = i + 1;
      while (end < text.size() && namePart(text[end])) ++end;
      const std::string name = text.substr(i + 1, end - i - 1);
      const std::optional<std::string> value = environment ? environment(name) : std::nullopt;
      if (!value) {
        *missing = name;
        return false;
      }
      *out += *value;
      i = end - 1;
    } else {
      *out += '$';
    }
  }
  return true;
}

bool splitSelector(const std::string& rest, std::string* selector, std::string* text) {
  if (!rest.empty() && (rest[0] == '"' || rest[0] == '\'')) {
    const size_t close = rest.find(rest[0], 1);
    if (close == std::string::npos) return false;
    *selector = rest.substr(1, close - 1);
    *text = rest.substr(close + 1);
    if (!text->empty() && !std::isblank(static_cast<unsigned char>((*text)[0]))) return false;
  } else {
    std::tie(*selector, *text) = firstWord(rest);
    return !selector->empty() && !text->empty();
  }
  *text = trimmed(*text);
  return !selector->empty() && !text->empty();
}

bool wholeSelector(const std::string& rest, std::string* selector) {
  const bool quoted = rest.size() >= 2 && (rest[0] == '"' || rest[0] == '\'') &&
                      rest.find(rest[0], 1) == rest.size() - 1;
  if (!quoted && !rest.empty() && (rest[0] == '"' || rest[0] == '\'')) return false;
  *selector = quoted ? rest.substr(1, rest.size() - 2) : rest;
  return !selector->empty();
}

std::string schemeOf(const std::string& url) {
  size_t end = 0;
  while (end < url.size() && (std::isalpha(static_cast<unsigned char>(url[end])) ||
                              (end > 0 && (std::isdigit(static_cast<unsigned char>(url[end])) ||
                                           url[end] == '+' || url[end] == '-' || url[end] == '.'))))
    ++end;
  if (end == 0 || end >= url.size() || url[end] != ':') return {};
  std::string scheme = url.substr(0, end);
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return scheme;
}

}  // namespace vuz
