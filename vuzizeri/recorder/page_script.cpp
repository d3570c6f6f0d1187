#include "vuzizeri/recorder/page_script.h"

namespace vuz {

std::string scriptCall(const PageScript& script, const JsonValue& arguments) {
  return std::string("(") + script.source + ")(" + arguments.text() + ")";
}

}  // namespace vuz
