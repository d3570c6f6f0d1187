#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The scroll as one plan: where the page stands at every moment of the video,
// as moves at a speed (eased in and out when asked) and holds. Frame by frame
// places each frame on it; in real time the page's own script follows it.
namespace vuz {

// The plain scroll's speed: at least 250 CSS px/s, faster when it would
// otherwise take more than 60 s.
inline constexpr double kMinimumSpeed = 250.0;  // CSS px/s
inline constexpr double kScrollTimeCap = 60.0;  // seconds
double scrollSpeed(double pageHeight, int64_t contentH);

// The longest video a directed scroll may make: a plan of hours or days is
// never what was meant (a speed of 0.001 px/s, a hold of 10⁶ s).
inline constexpr double kMaxVideoSeconds = 600;

// At `fps` frames a second: the interval between frames, and the readings
// (or frames) in a row at the scroll's end (a second's worth and one) that
// end the video.
inline double captureInterval(int fps) { return 1.0 / fps; }
inline int endReadings(int fps) { return fps + 1; }

// A hold on the way down: `seconds` long when the page's offset reaches
// `offset`.
struct PlanPause {
  double offset = 0;
  double seconds = 0;
};

// What the plan is made of, in CSS pixels and seconds.
struct PlanShape {
  double start = 0;  // the page's offset at the first frame
  double end = 0;    // where the scroll down stops
  double speed = 0;  // of every move, CSS px/s
  std::vector<PlanPause> pauses;
  // After a hold at the end, back up to `start` at the same speed.
  bool roundTrip = false;
  // Every move speeds up and slows down over this long (0: constant speed).
  double ease = 0;
  // The end is the page's own, as last read: a page that grows as it is
  // scrolled is followed, for at most `scrollTimeCap` seconds of moving (or
  // to the measured end, when that is further), so an endless feed ends.
  bool followsPageEnd = false;
  double scrollTimeCap = 60;
};

// One move or hold: from `from` to `to` (equal for a hold) over `length`
// seconds from `begin`. A move speeds up over `ramp` seconds to `peak`
// CSS px/s, keeps it, and slows down over `ramp` seconds; a ramp's speed
// follows half a cosine, so the speed never jumps.
struct PlanSegment {
  double begin = 0;
  double length = 0;
  double from = 0;
  double to = 0;
  double ramp = 0;
  double peak = 0;
};

// How long the hold at the end lasts before the way back: as long as the
// end shows at the end of the video.
inline constexpr double kEndHoldSeconds = 61.0 / 60.0;

class ScrollPlan {
 public:
  explicit ScrollPlan(const PlanShape& shape);

  // The page's offset `seconds` into the video; `pageEnd` is the page's end
  // as last read, which only a plan that follows it looks at.
  double position(double seconds, double pageEnd) const;
  // How long the scroll lasts: after that the page stands where it ends.
  double duration(double pageEnd) const;
  bool over(double seconds, double pageEnd) const { return seconds >= duration(pageEnd); }

  const PlanShape& shape() const { return shape_; }
  const std::vector<PlanSegment>& segments() const { return segments_; }
  // Where the last move may go at most when the page grows (see PlanShape).
  double openEndLimit() const { return openEndLimit_; }

 private:
  // The segments with the last move aimed at the page's end as read.
  PlanSegment lastMoveTo(double pageEnd) const;
  const PlanSegment& segmentAt(double seconds, PlanSegment& retargeted, double pageEnd) const;

  PlanShape shape_;
  std::vector<PlanSegment> segments_;
  double openEndLimit_ = 0;
};

// A move from `from` to `to` starting at `begin`, at `speed` eased over
// `ease` seconds (a short move eases over less, at a lower peak, so that its
// acceleration is never more than a full ease's).
PlanSegment planMove(double begin, double from, double to, double speed, double ease);

// How far a segment has gone `tau` seconds after it began, from 0 to
// |to − from|.
double planDistance(const PlanSegment& segment, double tau);

// The plain scroll: from `startOffset` at `speed` CSS px/s to the page's end,
// following a page that grows for at most 60 s of scrolling, so that one
// that keeps growing as it is scrolled (an endless feed) still ends.
ScrollPlan plainScroll(double startOffset, double endOffset, double speed);

// How many frames a whole run along `plan` at `fps` makes when the page ends
// at `pageEnd`: up to the first frame at which the scroll is over, then a
// second's worth and one more that show the end.
int64_t framesOf(const ScrollPlan& plan, double pageEnd, int fps = 60);

}  // namespace vuz
