#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/web/script_value.h"
#include "vuzizeri/report/json.h"
#include "vuzizeri/scroll/scroll_plan.h"

// The scroll as the user directs it: a speed, a stretch of the page between
// two elements, holds at elements, the way back, easing. The elements are
// found once, after the three-second wait; the plan is made from where they
// stood then.
namespace vuz {

// What the command line says of the scroll (--velocidade, --de, --ate,
// --pausa, --ida-e-volta, --suave).
struct ScrollDirections {
  struct Pause {
    std::string selector;
    double seconds = 0;
  };
  std::optional<double> speed;  // CSS px/s
  std::string from;
  std::string to;
  std::vector<Pause> pauses;
  bool roundTrip = false;
  double ease = 0;  // seconds
  // --duracao: the video's length, which times the scroll.
  std::optional<double> duration;

  // Whether any direction was given: without one the page scrolls as it
  // always has.
  bool givesDirections() const {
    return speed || !from.empty() || !to.empty() || !pauses.empty() || roundTrip || ease > 0 ||
           duration;
  }
};

// The selectors the plan looks for, in order: --de, --ate, then each
// --pausa.
std::vector<std::string> planSelectors(const ScrollDirections& directions);

// The page as scripts/plan_marks.js found it.
struct PlanMarks {
  double offset = 0;
  double pageEnd = 0;
  std::vector<std::optional<double>> tops;  // one per selector, in order
  // One per selector: the match has no box (display: none, inside one), so
  // no place on the page.
  std::vector<bool> boxless;
};
std::optional<PlanMarks> readPlanMarks(const std::optional<web::ScriptValue>& answer,
                                       size_t selectors);

// Why `selector` gives no place on the page: nothing matches it, or what
// matches has no box.
std::string selectorWithoutPlace(const std::string& selector, bool boxless);

// The first selector nothing matched, or whose match has no box, with the
// option that named it, as the line that ends the run; empty when all
// matched.
std::string unmatchedSelector(const ScrollDirections& directions, const PlanMarks& marks);

// Where --de puts the page: the element's top, within the page.
std::optional<double> planStart(const ScrollDirections& directions, const PlanMarks& marks);

// The plan for a page whose marks are `marks`, starting at `start` (where
// the page stands, read after it was put at --de) at `speed` CSS px/s.
PlanShape planShape(const ScrollDirections& directions, const PlanMarks& marks, double start,
                    double speed);

// Where the way down ends: --ate's element's top, or the page's end.
double planEnd(const ScrollDirections& directions, const PlanMarks& marks);

// In real time: the page follows the plan on its own animation clock, as the
// plain scroll does, in the recorder's own script world: the arguments of
// scripts/plan_scroll.js.
JsonValue planScrollArguments(const ScrollPlan& plan);
// Whether plan_progress.js's answer says the plan is over; anything else
// than two numbers counts as over, as a position reading does.
bool planOver(const std::optional<web::ScriptValue>& answer);

}  // namespace vuz
