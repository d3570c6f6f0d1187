#include "vuzizeri/recorder/scripts.h"

#include <charconv>

namespace vuz {

std::string shortestDecimal(double value) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  std::string text(buffer, result.ptr);
  if (text.find_first_of(".eEni") == std::string::npos) text += ".0";
  return text;
}

std::string scrollScript(double velocidade) {
  return kScrollScriptPrefix + shortestDecimal(velocidade) + ")";
}

}  // namespace vuz
