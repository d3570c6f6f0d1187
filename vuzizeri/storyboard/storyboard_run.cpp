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
  const StoryDirection direction{scrollTo_, over, moving_};
  // Only a tap or a focus brings the keyboard; while it is up, the page may
  // take the focus away at any moment.
  if (!host_.keyboard || !(mayFocus_ || keyboard_.up())) return done(direction);
  mayFocus_ = false;
  watchKeyboard([done = std::move(done), direction] { done(direction); });
}

void StoryboardRun::act(const JsonValue& arguments, std::function<void(Answer)> then) {
  const std::string& text = arguments.text();
  if (text.starts_with("{\"tap\":") || text.starts_with("{\"focus\":")) mayFocus_ = true;
  host_.act(arguments, std::move(then));
}

void StoryboardRun::watchKeyboard(std::function<void()> then) {
  const double letters = keyboardHeightCss(KeyboardLayout::kLetters, kHomeIndicatorCss);
  const double pad = keyboardHeightCss(KeyboardLayout::kNumberPad, kHomeIndicatorCss);
  host_.act(JsonValue::object({{"keyboard", JsonValue::list({letters, pad})}}),
            [this, then = std::move(then)](Answer a) {
              std::optional<KeyboardLook> look;
              auto text = [&a](size_t i) -> std::string {
                return a->elements[i].kind == web::ScriptValue::Kind::kString
                           ? a->elements[i].string
                           : "";
              };
              if (a && a->isArray() && a->elements.size() == 4)
                look = keyboardLook(text(0), text(3), a->elements[1].isTrue(), text(2));
              keyboard_.set(seconds_, look);
              keyboardCss_ = look ? keyboardHeightCss(look->layout, kHomeIndicatorCss) : 0;
              then();
            });
}

void StoryboardRun::keyPressed(const std::string& key, double seconds) {
  if (host_.sound) host_.sound(seconds, true);
  // The keyboard a digitar brings is asked about once its first key is in.
  if (host_.keyboard) keyboard_.press(seconds, key);
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
  if (host_.sound) host_.sound(touch.seconds, false);
}

void StoryboardRun::show(const Caption& caption) {
  captions_.push_back(caption);
  if (caption.kind == Caption::Kind::kNarration && host_.narrate)
    host_.narrate(caption.from, step().line);
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
