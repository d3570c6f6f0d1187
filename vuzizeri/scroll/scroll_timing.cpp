#include "vuzizeri/scroll/scroll_timing.h"

#include <algorithm>
#include <cmath>

namespace vuz {
namespace {

PlanShape atSpeed(PlanShape shape, double speed) {
  shape.speed = speed;
  return shape;
}

}  // namespace

double videoSecondsOf(const PlanShape& shape, double pageEnd, int fps) {
  return static_cast<double>(framesOf(ScrollPlan(shape), pageEnd, fps)) / fps;
}

PlanShape timedShape(PlanShape shape, double pageEnd, int fps, LengthWindow window) {
  shape.followsPageEnd = false;
  auto length = [&](double speed) { return videoSecondsOf(atSpeed(shape, speed), pageEnd, fps); };
  // The lengths are whole frames; a hair under a frame's edge is on it.
  const double slack = 1e-9;
  const double now = length(shape.speed);
  if (now >= window.shortest - slack && now <= window.longest + slack) return shape;
  // Length falls as speed rises: halve the gap between a speed too slow and
  // one fast enough (or the other way), on a logarithmic scale.
  auto search = [&](double slow, double fast, auto longEnough) {
    for (int i = 0; i < 60 && fast / slow > 1 + 1e-9; ++i) {
      const double middle = std::sqrt(slow * fast);
      (longEnough(length(middle)) ? slow : fast) = middle;
    }
    return std::pair{slow, fast};
  };
  if (now > window.longest) {
    if (length(kFastestTimedSpeed) > window.longest + slack)
      return atSpeed(shape, kFastestTimedSpeed);
    return atSpeed(shape, search(shape.speed, kFastestTimedSpeed, [&](double l) {
                            return l > window.longest + slack;
                          }).second);
  }
  const double slowest = std::min(shape.speed, kSlowestTimedSpeed);
  if (length(slowest) >= window.shortest - slack) {
    return atSpeed(shape, search(slowest, shape.speed, [&](double l) {
                            return l >= window.shortest - slack;
                          }).first);
  }
  // Holds make up the rest, in whole frames.
  shape.speed = slowest;
  const int64_t missing =
      static_cast<int64_t>(std::ceil((window.shortest - length(slowest)) * fps - 1e-6));
  const int64_t first = missing / 2;
  PlanShape held = shape;
  for (int64_t extra = 0; extra <= 2; ++extra) {
    held = shape;
    if (first > 0) held.pauses.push_back({shape.start, static_cast<double>(first) / fps});
    held.pauses.push_back({shape.end, static_cast<double>(missing - first + extra) / fps});
    if (videoSecondsOf(held, pageEnd, fps) >= window.shortest - slack) break;
  }
  return held;
}

}  // namespace vuz
