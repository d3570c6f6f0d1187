#pragma once

#include "vuzizeri/scroll/scroll_plan.h"

// The scroll timed to a length: --duracao's, or a target's window.
namespace vuz {

// The video's length must fall from `shortest` to `longest` seconds.
struct LengthWindow {
  double shortest = 0;
  double longest = 0;
};

// A short page is not slowed below this (CSS px/s), where a scroll stops
// reading as one; it holds instead. A long one is sped up to at most this.
inline constexpr double kSlowestTimedSpeed = 100;
inline constexpr double kFastestTimedSpeed = 100000;

// How long a whole run along `shape` at `fps` lasts, the page ending at
// `pageEnd`: its frames over fps.
double videoSecondsOf(const PlanShape& shape, double pageEnd, int fps);

// `shape` retimed so that its video lands in `window`: the speed changed
// as little as it must, within the bounds above, and when even the slowest
// leaves it short, holds added, half at the start and half at the end (after
// the holds it has). The page's end is the one measured: a length promised
// cannot follow a page that grows. A window no speed reaches (holds too long
// for it) gives the fastest.
PlanShape timedShape(PlanShape shape, double pageEnd, int fps, LengthWindow window);

}  // namespace vuz
