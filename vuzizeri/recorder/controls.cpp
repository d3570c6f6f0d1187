#include "vuzizeri/recorder/controls.h"

#include "vuzizeri/recorder/page_scripts.h"

namespace vuz {

std::string dateFieldsScript(const std::string& languageTag) {
  return scriptCall(kDateFieldsScript, JsonValue::object({{"language", languageTag}}));
}

}  // namespace vuz
