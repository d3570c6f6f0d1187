#pragma once

#include <optional>

#include "platform/web/script_value.h"

namespace vuz {

// The page's offset and end offset from a step script's answer; nothing
// when the answer is not two numbers.
struct PageReading {
  double offset = 0;
  double endOffset = 0;
  web::ScriptValue still;   // the viewport rectangles of what does not scroll
  web::ScriptValue layers;  // the lifted headers and tab bars, frame by frame
};
std::optional<PageReading> readPage(const std::optional<web::ScriptValue>& answer);

}  // namespace vuz
