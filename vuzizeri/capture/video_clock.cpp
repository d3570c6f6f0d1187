#include "vuzizeri/capture/video_clock.h"

#include "vuzizeri/recorder/page_scripts.h"

namespace vuz {

std::string videoClockScript() {
  return scriptCall(kVideoClockScript, JsonValue::object({{"event", kVideoClockEvent}}));
}

}  // namespace vuz
