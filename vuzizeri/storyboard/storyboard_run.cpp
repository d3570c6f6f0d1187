#include "vuzizeri/storyboard/storyboard_run.h"

#include <algorithm>
#include <cmath>

#include "common/shown_text.h"
#include "vuzizeri/scroll/directing.h"

namespace vuz {

namespace {

// A moment's time, compared with a step's, counts as reaching it when it is
// this close: frame times are sums of 1/fps.
constexpr double kSameMoment = 1e-9;
constexpr double kNavigationPollSeconds = 0.05;

bool isText(const StoryboardRun::Answer& a, const char* text) {
  return a && a->kind == web::ScriptValue::Kind::kString && a->string == text;
}

// The numbers of an answer that is a list of at least `count` of them.
std::optional<std::vector<double>> numbers(const StoryboardRun::Answer& a, size_t count) {
  if (!a || !a->isArray() || a->elements.size() < count) return std::nullopt;
  std::vector<double> values;
  for (size_t i = 0; i < count; ++i) {
    if (!a->elements[i].isNumber() || !std::isfinite(a->elements[i].number)) return std::nullopt;
    values.push_back(a->elements[i].number);
  }
  return values;
}

}  // namespace

size_t keysDue(double elapsed, size_t count) {
  if (elapsed < -kSameMoment) return 0;
  const double due = std::floor(elapsed / kKeySeconds + 1e-6) + 1;
  return due >= static_cast<double>(count) ? count : static_cast<size_t>(due);
}

double tapScrollTarget(double top, double height, double viewHeight, double pageEnd) {
  const double margin = height < viewHeight ? (viewHeight - height) / 2 : 0;
  return std::clamp(top - margin, 0.0, std::max(0.0, pageEnd));
}

bool showsWhole(double viewTop, double height, double viewHeight) {
  return viewTop >= 0 && viewTop + height <= viewHeight;
}

StoryboardRun::StoryboardRun(std::vector<StoryStep> steps, double speed, double ease,
                             double viewHeight, Host host)
    : steps_(std::move(steps)),
      speed_(speed),
      ease_(ease),
      viewHeight_(viewHeight),
      host_(std::move(host)) {}

void StoryboardRun::advance(double seconds, double offset, double pageEnd,
                            std::function<void(StoryDirection)> done) {
  seconds_ = seconds;
  offset_ = offset;
  pageEnd_ = std::max(0.0, pageEnd);
  scrollTo_.reset();
  moving_.reset();
  done_ = std::move(done);
  proceed();
}

void StoryboardRun::proceed() {
  if (active_) {
    goOn();
    return;
  }
  if (next_ >= steps_.size()) {
    answer(true);
    return;
  }
  begin();
}

void StoryboardRun::answer(bool over) {
  // The caller may ask for the next moment from within.
  std::function<void(StoryDirection)> done = std::move(done_);
  done({scrollTo_, over, moving_});
}

void StoryboardRun::holdUntilNext() { answer(false); }

void StoryboardRun::ended() {
  active_ = false;
  proceed();
}

void StoryboardRun::refuse(const std::string& reason) {
  // The line and what the page said of it may hold anything.
  host_.fail("--roteiro, linha " + std::to_string(step().line) + ": " + shownText(step().written) +
             ": " + shownText(reason, 160));
}

std::string StoryboardRun::refusal(const Answer& answer) const {
  if (isText(answer, "invalid")) return "não é um seletor CSS";
  if (isText(answer, "none")) return selectorWithoutPlace(step().selector, false);
  if (isText(answer, "boxless")) return selectorWithoutPlace(step().selector, true);
  if (isText(answer, "outside")) return step().selector + " não aparece na tela";
  if (!answer) return "a página não respondeu";
  return {};
}

void StoryboardRun::begin() {
  const StoryStep& s = steps_[next_++];
  active_ = true;
  began_ = seconds_;
  move_.reset();
  acted_ = false;
  typed_ = 0;
  times_.push_back({s.line, s.written, seconds_});
  switch (s.kind) {
    case StoryStep::Kind::kScrollTo:
      if (s.target == StoryStep::Target::kTop) return moveTo(0);
      if (s.target == StoryStep::Target::kEnd) return moveTo(pageEnd_);
      [[fallthrough]];
    case StoryStep::Kind::kTap:
      host_.act(JsonValue::object({{"find", s.selector}}), [this](Answer answer) {
        const std::string refused = refusal(answer);
        const std::optional<std::vector<double>> place = numbers(answer, 3);
        if (!refused.empty() || !place)
          return refuse(refused.empty() ? "resposta sem sentido" : refused);
        const double top = (*place)[0], viewTop = (*place)[1], height = (*place)[2];
        if (step().kind == StoryStep::Kind::kScrollTo)
          return moveTo(std::clamp(top, 0.0, pageEnd_));
        if (!showsWhole(viewTop, height, viewHeight_))
          return moveTo(tapScrollTarget(top, height, viewHeight_, pageEnd_));
        proceed();
      });
      return;
    case StoryStep::Kind::kScrollBy:
      return moveTo(std::clamp(offset_ + s.number, 0.0, pageEnd_));
    case StoryStep::Kind::kPause:
      until_ = seconds_ + s.number;
      return proceed();
    case StoryStep::Kind::kType:
      keys_ = keysOf(s.text);
      host_.act(JsonValue::object({{"focus", s.selector}}), [this](Answer answer) {
        const std::string refused = refusal(answer);
        if (!refused.empty()) return refuse(refused);
        if (!isText(answer, "ok")) return refuse("não recebe o foco: não é um campo de texto");
        proceed();
      });
      return;
    case StoryStep::Kind::kWait:
      return proceed();
    case StoryStep::Kind::kGo:
      if (host_.navigating) host_.navigating(true);
      host_.act(JsonValue::object({{"go", s.text}}), [this](Answer answer) {
        if (isText(answer, "local")) return refuse("uma página da web não abre arquivos locais");
        if (isText(answer, "same")) {
          if (host_.navigating) host_.navigating(false);
          return ended();
        }
        awaitArrival(0);
      });
      return;
  }
}

void StoryboardRun::navigationFailed(const std::string& reason) {
  if (active_ && step().kind == StoryStep::Kind::kGo) refuse("a página não carregou: " + reason);
}

void StoryboardRun::awaitArrival(double waited) {
  host_.act(JsonValue::object({{"loaded", true}}), [this, waited](Answer answer) {
    if (answer && answer->isArray() && answer->elements.size() == 2 &&
        answer->elements[0].isTrue() && answer->elements[1].isTrue()) {
      if (host_.navigating) host_.navigating(false);
      return ended();
    }
    if (waited >= kWaitLimitSeconds)
      return refuse("a página não carregou em " + std::to_string(int(kWaitLimitSeconds)) + " s");
    host_.after(kNavigationPollSeconds,
                [this, waited] { awaitArrival(waited + kNavigationPollSeconds); });
  });
}

void StoryboardRun::moveTo(double target) {
  if (target != offset_) move_ = planMove(seconds_, offset_, target, speed_, ease_);
  proceed();
}

void StoryboardRun::goOn() {
  const StoryStep& s = step();
  if (move_) {
    const PlanSegment& m = *move_;
    if (seconds_ + kSameMoment < m.begin + m.length) {
      const double gone = planDistance(m, seconds_ - m.begin);
      scrollTo_ = m.to >= m.from ? m.from + gone : m.from - gone;
      moving_ = m;
      return holdUntilNext();
    }
    scrollTo_ = offset_ = m.to;
    move_.reset();
    // A tap comes once the page stands where the move put it.
    if (s.kind == StoryStep::Kind::kTap) return holdUntilNext();
  }
  switch (s.kind) {
    case StoryStep::Kind::kScrollTo:
    case StoryStep::Kind::kScrollBy:
      return ended();
    case StoryStep::Kind::kPause:
      return seconds_ + kSameMoment >= until_ ? ended() : holdUntilNext();
    case StoryStep::Kind::kTap:
      if (acted_) return seconds_ + kSameMoment >= until_ ? ended() : holdUntilNext();
      host_.act(JsonValue::object({{"tap", s.selector}}), [this](Answer answer) {
        const std::string refused = refusal(answer);
        if (!refused.empty()) return refuse(refused);
        if (answer && answer->isArray() && answer->elements.size() == 2 &&
            answer->elements[1].kind == web::ScriptValue::Kind::kString)
          return refuse("está coberto por " + answer->elements[1].string + " no ponto do toque");
        const std::optional<std::vector<double>> point = numbers(answer, 2);
        if (!point) return refuse("resposta sem sentido");
        acted_ = true;
        until_ = seconds_ + kTapSeconds;
        times_.back().seconds = seconds_;
        touches_.push_back({(*point)[0], (*point)[1], seconds_, kTapSeconds});
        holdUntilNext();
      });
      return;
    case StoryStep::Kind::kType: {
      const size_t due = keysDue(seconds_ - began_, keys_.size());
      const bool over =
          due == keys_.size() && seconds_ + kSameMoment >= began_ + keys_.size() * kKeySeconds;
      if (due <= typed_) return over ? ended() : holdUntilNext();
      std::vector<JsonValue> keys(keys_.begin() + static_cast<ptrdiff_t>(typed_),
                                  keys_.begin() + static_cast<ptrdiff_t>(due));
      host_.act(JsonValue::object({{"type", JsonValue::list(keys)}}), [this, due, over](Answer a) {
        if (isText(a, "unfocused")) return refuse("o campo perdeu o foco no meio do texto");
        if (!isText(a, "ok")) return refuse("a página não respondeu");
        typed_ = due;
        over ? ended() : holdUntilNext();
      });
      return;
    }
    case StoryStep::Kind::kWait:
      host_.visible(s.selector, [this](Answer answer) {
        if (isText(answer, "invalid")) return refuse("não é um seletor CSS");
        if (answer && answer->isTrue()) return ended();
        if (seconds_ - began_ >= kWaitLimitSeconds)
          return refuse("nada visível em " + std::to_string(int(kWaitLimitSeconds)) + " s");
        holdUntilNext();
      });
      return;
    case StoryStep::Kind::kGo:
      return ended();
  }
}

}  // namespace vuz
