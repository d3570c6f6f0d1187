#include "vuzizeri/scroll/directing.h"

#include <algorithm>
#include <cmath>

namespace vuz {

namespace {

// Where each selector's top sits in PlanMarks::tops: --de, --ate, then each
// --pausa, as planSelectors() lists them.
struct MarkIndex {
  std::optional<size_t> from;
  std::optional<size_t> to;
  size_t firstPause = 0;
};

MarkIndex markIndex(const ScrollDirections& a) {
  MarkIndex index;
  if (!a.from.empty()) index.from = index.firstPause++;
  if (!a.to.empty()) index.to = index.firstPause++;
  return index;
}

std::optional<double> markAt(const PlanMarks& marks, std::optional<size_t> i) {
  return i && *i < marks.tops.size() ? marks.tops[*i] : std::nullopt;
}

// An element's top as an offset the page can scroll to.
double reachable(double top, const PlanMarks& marks) { return std::clamp(top, 0.0, marks.pageEnd); }

}  // namespace

std::vector<std::string> planSelectors(const ScrollDirections& a) {
  std::vector<std::string> selectors;
  if (!a.from.empty()) selectors.push_back(a.from);
  if (!a.to.empty()) selectors.push_back(a.to);
  for (const ScrollDirections::Pause& p : a.pauses) selectors.push_back(p.selector);
  return selectors;
}

std::optional<PlanMarks> readPlanMarks(const std::optional<web::ScriptValue>& answer,
                                       size_t selectors) {
  if (!answer || !answer->isArray() || answer->elements.size() != 3) return std::nullopt;
  const auto& e = answer->elements;
  if (!e[0].isNumber() || !e[1].isNumber() || !std::isfinite(e[0].number) ||
      !std::isfinite(e[1].number) || !e[2].isArray() || e[2].elements.size() != selectors)
    return std::nullopt;
  PlanMarks marks{e[0].number, std::max(0.0, e[1].number), {}, {}};
  for (const web::ScriptValue& top : e[2].elements) {
    marks.tops.push_back(top.isNumber() && std::isfinite(top.number) ? std::optional(top.number)
                                                                     : std::nullopt);
    marks.boxless.push_back(top.kind == web::ScriptValue::Kind::kBoolean);
  }
  return marks;
}

std::string selectorWithoutPlace(const std::string& selector, bool boxless) {
  if (boxless) return selector + " não tem lugar na página (não é exibido: display: none?)";
  return "nada na página casa com " + selector;
}

std::string unmatchedSelector(const ScrollDirections& a, const PlanMarks& marks) {
  const MarkIndex index = markIndex(a);
  const std::vector<std::string> selectors = planSelectors(a);
  for (size_t i = 0; i < selectors.size() && i < marks.tops.size(); ++i) {
    if (marks.tops[i]) continue;
    const std::string option = i == index.from ? "--de" : i == index.to ? "--ate" : "--pausa";
    return option + ": " +
           selectorWithoutPlace(selectors[i], i < marks.boxless.size() && marks.boxless[i]);
  }
  return {};
}

std::optional<double> planStart(const ScrollDirections& a, const PlanMarks& marks) {
  const std::optional<double> top = markAt(marks, markIndex(a).from);
  if (!top) return std::nullopt;
  return reachable(*top, marks);
}

double planEnd(const ScrollDirections& a, const PlanMarks& marks) {
  const std::optional<double> top = markAt(marks, markIndex(a).to);
  return top ? reachable(*top, marks) : marks.pageEnd;
}

PlanShape planShape(const ScrollDirections& a, const PlanMarks& marks, double start, double speed) {
  PlanShape shape;
  shape.start = start;
  shape.end = planEnd(a, marks);
  shape.speed = speed;
  shape.roundTrip = a.roundTrip;
  shape.ease = a.ease;
  // An end the user named stays where it was found; the page's own end is
  // followed as the page grows, as in a plain scroll.
  shape.followsPageEnd = a.to.empty() && !a.roundTrip;
  const size_t first = markIndex(a).firstPause;
  for (size_t i = 0; i < a.pauses.size(); ++i)
    if (const std::optional<double> top = markAt(marks, first + i))
      shape.pauses.push_back({reachable(*top, marks), a.pauses[i].seconds});
  return shape;
}

JsonValue planScrollArguments(const ScrollPlan& plan) {
  const PlanShape& shape = plan.shape();
  std::vector<JsonValue> segments;
  for (const PlanSegment& s : plan.segments())
    segments.push_back(JsonValue::object({{"begin", s.begin},
                                          {"length", s.length},
                                          {"from", s.from},
                                          {"to", s.to},
                                          {"ramp", s.ramp},
                                          {"peak", s.peak}}));
  return JsonValue::object({{"segments", JsonValue::list(segments)},
                            {"followsEnd", shape.followsPageEnd},
                            {"limit", plan.openEndLimit()},
                            {"speed", shape.speed},
                            {"ease", shape.ease}});
}

bool planOver(const std::optional<web::ScriptValue>& answer) {
  if (!answer || !answer->isArray() || answer->elements.size() < 2 ||
      !answer->elements[0].isNumber() || !answer->elements[1].isNumber())
    return true;
  return !(answer->elements[0].number < answer->elements[1].number);
}

}  // namespace vuz
