#include "vuzizeri/picture/css_colour.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "common/number_syntax.h"

namespace vuz {

namespace {

std::optional<int> hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return std::nullopt;
}

}  // namespace

std::optional<CssColour> parseCssColour(std::string_view given) {
  std::string text(given);
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  static const std::pair<std::string_view, CssColour> kNames[] = {
      {"white", {255, 255, 255}}, {"black", {0, 0, 0}},         {"silver", {192, 192, 192}},
      {"gray", {128, 128, 128}},  {"red", {255, 0, 0}},         {"maroon", {128, 0, 0}},
      {"yellow", {255, 255, 0}},  {"olive", {128, 128, 0}},     {"lime", {0, 255, 0}},
      {"green", {0, 128, 0}},     {"aqua", {0, 255, 255}},      {"teal", {0, 128, 128}},
      {"blue", {0, 0, 255}},      {"navy", {0, 0, 128}},        {"fuchsia", {255, 0, 255}},
      {"purple", {128, 0, 128}},  {"transparent", {0, 0, 0, 0}}};
  for (const auto& [name, colour] : kNames)
    if (text == name) return colour;
  if (text.size() > 1 && text[0] == '#') {
    std::vector<int> digits;
    for (char c : text.substr(1)) {
      std::optional<int> d = hexDigit(c);
      if (!d) return std::nullopt;
      digits.push_back(*d);
    }
    if (digits.size() == 3 || digits.size() == 4)
      return CssColour{digits[0] * 17, digits[1] * 17, digits[2] * 17,
                       digits.size() == 4 ? digits[3] * 17 : 255};
    if (digits.size() == 6 || digits.size() == 8)
      return CssColour{digits[0] * 16 + digits[1], digits[2] * 16 + digits[3],
                       digits[4] * 16 + digits[5],
                       digits.size() == 8 ? digits[6] * 16 + digits[7] : 255};
    return std::nullopt;
  }
  if (text.starts_with("rgb(") && text.ends_with(")")) {
    std::string inner = text.substr(4, text.size() - 5);
    int channels[3];
    size_t at = 0;
    for (int i = 0; i < 3; ++i) {
      const size_t comma = i < 2 ? inner.find(',', at) : inner.size();
      if (comma == std::string::npos) return std::nullopt;
      std::string part = inner.substr(at, comma - at);
      part.erase(0, part.find_first_not_of(' '));
      part.erase(part.find_last_not_of(' ') + 1);
      const std::optional<int64_t> v = parseInt64(part);
      if (!v || *v < 0 || *v > 255) return std::nullopt;
      channels[i] = static_cast<int>(*v);
      at = comma + 1;
    }
    return CssColour{channels[0], channels[1], channels[2]};
  }
  return std::nullopt;
}

}  // namespace vuz
