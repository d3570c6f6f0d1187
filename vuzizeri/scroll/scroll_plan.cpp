#include "vuzizeri/scroll/scroll_plan.h"

#include <algorithm>
#include <cmath>

namespace vuz {

PlanSegment planMove(double begin, double from, double to, double speed, double ease) {
  const double distance = std::abs(to - from);
  PlanSegment s{begin, distance / speed, from, to, 0, speed};
  if (ease > 0 && distance > 0) {
    // Each ramp covers ramp × peak / 2; a move too short for two full ramps
    // ramps for less time, to a lower peak, at the same acceleration.
    s.ramp = std::min(ease, std::sqrt(distance * ease / speed));
    s.peak = speed * s.ramp / ease;
    s.length = 2 * s.ramp + (distance - s.peak * s.ramp) / s.peak;
  }
  return s;
}

double planDistance(const PlanSegment& s, double tau) {
  const double distance = std::abs(s.to - s.from);
  if (tau <= 0) return 0;
  if (tau >= s.length) return distance;
  // Speed peak × (1 − cos(π x / ramp)) / 2 over a ramp, integrated.
  auto ramped = [&s](double x) {
    return s.peak * (x / 2 - s.ramp / (2 * M_PI) * std::sin(M_PI * x / s.ramp));
  };
  if (tau < s.ramp) return ramped(tau);
  if (tau > s.length - s.ramp) return distance - ramped(s.length - tau);
  return s.peak * s.ramp / 2 + s.peak * (tau - s.ramp);
}

ScrollPlan::ScrollPlan(const PlanShape& shape) : shape_(shape) {
  const double v = shape.speed;
  const double e = shape.ease;
  const double low = std::min(shape.start, shape.end);
  const double high = std::max(shape.start, shape.end);
  // Holds in the order the scroll meets them; those it never passes are left
  // out.
  std::vector<PlanPause> pauses;
  for (const PlanPause& p : shape.pauses)
    if (p.offset >= low && p.offset <= high && p.seconds > 0) pauses.push_back(p);
  std::stable_sort(pauses.begin(), pauses.end(), [&](const PlanPause& a, const PlanPause& b) {
    return std::abs(a.offset - shape.start) < std::abs(b.offset - shape.start);
  });

  double t = 0;
  double at = shape.start;
  double moving = 0;
  auto move = [&](double to) {
    segments_.push_back(planMove(t, at, to, v, e));
    t += segments_.back().length;
    moving += segments_.back().length;
    at = to;
  };
  auto hold = [&](double seconds) {
    segments_.push_back(PlanSegment{t, seconds, at, at, 0, 0});
    t += seconds;
  };
  for (const PlanPause& p : pauses) {
    if (p.offset != at) move(p.offset);
    hold(p.seconds);
  }
  const double lastFrom = at;
  move(shape.end);
  openEndLimit_ = std::max(shape.end, lastFrom + v * std::max(0.0, shape.scrollTimeCap - moving +
                                                                       segments_.back().length));
  if (shape.roundTrip) {
    hold(kEndHoldSeconds);
    move(shape.start);
  }
}

PlanSegment ScrollPlan::lastMoveTo(double pageEnd) const {
  const PlanSegment& last = segments_.back();
  const double to = std::max(last.from, std::min(pageEnd, openEndLimit_));
  return planMove(last.begin, last.from, to, shape_.speed, shape_.ease);
}

const PlanSegment& ScrollPlan::segmentAt(double seconds, PlanSegment& retargeted,
                                         double pageEnd) const {
  auto after = std::upper_bound(segments_.begin(), segments_.end(), seconds,
                                [](double t, const PlanSegment& s) { return t < s.begin; });
  const PlanSegment& s = after == segments_.begin() ? segments_.front() : *(after - 1);
  if (!shape_.followsPageEnd || &s != &segments_.back()) return s;
  retargeted = lastMoveTo(pageEnd);
  return retargeted;
}

double ScrollPlan::position(double seconds, double pageEnd) const {
  PlanSegment retargeted;
  const PlanSegment& s = segmentAt(seconds, retargeted, pageEnd);
  const double gone = planDistance(s, seconds - s.begin);
  return s.to >= s.from ? s.from + gone : s.from - gone;
}

double ScrollPlan::duration(double pageEnd) const {
  const PlanSegment last = shape_.followsPageEnd ? lastMoveTo(pageEnd) : segments_.back();
  return last.begin + last.length;
}

double scrollSpeed(double pageHeight, int64_t contentH) {
  double distance = pageHeight - static_cast<double>(contentH);
  return std::max(kMinimumSpeed, distance / kScrollTimeCap);
}

ScrollPlan plainScroll(double startOffset, double endOffset, double speed) {
  PlanShape shape;
  shape.start = startOffset;
  shape.end = std::max(startOffset, endOffset);
  shape.speed = speed;
  shape.followsPageEnd = true;
  shape.scrollTimeCap = kScrollTimeCap;
  return ScrollPlan(shape);
}

int64_t framesOf(const ScrollPlan& plan, double pageEnd, int fps) {
  const double length = plan.duration(pageEnd);
  // The first frame whose time reaches the plan's length, found by the same
  // comparison the frames make.
  int64_t moving = std::max<int64_t>(0, static_cast<int64_t>(std::floor(length * fps)) - 2);
  while (!plan.over(static_cast<double>(moving) / fps, pageEnd)) ++moving;
  return moving + endReadings(fps);
}

}  // namespace vuz
