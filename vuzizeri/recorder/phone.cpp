#include "vuzizeri/recorder/phone.h"

#include <cctype>
#include <string_view>

#include "vuzizeri/recorder/page_scripts.h"

namespace vuz {

namespace {

bool allOf(std::string_view text, int (*is)(int)) {
  for (char c : text)
    if (!is(static_cast<unsigned char>(c))) return false;
  return true;
}

}  // namespace

std::string languageTag(const char* lcAll, const char* lcMessages, const char* lang) {
  std::string_view locale;
  for (const char* value : {lcAll, lcMessages, lang}) {
    if (value && *value) {
      locale = value;
      break;
    }
  }
  // language[_territory][.codeset][@modifier]
  locale = locale.substr(0, locale.find_first_of(".@"));
  std::string_view language = locale.substr(0, locale.find('_'));
  std::string_view territory =
      language.size() < locale.size() ? locale.substr(language.size() + 1) : std::string_view();
  if (language.size() < 2 || language.size() > 3 || !allOf(language, islower)) return "en-US";
  std::string tag(language);
  if ((territory.size() == 2 && allOf(territory, isupper)) ||
      (territory.size() == 3 && allOf(territory, isdigit)))
    tag.append("-").append(territory);
  return tag;
}

std::string phoneScript(int64_t cssW, int64_t cssH) {
  return scriptCall(
      kPhoneScript,
      JsonValue::object({{"width", cssW}, {"height", cssH}, {"touchPoints", kTouchPoints}}));
}

}  // namespace vuz
