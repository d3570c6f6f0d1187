#include "vuzizeri/recorder/page_reading.h"

#include <cmath>

namespace vuz {

std::optional<PageReading> readPage(const std::optional<web::ScriptValue>& answer) {
  if (!answer || !answer->isArray() || answer->elements.size() < 2) return std::nullopt;
  const web::ScriptValue& offset = answer->elements[0];
  const web::ScriptValue& end = answer->elements[1];
  if (!offset.isNumber() || !end.isNumber() || !std::isfinite(offset.number) ||
      !std::isfinite(end.number))
    return std::nullopt;
  PageReading reading{offset.number, end.number, {}, {}};
  if (answer->elements.size() > 2) reading.still = answer->elements[2];
  if (answer->elements.size() > 3) reading.layers = answer->elements[3];
  return reading;
}

}  // namespace vuz
