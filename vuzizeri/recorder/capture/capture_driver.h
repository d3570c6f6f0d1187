#pragma once

#include <memory>

namespace vuz {

class Vuzizeri;
class ScrollPlan;

// How the frames are taken once the page is measured and the movie is open:
// in real time, as the page scrolls itself, or frame by frame, the recorder
// moving it. One driver a run, chosen once; each keeps its own state and
// works through the recording's shared steps (the snapshot, composing and
// appending a frame, counting the end, telling the progress).
class CaptureDriver {
 public:
  virtual ~CaptureDriver() = default;
  // The scroll starts at `speed` CSS px/s, along `plan` when it is directed.
  virtual void start(double speed, const ScrollPlan* plan) = 0;
  // A new picture of the page has reached the view.
  virtual void newPicture() = 0;
};

std::unique_ptr<CaptureDriver> realTimeDriver(Vuzizeri& recording);
std::unique_ptr<CaptureDriver> frameByFrameDriver(Vuzizeri& recording);

}  // namespace vuz
