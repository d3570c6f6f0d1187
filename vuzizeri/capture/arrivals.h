#pragma once

#include <functional>
#include <string>

#include "vuzizeri/report/json.h"

namespace vuz {

class CaptureHost;

// Frame by frame, a frame is taken once what it shows has arrived: the
// images, background images and web fonts in view, loaded or failed.
// Something that never arrives holds one frame for kArrivalWaitSeconds at
// most, and is then given up for the rest of the run.
// The `check` of scripts/frame.js: how many of the images, background
// images and web fonts in view are still on their way (0 when none); with
// `giveUp`, those are given up and the answer is 0.
JsonValue arrivalsCheck(bool giveUp);

class ArrivalWait {
 public:
  explicit ArrivalWait(CaptureHost& recording) : r_(recording) {}
  // Calls `then` once nothing in view is still on its way, with whether it
  // had to wait (then the picture in view predates what arrived).
  void check(std::function<void(bool waited)> then);

 private:
  void poll(double since, bool giveUp, bool waited, std::function<void(bool)> then);
  CaptureHost& r_;
};

}  // namespace vuz
