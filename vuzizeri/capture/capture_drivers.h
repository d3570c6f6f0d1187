#pragma once

#include <memory>

#include "vuzizeri/recorder/capture_driver.h"

// The two ways of taking the frames (see capture_driver.h).
namespace vuz {

// Real time: the page scrolls itself on its own clock; each iteration takes
// the view's newest picture and stamps it with the clock.
std::unique_ptr<CaptureDriver> realTimeDriver(CaptureHost& recording);
// Frame by frame: the recorder moves the page one exact position a frame.
std::unique_ptr<CaptureDriver> frameByFrameDriver(CaptureHost& recording);
// The one the run's settings ask for: a CaptureDriverFactory.
std::unique_ptr<CaptureDriver> captureDriverFor(CaptureHost& recording);

}  // namespace vuz
