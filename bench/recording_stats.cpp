// recording_stats <movie.mp4> <scale> <contentTopPx> [speed [offsets.txt]]
//
// Reads a recording back and prints how smooth it is: frames, duration,
// frames per second, distinct consecutive frames per second, the largest gap
// between presentation times, and, for recordings of the numbered-bar
// pattern page with a speed given, how far each frame's scroll offset lies
// from speed × time (RMS and maximum, CSS px) and the longest hold while the
// page moves; with a file name after the speed, each moving frame's time,
// offset and error go there, one "seconds offset error" line a frame.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "scroll_pattern.h"

namespace {

// What the frames read back say, gathered one frame at a time.
struct Frames {
  int contentTop = 0;
  double scale = 1, speed = 0;
  std::vector<double> times, offsets, offsetTimes, changes;
  std::vector<bool> distinctAt;  // per frame: unlike the one before
  int clear = 0;                 // frames in a row that changed clearly
  std::vector<uint8_t> previous;
  int frames = 0, distinct = 0;

  void add(const scroll_pattern::LumaFrame& f) {
    std::vector<uint8_t> luma(static_cast<size_t>(f.width) * f.height);
    for (int y = 0; y < f.height; ++y)
      std::memcpy(&luma[static_cast<size_t>(y) * f.width], f.luma + y * f.stride, f.width);
    if (previous.empty()) {
      ++distinct;
      distinctAt.push_back(true);
    } else {
      compareWithPrevious(luma, f.width, f.seconds);
    }
    previous.swap(luma);
    ++frames;
    times.push_back(f.seconds);
    if (speed > 0) {
      if (auto offset = scroll_pattern::offsetOf(f, contentTop, scale)) {
        offsets.push_back(*offset);
        offsetTimes.push_back(f.seconds);
      }
    }
  }

  void compareWithPrevious(const std::vector<uint8_t>& luma, int width, double seconds) {
    double diff = 0;
    size_t changed = 0;
    for (size_t i = contentTop * static_cast<size_t>(width); i < luma.size(); i += 3) {
      const int d = std::abs(int(luma[i]) - int(previous[i]));
      diff += d;
      changed += d > 32;
    }
    const double mean = diff / (luma.size() / 3.0);
    // A scroll of one pixel moves every edge in view: far more than a
    // twentieth of a percent of the pixels change by an eighth of the range,
    // where re-encoding the same picture changes them by a few levels.
    const bool unlike = mean > 0.25 || changed > luma.size() / 3 / 2000;
    if (unlike) ++distinct;
    distinctAt.push_back(unlike);
    // A scroll step changes far more, frame after frame; a key frame of a
    // page at rest re-encodes to a few levels of difference, and a page
    // that changes once at its end does so once.
    clear = mean > 2 ? clear + 1 : 0;
    if (clear >= 3) changes.push_back(seconds);
  }
};

void printSmoothness(const Frames& s) {
  const std::vector<double>& times = s.times;
  double duration = times.back() - times.front();
  double gap = 0;
  for (size_t i = 1; i < times.size(); ++i) gap = std::max(gap, times[i] - times[i - 1]);
  // While moving: distinct frames from the first clear change of picture to
  // the last, which leaves out the still start and the second at the end.
  const double moving = s.changes.size() > 1 ? s.changes.back() - s.changes.front() : 0;
  int distinctMoving = 0;
  for (size_t i = 1; i < times.size(); ++i)
    if (moving > 0 && times[i] > s.changes.front() && times[i] <= s.changes.back() &&
        s.distinctAt[i])
      ++distinctMoving;
  std::printf(
      "frames %d  duration %.2f s  fps %.1f  distinct/s %.1f (while moving %.1f)  "
      "largest gap %.0f ms",
      s.frames, duration, (s.frames - 1) / std::max(duration, 1e-9),
      (s.distinct - 1) / std::max(duration, 1e-9), moving > 0 ? distinctMoving / moving : 0.0,
      gap * 1000);
}

void printScroll(const Frames& s, FILE* offsetsFile) {
  const std::vector<double>& offsets = s.offsets;
  const std::vector<double>& offsetTimes = s.offsetTimes;
  scroll_pattern::Fit fit = scroll_pattern::fitScroll(offsetTimes, offsets, s.speed);
  const double lo = *std::min_element(offsets.begin(), offsets.end());
  const double hi = *std::max_element(offsets.begin(), offsets.end());
  if (offsetsFile) {
    for (size_t i = 0; i < offsets.size(); ++i)
      if (offsets[i] > lo + 0.5 && offsets[i] < hi - 0.5)
        std::fprintf(offsetsFile, "%.6f %.4f %.4f\n", offsetTimes[i], offsets[i],
                     offsets[i] - (s.speed * offsetTimes[i] + fit.intercept));
    std::fclose(offsetsFile);
  }
  // Longest stretch with an unchanged offset while the page moves: how long
  // each offset stays on screen, at 60 distinct frames per second 17 ms.
  double hold = 0;
  size_t run = 0;
  for (size_t i = 1; i < offsets.size(); ++i) {
    if (std::abs(offsets[i] - offsets[run]) <= 0.25) continue;
    if (offsets[run] > lo + 0.5 && offsets[run] < hi - 0.5)
      hold = std::max(hold, offsetTimes[i] - offsetTimes[run]);
    run = i;
  }
  std::printf(
      "  |  scroll: %d moving frames, RMS %.2f CSS px, max %.2f, speed seen %.1f (set %.1f), "
      "longest hold %.0f ms",
      fit.samples, fit.rms, fit.maxError, fit.measuredSpeed, s.speed, hold * 1000);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: recording_stats <movie> <scale> <contentTopPx> [speed [offsets.txt]]\n");
    return 2;
  }
  const std::string path = argv[1];
  Frames seen;
  seen.scale = std::atof(argv[2]);
  seen.contentTop = std::atoi(argv[3]);
  seen.speed = argc > 4 ? std::atof(argv[4]) : 0;
  FILE* offsetsFile = argc > 5 ? std::fopen(argv[5], "w") : nullptr;
  const bool ok = scroll_pattern::forEachFrame(
      path, [&seen](const scroll_pattern::LumaFrame& f) { seen.add(f); });
  if (!ok || seen.frames == 0) {
    std::fprintf(stderr, "cannot decode %s\n", path.c_str());
    return 1;
  }
  printSmoothness(seen);
  if (seen.speed > 0 && seen.offsets.size() > 2) printScroll(seen, offsetsFile);
  std::printf("\n");
  return 0;
}
