// The scroll's plan as a pure function of time, and how the page's marks
// make it.

#include <gtest/gtest.h>

#include <cmath>

#include "vuzizeri/report/part_labels.h"
#include "vuzizeri/scroll/directing.h"
#include "vuzizeri/scroll/scroll_plan.h"
#include "vuzizeri/scroll/scroll_timing.h"

namespace {

using namespace vuz;

PlanShape shape(double start, double end, std::vector<PlanPause> pauses = {},
                bool roundTrip = false, double ease = 0, bool follows = false) {
  PlanShape s;
  s.start = start;
  s.end = end;
  s.speed = 100;
  s.pauses = std::move(pauses);
  s.roundTrip = roundTrip;
  s.ease = ease;
  s.followsPageEnd = follows;
  return s;
}

TEST(ScrollPlan, PositionsAndLengths) {
  const double hold = kEndHoldSeconds;
  const double rampHalf = 100 * (0.25 - 1 / (2 * M_PI));  // half a 1 s ramp in, at 100 px/s
  struct Row {
    const char* what;
    PlanShape shape;
    std::vector<std::pair<double, double>> positions;  // seconds, offset
    double pageEnd;
    double duration;
  };
  const Row rows[] = {
      {"plain, to the end",
       shape(0, 500, {}, false, 0, true),
       {{-1, 0}, {1, 100}, {9, 500}},
       500,
       5},
      {"a page that grows is followed", shape(0, 500, {}, false, 0, true), {{7, 700}}, 800, 8},
      {"one that shrinks stops at its end", shape(0, 500, {}, false, 0, true), {{4, 300}}, 300, 3},
      {"an endless feed ends after 60 s of scrolling",
       shape(0, 500, {}, false, 0, true),
       {{100, 6000}},
       1e9,
       60},
      {"a named end stays put", shape(0, 500), {{7, 500}}, 800, 5},
      {"holds in the order met; one beyond the end is left out",
       shape(0, 500, {{300, 2}, {100, 1}, {600, 9}}),
       {{1, 100}, {2, 100}, {3, 200}, {4, 300}, {6, 300}, {7, 400}},
       500,
       8},
      {"a hold at the start comes first",
       shape(100, 500, {{100, 1}}),
       {{1, 100}, {2, 200}},
       500,
       5},
      {"there and back",
       shape(100, 400, {}, true),
       {{3, 400}, {3 + hold, 400}, {4 + hold, 300}, {99, 100}},
       400,
       6 + hold},
      {"upwards, when the end is above the start", shape(400, 100), {{1, 300}, {5, 100}}, 900, 3},
      {"eased: slow to start, full speed, slow to stop",
       shape(0, 1000, {}, false, 1),
       {{0.5, rampHalf}, {1, 50}, {5.5, 500}, {10.5, 1000 - rampHalf}, {11, 1000}},
       1000,
       11},
      {"a move too short for full speed eases at the same acceleration",
       shape(0, 25, {}, false, 1),
       {{0.5, 12.5}, {1, 25}},
       25,
       1},
      {"a hold between eased moves",
       shape(0, 400, {{200, 1}}, false, 1),
       {{3, 200}, {4, 200}, {4.5, 200 + rampHalf}},
       400,
       7},
  };
  for (const Row& row : rows) {
    const ScrollPlan plan(row.shape);
    for (auto [seconds, offset] : row.positions)
      EXPECT_NEAR(plan.position(seconds, row.pageEnd), offset, 1e-6)
          << row.what << " at " << seconds << " s";
    EXPECT_NEAR(plan.duration(row.pageEnd), row.duration, 1e-9) << row.what;
    EXPECT_FALSE(plan.over(row.duration - 1e-3, row.pageEnd)) << row.what;
    EXPECT_TRUE(plan.over(row.duration, row.pageEnd)) << row.what;
  }

  // Eased, the speed never jumps: across the ramps' ends it changes by less
  // than a frame's worth of acceleration.
  const ScrollPlan eased(shape(0, 1000, {}, false, 1));
  double before = 0;
  for (double t = 1.0 / 60; t < 11; t += 1.0 / 60) {
    const double speed = (eased.position(t, 0) - eased.position(t - 1.0 / 60, 0)) * 60;
    EXPECT_LT(std::abs(speed - before), 100 * M_PI / 2 / 60 + 1e-6) << "at " << t << " s";
    before = speed;
  }
}

// A whole run's frames, and the equal runs of them that parts record.
TEST(ScrollPlan, FramesAndParts) {
  EXPECT_EQ(framesOf(ScrollPlan(shape(0, 500)), 500), 300 + 61) << "5 s of scrolling, then the end";
  EXPECT_EQ(framesOf(ScrollPlan(shape(0, 0)), 0), 61) << "a page that fits its view";
  EXPECT_EQ(framesOf(ScrollPlan(shape(0, 501)), 501), 301 + 61) << "the frame that reaches the end";
  std::vector<std::pair<int64_t, int64_t>> parts;
  for (int64_t k = 1; k <= 3; ++k)
    parts.push_back({partFrames(100, k, 3).first, partFrames(100, k, 3).end});
  EXPECT_EQ(parts, (std::vector<std::pair<int64_t, int64_t>>{{0, 33}, {33, 66}, {66, 100}}));
}

TEST(ScrollPlan, MadeFromThePagesMarks) {
  ScrollDirections a;
  a.from = "#de";
  a.to = "#ate";
  a.pauses = {{"#p", 1}, {"#topo", 2}};
  a.ease = 0.5;
  // Tops: --de, --ate beyond the page's end, a hold, one above the page.
  const PlanMarks marks{0, 1000, {200, 5000, 300, -50}, {}};
  EXPECT_EQ(planStart(a, marks), 200);
  EXPECT_EQ(planEnd(a, marks), 1000);
  const PlanShape s = planShape(a, marks, 201, 250);
  EXPECT_EQ(std::tie(s.start, s.end, s.speed, s.ease), std::make_tuple(201.0, 1000.0, 250.0, 0.5));
  EXPECT_FALSE(s.followsPageEnd) << "a named end";
  ASSERT_EQ(s.pauses.size(), 2u);
  EXPECT_EQ(std::tie(s.pauses[0].offset, s.pauses[1].offset), std::make_tuple(300.0, 0.0));
  EXPECT_EQ(unmatchedSelector(a, marks), "");
  EXPECT_EQ(unmatchedSelector(a, {0, 1000, {200, 5000, std::nullopt, 1}, {}}),
            "--pausa: nada na página casa com #p");
  EXPECT_EQ(
      unmatchedSelector(a, {0, 1000, {200, std::nullopt, 300, 1}, {false, true, false, false}}),
      "--ate: #ate não tem lugar na página (não é exibido: display: none?)");

  ScrollDirections plain;
  plain.speed = 400;
  EXPECT_TRUE(planShape(plain, {0, 800, {}, {}}, 0, 400).followsPageEnd);
  EXPECT_EQ(planEnd(plain, {0, 800, {}, {}}), 800);
}

// Timed to a window: a long page sped up to land just inside it, a short one
// slowed only so far and then held at both ends, an asked length met to the
// frame, and holds that alone outlast the window leave the fastest speed.
TEST(ScrollTiming, LandsInTheWindow) {
  PlanShape shape;
  shape.end = 20000;
  shape.speed = 250;
  shape.followsPageEnd = true;
  const LengthWindow store{15.5, 29.5};
  PlanShape timed = timedShape(shape, 20000, 30, store);
  EXPECT_FALSE(timed.followsPageEnd);
  EXPECT_LE(videoSecondsOf(timed, 20000, 30), 29.5);
  EXPECT_GE(videoSecondsOf(timed, 20000, 30), 29.5 - 1.0 / 30);

  shape.end = 300;
  timed = timedShape(shape, 300, 30, store);
  EXPECT_EQ(timed.speed, kSlowestTimedSpeed);
  ASSERT_EQ(timed.pauses.size(), 2u);
  EXPECT_EQ(timed.pauses[0].offset, 0);
  EXPECT_EQ(timed.pauses[1].offset, 300);
  EXPECT_GE(videoSecondsOf(timed, 300, 30), 15.5);
  EXPECT_LT(videoSecondsOf(timed, 300, 30), 15.5 + 2.0 / 30);

  shape.end = 3000;
  timed = timedShape(shape, 3000, 60, {22 - 0.5 / 60, 22 + 0.5 / 60});
  EXPECT_EQ(framesOf(ScrollPlan(timed), 3000, 60), 22 * 60);
  EXPECT_TRUE(timed.pauses.empty());

  shape.pauses = {{1000, 40}};
  EXPECT_EQ(timedShape(shape, 3000, 30, store).speed, kFastestTimedSpeed);
}

}  // namespace
