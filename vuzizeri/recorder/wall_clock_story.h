#pragma once

#include <functional>
#include <optional>

#include "vuzizeri/recorder/page_script.h"
#include "vuzizeri/storyboard/storyboard_run.h"

namespace vuz {

// A storyboard run on the wall clock: before the recording, and in real time
// the filmed steps. A moment every 1/60 s; a move the page follows on its own
// animation clock, as a plain scroll does (smoother than being put at each
// moment); a navigation holds the video on its last frame.
class WallClockStory {
 public:
  struct Host {
    std::function<double()> now;
    std::function<void(double seconds, std::function<void()>)> after;
    std::function<void(const PageScript&, const JsonValue&,
                       std::function<void(std::optional<web::ScriptValue>)>)>
        runScript;
    std::function<void()> beat;
  };
  // Moves go at `speed` CSS px/s, eased over `ease` seconds.
  WallClockStory(Host host, double speed, double ease);

  // Runs `run` from now, moving the page as it says; `over` once every step
  // is done.
  void run(StoryboardRun& run, std::function<void()> over);
  // When the clock started, on the host's clock.
  double origin() const { return origin_; }
  // Whether the page is moving, or going to another page, at this moment.
  bool moving() const { return moving_; }
  bool leavingPage() const { return leaving_; }
  void setLeavingPage(bool leaving) { leaving_ = leaving; }

 private:
  void moment(StoryboardRun& run, std::optional<double> scrollTo, std::function<void()> over);

  Host host_;
  const double speed_, ease_;
  double origin_ = 0;
  double moveBegin_ = -1;  // the move the page follows, by when it began
  bool moving_ = false;
  bool leaving_ = false;
};

}  // namespace vuz
