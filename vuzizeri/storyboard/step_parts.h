#pragma once

// What the steps' classes share, and how each step reads its line and runs,
// for the step table in steps.cpp: the page's own steps in page_steps.cpp,
// the finger's and the camera's in finger_steps.cpp.

#include <cmath>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vuzizeri/storyboard/steps.h"

namespace vuz::step_parts {

// A moment's time, compared with a step's, counts as reaching it when it is
// this close: frame times are sums of 1/fps.
constexpr double kSameMoment = 1e-9;
constexpr double kNavigationPollSeconds = 0.05;

inline bool isText(const StepContext::Answer& a, const char* text) {
  return a && a->kind == web::ScriptValue::Kind::kString && a->string == text;
}

// The numbers of an answer that is a list of at least `count` of them.
inline std::optional<std::vector<double>> numbers(const StepContext::Answer& a, size_t count) {
  if (!a || !a->isArray() || a->elements.size() < count) return std::nullopt;
  std::vector<double> values;
  for (size_t i = 0; i < count; ++i) {
    if (!a->elements[i].isNumber() || !std::isfinite(a->elements[i].number)) return std::nullopt;
    values.push_back(a->elements[i].number);
  }
  return values;
}

template <typename Step>
std::unique_ptr<ActiveStep> make() {
  return std::make_unique<Step>();
}

// A selector, quoted or a word, as the rest of the line; the refusal, or
// empty.
std::string readSelector(const std::string& rest, const Environment&, StoryStep& step);

struct StepActions {
  std::string (*read)(const std::string& rest, const Environment& environment, StoryStep& step);
  std::unique_ptr<ActiveStep> (*start)();
};
extern const StepActions kScrollTo, kScrollBy, kPause, kCaption, kTitle, kHighlight, kChapter,
    kNarrate, kWait, kGo;
extern const StepActions kTap, kLongPress, kSwipe, kType, kChoose, kZoom;

}  // namespace vuz::step_parts
