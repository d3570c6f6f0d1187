#pragma once

#include <cstdint>

namespace vuz {

// What a person watching the run is told, after each step of it.
struct Progress {
  enum class Phase { kWaiting, kRecording, kFinishing };
  Phase phase = Phase::kWaiting;
  int64_t frames = 0;          // snapshots taken while recording
  double seconds = 0;          // of video so far
  int64_t distinctFrames = 0;  // of those, the ones unlike the snapshot before
  double scrolled = 0;         // of the way to the page's end, 0 to 1
  // Frame by frame only: frames made per second of wall time, and the wall
  // time the rest should take at that rate.
  double rate = 0;
  double secondsLeft = 0;
};

}  // namespace vuz
