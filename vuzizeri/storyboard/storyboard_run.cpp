#include "vuzizeri/storyboard/storyboard_run.h"

#include <algorithm>

#include "common/shown_text.h"
#include "vuzizeri/scroll/directing.h"

namespace vuz {

StoryboardRun::StoryboardRun(std::vector<StoryStep> steps, double speed, double ease,
                             double viewHeight, Host host)
    : steps_(std::move(steps)),
      speed_(speed),
      ease_(ease),
      viewHeight_(viewHeight),
      host_(std::move(host)) {}

StoryboardRun::~StoryboardRun() = default;

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
  active_.reset();
  proceed();
}

void StoryboardRun::refuse(const std::string& reason) {
  // The line and what the page said of it may hold anything.
  host_.fail("--roteiro, linha " + std::to_string(step().line) + ": " + shownText(step().written) +
             ": " + shownText(reason, 160));
}

std::string StoryboardRun::refusal(const Answer& answer) const {
  auto isText = [&](const char* text) {
    return answer && answer->kind == web::ScriptValue::Kind::kString && answer->string == text;
  };
  if (isText("invalid")) return "não é um seletor CSS";
  if (isText("none")) return selectorWithoutPlace(step().selector, false);
  if (isText("boxless")) return selectorWithoutPlace(step().selector, true);
  if (isText("outside")) return step().selector + " não aparece na tela";
  if (!answer) return "a página não respondeu";
  return {};
}

void StoryboardRun::touched(const Touch& touch) {
  // A step that touches twice (escolher) happened at its first.
  if (touchedStep_ != next_) times_.back().seconds = touch.seconds;
  touchedStep_ = next_;
  touches_.push_back(touch);
}

Picker* StoryboardRun::openPicker() {
  if (pickers_.empty() || pickers_.back().closed <= seconds_) return nullptr;
  return &pickers_.back();
}

void StoryboardRun::navigationFailed(const std::string& reason) {
  if (active_) active_->navigationFailed(*this, reason);
}

void StoryboardRun::begin() {
  const StoryStep& s = steps_[next_++];
  active_ = s.kind->start();
  move_.reset();
  times_.push_back({s.line, s.written, seconds_});
  // A picker stays open through what leaves the screen alone; anything else
  // (a finger, a move, another page) closes it, as a tap outside does.
  static constexpr std::string_view kKeepPickers[] = {"pausa",    "legenda",  "titulo",
                                                      "destaque", "capitulo", "esperar"};
  // escolher on the field whose picker is open picks from it.
  if (Picker* open = openPicker(); open &&
                                   std::find(std::begin(kKeepPickers), std::end(kKeepPickers),
                                             s.kind->word) == std::end(kKeepPickers) &&
                                   (s.kind->word != "escolher" || open->field != s.selector))
    open->closed = seconds_;
  active_->begin(*this);
}

void StoryboardRun::moveTo(double target) {
  if (target != offset_) move_ = planMove(seconds_, offset_, target, speed_, ease_);
  proceed();
}

void StoryboardRun::goOn() {
  if (move_) {
    const PlanSegment& m = *move_;
    // A moment's time counts as reaching the move's end when it is this
    // close: frame times are sums of 1/fps.
    if (seconds_ + 1e-9 < m.begin + m.length) {
      const double gone = planDistance(m, seconds_ - m.begin);
      scrollTo_ = m.to >= m.from ? m.from + gone : m.from - gone;
      moving_ = m;
      return holdUntilNext();
    }
    scrollTo_ = offset_ = m.to;
    move_.reset();
    if (active_->holdsAfterMove()) return holdUntilNext();
  }
  active_->goOn(*this);
}

}  // namespace vuz
