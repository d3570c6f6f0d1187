#include "vuzizeri/capture/capture_drivers.h"

namespace vuz {

std::unique_ptr<CaptureDriver> captureDriverFor(CaptureHost& recording) {
  return recording.settings().frameByFrame ? frameByFrameDriver(recording)
                                           : realTimeDriver(recording);
}

}  // namespace vuz
