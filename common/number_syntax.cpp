#include "common/number_syntax.h"

#include <locale.h>

#include <cstdlib>
#include <string>

std::optional<int64_t> parseInt64(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  // Accumulate towards the negative side, which holds one more value than the
  // positive side, so INT64_MIN parses without overflow.
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    int digit = c - '0';
    if (value < (INT64_MIN + digit) / 10) return std::nullopt;
    value = value * 10 - digit;
  }
  if (!negative) {
    if (value == INT64_MIN) return std::nullopt;
    value = -value;
  }
  return value;
}

namespace {

bool isLeadingSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::optional<double> parseScale(std::string_view text) {
  if (text.empty() || isLeadingSpace(text.front())) return std::nullopt;
  std::string copy(text);  // strtod needs the terminating zero
  // GTK switches the process to the user's locale; a "C" locale object keeps
  // the full stop as the decimal separator whatever it is.
  static locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
  char* end = nullptr;
  double value = strtod_l(copy.c_str(), &end, cLocale);
  if (end != copy.c_str() + copy.size()) return std::nullopt;
  return value;
}
