// plan_error <movie.mp4> <scale> <contentTopPx> <start> <end> <speed> <ease> <roundTrip 0|1>
//            [offset=seconds ...]
//
// Reads a frame-by-frame recording of the numbered-bar pattern page back and
// prints how far each frame's scroll offset lies from where the scroll's plan
// (start and end offsets, speed, easing, the way back, holds at offsets) puts
// it at the frame's time: frames read, RMS and largest error in CSS px. A
// plain scroll is the plan from 0 to the page's end at its speed.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "scroll_pattern.h"
#include "vuzizeri/scroll/scroll_plan.h"

int main(int argc, char** argv) {
  if (argc < 9) {
    std::fprintf(stderr,
                 "usage: plan_error movie scale contentTop start end speed ease roundTrip "
                 "[offset=seconds ...]\n");
    return 2;
  }
  const double scale = std::atof(argv[2]);
  const int contentTop = std::atoi(argv[3]);
  vuz::PlanShape shape;
  shape.start = std::atof(argv[4]);
  shape.end = std::atof(argv[5]);
  shape.speed = std::atof(argv[6]);
  shape.ease = std::atof(argv[7]);
  shape.roundTrip = std::atoi(argv[8]) != 0;
  for (int i = 9; i < argc; ++i) {
    const std::string hold = argv[i];
    const size_t equals = hold.find('=');
    shape.pauses.push_back(
        {std::atof(hold.substr(0, equals).c_str()), std::atof(hold.c_str() + equals + 1)});
  }
  const vuz::ScrollPlan plan(shape);
  int frames = 0, read = 0;
  double squares = 0, worst = 0;
  const bool ok = scroll_pattern::forEachFrame(argv[1], [&](const scroll_pattern::LumaFrame& f) {
    ++frames;
    const std::optional<double> offset = scroll_pattern::offsetOf(f, contentTop, scale);
    if (!offset) return;
    ++read;
    const double error = std::abs(*offset - plan.position(f.seconds, shape.end));
    squares += error * error;
    worst = std::max(worst, error);
  });
  if (!ok || read == 0) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  std::printf("frames %d  read %d  plan length %.3f s  error RMS %.3f CSS px, max %.3f\n", frames,
              read, plan.duration(shape.end), std::sqrt(squares / read), worst);
  return 0;
}
