// The steps of a finger and of the camera: taps, a long press, swipes,
// typing, pickers and zooms.

#include <algorithm>
#include <array>
#include <cmath>

#include "common/shown_text.h"
#include "vuzizeri/storyboard/line_syntax.h"
#include "vuzizeri/storyboard/step_parts.h"

namespace vuz::step_parts {

namespace {

// What the page says a tap on a field opens (storyboard_step.js's pickerOf):
// ['menu', [texts], checked, left, top, width, height] or ['date' | 'time',
// value, left, top, width, height]; opened at `seconds`.
std::optional<Picker> pickerFrom(const web::ScriptValue& v, double seconds) {
  if (!v.isArray() || v.elements.empty() || v.elements[0].kind != web::ScriptValue::Kind::kString)
    return std::nullopt;
  const std::string& kind = v.elements[0].string;
  Picker picker;
  picker.opened = seconds;
  size_t box = 2;
  if (kind == "menu") {
    if (v.elements.size() < 7 || !v.elements[1].isArray() || !v.elements[2].isNumber())
      return std::nullopt;
    for (const web::ScriptValue& option : v.elements[1].elements)
      picker.options.push_back(option.string);
    picker.checked = picker.shows = static_cast<int>(v.elements[2].number);
    box = 3;
  } else if (kind == "date" || kind == "time") {
    picker.kind = kind == "date" ? Picker::Kind::kDate : Picker::Kind::kTime;
    if (v.elements.size() < 6) return std::nullopt;
    picker.value = v.elements[1].string;
  } else {
    return std::nullopt;
  }
  const std::optional<std::vector<double>> place =
      numbers(web::ScriptValue::ofArray({v.elements.begin() + static_cast<ptrdiff_t>(box),
                                         v.elements.begin() + static_cast<ptrdiff_t>(box + 4)}),
              4);
  if (!place) return std::nullopt;
  picker.left = (*place)[0];
  picker.top = (*place)[1];
  picker.width = (*place)[2];
  picker.height = (*place)[3];
  return picker;
}

// A move of the camera over kZoomSeconds, eased, from where it stands to
// `zoom` times the page centred on an element (or on the view as the page
// stands); the engine paints each frame at the camera's scale.
class CameraMove {
 public:
  bool aimed() const { return aimed_; }
  // Where the camera goes, read from the page; `then` once it is known.
  void aim(StepContext& run, const JsonValue& target, double zoom, std::function<void()> then) {
    run.act(JsonValue::object({{"aim", target}}),
            [this, &run, zoom, then = std::move(then)](StepContext::Answer answer) {
              const std::string refused = run.refusal(answer);
              const std::optional<std::vector<double>> at = numbers(answer, 5);
              if (!refused.empty() || !at)
                return run.refuse(refused.empty() ? "resposta sem sentido" : refused);
              aimed_ = true;
              began_ = run.seconds();
              from_ = {(*at)[0], (*at)[1], (*at)[2]};
              to_ = {zoom, (*at)[3], (*at)[4]};
              then();
            });
  }
  // The camera as this moment has it; `then` is told whether it has arrived.
  void set(StepContext& run, std::function<void(bool arrived)> then) {
    const double t = std::clamp((run.seconds() - began_) / kZoomSeconds + kSameMoment, 0.0, 1.0);
    std::vector<JsonValue> camera(from_.begin(), from_.end());
    camera.insert(camera.end(), to_.begin(), to_.end());
    camera.emplace_back(0.5 - 0.5 * std::cos(M_PI * t));
    run.act(JsonValue::object({{"camera", JsonValue::list(camera)}}),
            [&run, t, then = std::move(then)](StepContext::Answer answer) {
              const std::optional<std::vector<double>> set = numbers(answer, 3);
              if (!set) return run.refuse("a página não respondeu");
              run.setCamera({(*set)[0], (*set)[1], (*set)[2]});
              then(t >= 1);
            });
  }

 private:
  bool aimed_ = false;
  double began_ = 0;
  std::array<double, 3> from_{}, to_{};  // zoom, and the page's point at the view's centre
};

// What puts a finger on an element: the element first moved into view
// whole, or, zoomed in, the camera moved to it at the same zoom.
class OnElement : public ActiveStep {
 public:
  void begin(StepContext& run) override {
    if (run.camera().zoom != 1) return underCamera(run);
    run.act(JsonValue::object({{"find", run.step().selector}}), [&run](StepContext::Answer answer) {
      const std::string refused = run.refusal(answer);
      const std::optional<std::vector<double>> place = numbers(answer, 3);
      if (!refused.empty() || !place)
        return run.refuse(refused.empty() ? "resposta sem sentido" : refused);
      const double top = (*place)[0], viewTop = (*place)[1], height = (*place)[2];
      if (!showsWhole(viewTop, height, run.viewHeight()))
        return run.moveTo(tapScrollTarget(top, height, run.viewHeight(), run.pageEnd()));
      run.proceed();
    });
  }
  // The camera's move first, its end held as a move's is.
  void goOn(StepContext& run) final {
    if (!pan_.aimed() || panned_) return onElement(run);
    pan_.set(run, [this, &run](bool arrived) {
      panned_ = arrived;
      run.holdUntilNext();
    });
  }
  bool holdsAfterMove() const override { return true; }

 protected:
  // Each moment of the step once its element shows.
  virtual void onElement(StepContext& run) = 0;
  // Where a tap's or a press's answer says the finger came down; nothing,
  // and the step refused, when it did not.
  static std::optional<std::vector<double>> fingerAt(StepContext& run,
                                                     const StepContext::Answer& answer) {
    const std::string refused = run.refusal(answer);
    if (!refused.empty()) {
      run.refuse(refused);
      return std::nullopt;
    }
    if (answer && answer->isArray() && answer->elements.size() == 2 &&
        answer->elements[1].kind == web::ScriptValue::Kind::kString) {
      run.refuse("está coberto por " + answer->elements[1].string + " no ponto do toque");
      return std::nullopt;
    }
    std::optional<std::vector<double>> point = numbers(answer, 2);
    if (!point) run.refuse("resposta sem sentido");
    return point;
  }
  // The finger comes up; the step is over.
  static void lift(StepContext& run) {
    run.act(JsonValue::object({{"lift", true}}), [&run](StepContext::Answer answer) {
      if (!isText(answer, "ok")) return run.refuse("a página não respondeu");
      run.ended();
    });
  }

 private:
  // Zoomed in, the camera shows the element: one that it does not show (and
  // that does not fill it) is brought under it.
  void underCamera(StepContext& run) {
    run.act(JsonValue::object({{"find", run.step().selector}}), [this,
                                                                 &run](StepContext::Answer answer) {
      const std::string refused = run.refusal(answer);
      const std::optional<std::vector<double>> place = numbers(answer, 4);
      if (!refused.empty() || !place)
        return run.refuse(refused.empty() ? "resposta sem sentido" : refused);
      if ((*place)[3] != 0) return run.proceed();
      pan_.aim(run, JsonValue(run.step().selector), run.camera().zoom, [&run] { run.proceed(); });
    });
  }

  CameraMove pan_;
  bool panned_ = false;
};

// tocar SELETOR: a finger's tap.
class Tap final : public OnElement {
 public:
  void onElement(StepContext& run) override {
    if (acted_) return run.seconds() + kSameMoment >= until_ ? run.ended() : run.holdUntilNext();
    run.act(JsonValue::object({{"tap", run.step().selector}}),
            [this, &run](StepContext::Answer answer) {
              const std::optional<std::vector<double>> point = fingerAt(run, answer);
              if (!point) return;
              acted_ = true;
              until_ = run.seconds() + kTapSeconds;
              run.touched({(*point)[0], (*point)[1], run.seconds(), kTapSeconds});
              // A select or a date or time field opens its picker.
              if (answer->elements.size() > 3)
                if (std::optional<Picker> picker = pickerFrom(answer->elements[3], run.seconds())) {
                  picker->field = run.step().selector;
                  run.openPicker(*picker);
                }
              run.holdUntilNext();
            });
  }

 private:
  bool acted_ = false;
  double until_ = 0;
};

// tocar-longo SELETOR SEG: a finger held down SEG seconds, and no click.
class LongPress final : public OnElement {
 public:
  static std::string read(const std::string& rest, const Environment&, StoryStep& step) {
    std::string seconds;
    if (!splitSelector(rest, &step.selector, &seconds))
      return "tocar-longo precisa de um seletor e de segundos";
    const std::optional<double> held = number(seconds);
    if (!held || !(*held > 0) || *held > 60)
      return "tocar-longo precisa de segundos acima de 0 e até 60: " + shownText(seconds);
    step.number = *held;
    return {};
  }
  void onElement(StepContext& run) override {
    if (down_) return run.seconds() + kSameMoment >= until_ ? lift(run) : run.holdUntilNext();
    run.act(JsonValue::object({{"press", JsonValue::list({run.step().selector, 0.0, 0.0})}}),
            [this, &run](StepContext::Answer answer) {
              const std::optional<std::vector<double>> point = fingerAt(run, answer);
              if (!point) return;
              down_ = true;
              until_ = run.seconds() + run.step().number;
              run.touched({(*point)[0], (*point)[1], run.seconds(), run.step().number});
              run.holdUntilNext();
            });
  }

 private:
  bool down_ = false;
  double until_ = 0;
};

// deslizar SELETOR esquerda|direita|cima|baixo PX: a finger that travels PX
// through the middle of the element's part in view, a move every moment.
class Swipe final : public OnElement {
 public:
  static std::string read(const std::string& rest, const Environment&, StoryStep& step) {
    std::string tail;
    if (!splitSelector(rest, &step.selector, &tail))
      return "deslizar precisa de um seletor, de uma direção e de pixels";
    const auto [direction, length] = firstWord(tail);
    const std::optional<double> px = number(length);
    if (!px || !(*px >= 1) || *px > 10000)
      return "deslizar precisa de pixels CSS de 1 a 10000: " + shownText(length);
    static const struct {
      const char* word;
      double dx, dy;
    } kDirections[] = {{"esquerda", -1, 0}, {"direita", 1, 0}, {"cima", 0, -1}, {"baixo", 0, 1}};
    for (const auto& d : kDirections)
      if (direction == d.word) {
        step.dx = d.dx * *px;
        step.dy = d.dy * *px;
        return {};
      }
    return "deslizar vai para esquerda, direita, cima ou baixo, não " + shownText(direction);
  }
  void onElement(StepContext& run) override {
    const StoryStep& s = run.step();
    if (!down_) {
      run.act(JsonValue::object({{"press", JsonValue::list({s.selector, -s.dx / 2, -s.dy / 2})}}),
              [this, &run](StepContext::Answer answer) {
                const std::optional<std::vector<double>> point = fingerAt(run, answer);
                if (!point) return;
                down_ = true;
                x_ = (*point)[0];
                y_ = (*point)[1];
                began_ = run.seconds();
                run.touched({x_, y_, began_, kSwipeSeconds, run.step().dx, run.step().dy});
                run.holdUntilNext();
              });
      return;
    }
    const double travelled = std::min(1.0, (run.seconds() - began_) / kSwipeSeconds + kSameMoment);
    // A finger's moves come at least every 1/60 s, however far apart the
    // moments are (30 frames a second, the wall clock).
    const double step = 1.0 / (kSwipeSeconds * kTouchMovesPerSecond);
    std::vector<JsonValue> points;
    for (double at = std::min(travelled, moved_ + step);; at = std::min(travelled, at + step)) {
      points.push_back(JsonValue::list({x_ + at * s.dx, y_ + at * s.dy}));
      if (at >= travelled) break;
    }
    moved_ = travelled;
    run.act(JsonValue::object({{"drag", JsonValue::list(points)}}),
            [&run, travelled](StepContext::Answer answer) {
              if (!isText(answer, "ok")) return run.refuse("a página não respondeu");
              travelled >= 1 ? lift(run) : run.holdUntilNext();
            });
  }

 private:
  bool down_ = false;
  double moved_ = 0;  // how far along the finger has moved
  double x_ = 0, y_ = 0;
  double began_ = 0;
};

// digitar SELETOR TEXTO: the field focused, then the text key by key.
class Type final : public ActiveStep {
 public:
  static std::string read(const std::string& rest, const Environment& environment,
                          StoryStep& step) {
    std::string typed;
    if (!splitSelector(rest, &step.selector, &typed))
      return "digitar precisa de um seletor e de um texto";
    std::string missing;
    if (!expand(typed, environment, &step.text, &missing))
      return "digitar: a variável de ambiente " + shownText(missing) + " não está definida";
    // What the variables gave is what the text has beyond the text without them.
    std::string bare;
    expand(
        typed, [](const std::string&) { return std::optional<std::string>(""); }, &bare, &missing);
    step.secret = bare.size() != step.text.size();
    return {};
  }
  void begin(StepContext& run) override {
    began_ = run.seconds();
    keys_ = keysOf(run.step().text);
    run.act(JsonValue::object({{"focus", run.step().selector}}),
            [&run](StepContext::Answer answer) {
              const std::string refused = run.refusal(answer);
              if (!refused.empty()) return run.refuse(refused);
              if (!isText(answer, "ok"))
                return run.refuse("não recebe o foco: não é um campo de texto");
              run.proceed();
            });
  }
  void goOn(StepContext& run) override {
    const size_t due = keysDue(run.seconds() - began_, keys_.size());
    const bool over =
        due == keys_.size() && run.seconds() + kSameMoment >= began_ + keys_.size() * kKeySeconds;
    if (due <= typed_) return over ? run.ended() : run.holdUntilNext();
    std::vector<JsonValue> keys(keys_.begin() + static_cast<ptrdiff_t>(typed_),
                                keys_.begin() + static_cast<ptrdiff_t>(due));
    run.act(JsonValue::object({{"type", JsonValue::list(keys)}}),
            [this, &run, due, over](StepContext::Answer a) {
              if (isText(a, "unfocused"))
                return run.refuse("o campo perdeu o foco no meio do texto");
              if (!isText(a, "ok")) return run.refuse("a página não respondeu");
              for (size_t i = typed_; i < due && !run.step().secret; ++i)
                run.keyPressed(keys_[i], began_ + static_cast<double>(i) * kKeySeconds);
              typed_ = due;
              over ? run.ended() : run.holdUntilNext();
            });
  }

 private:
  double began_ = 0;
  std::vector<std::string> keys_;
  size_t typed_ = 0;
};

// escolher SELETOR TEXTO: the finger taps the field, its picker opens, the
// finger taps the option whose text is TEXTO (for a date or a time field,
// its value: 2026-12-24, 14:30), the picker closes and the page gets input
// and change.
class Choose final : public OnElement {
 public:
  static std::string read(const std::string& rest, const Environment&, StoryStep& step) {
    if (!splitSelector(rest, &step.selector, &step.text))
      return "escolher precisa de um seletor e de um texto";
    return {};
  }
  void onElement(StepContext& run) override {
    if (!picker_) return open(run);
    Picker* open = run.openPicker();
    if (!open) return run.refuse("o menu fechou antes da escolha");
    if (open->pressed < 0) {
      if (run.seconds() + kSameMoment < pressAt_) return run.holdUntilNext();
      const auto [x, y] = pickerPoint(*open, index_, view_[0], view_[1]);
      open->pressed = index_;
      open->chosen = run.step().text;
      open->pressedAt = run.seconds();
      run.touched({x, y, run.seconds(), kTapSeconds});
      return run.holdUntilNext();
    }
    if (run.seconds() + kSameMoment < open->pressedAt + kTapSeconds) return run.holdUntilNext();
    run.act(
        JsonValue::object({{"choose", JsonValue::list({run.step().selector, run.step().text})}}),
        [&run](StepContext::Answer answer) {
          if (!isText(answer, "ok")) return run.refuse("a página não respondeu");
          if (Picker* open = run.openPicker()) open->closed = run.seconds();
          run.ended();
        });
  }

 private:
  // How long the picker shows before the finger picks: after its tap, or
  // from the step's start when a tap before left it open.
  static constexpr double kLookSeconds = 0.7;
  static constexpr double kOpenLookSeconds = 0.3;

  // The option looked up, then the finger's tap on the field.
  void open(StepContext& run) {
    const StoryStep& s = run.step();
    run.act(JsonValue::object({{"pick", JsonValue::list({s.selector, s.text})}}),
            [this, &run](StepContext::Answer answer) {
              if (isText(answer, "notchoice"))
                return run.refuse("não é um select nem um campo de data ou de hora");
              if (isText(answer, "nooption"))
                return run.refuse("não tem a opção " + shownText(run.step().text));
              if (isText(answer, "disabled")) return run.refuse("está desativado");
              const std::string refused = run.refusal(answer);
              std::optional<Picker> picker =
                  answer ? pickerFrom(*answer, run.seconds()) : std::nullopt;
              const size_t n = answer && answer->isArray() ? answer->elements.size() : 0;
              const std::optional<std::vector<double>> last =
                  n >= 3 ? numbers(web::ScriptValue::ofArray(
                                       {answer->elements.end() - 3, answer->elements.end()}),
                                   3)
                         : std::nullopt;
              if (!refused.empty() || !picker || !last)
                return run.refuse(refused.empty() ? "resposta sem sentido" : refused);
              view_ = {(*last)[0], (*last)[1]};
              index_ = static_cast<int>((*last)[2]);
              // The picker a tap left open on this field, when it shows the
              // option; else it closes and the finger opens it again.
              Picker* open = run.openPicker();
              if (open) open->chosen = run.step().text;
              if (!open || open->field != run.step().selector ||
                  !pickerShows(*open, index_, view_[0], view_[1])) {
                if (open) open->closed = run.seconds();
                return tap(run, *picker);
              }
              picker_ = true;
              pressAt_ = run.seconds() + kOpenLookSeconds;
              run.holdUntilNext();
            });
  }
  void tap(StepContext& run, Picker picker) {
    run.act(JsonValue::object({{"tap", run.step().selector}}),
            [this, &run, picker](StepContext::Answer answer) mutable {
              const std::optional<std::vector<double>> point = fingerAt(run, answer);
              if (!point) return;
              run.touched({(*point)[0], (*point)[1], run.seconds(), kTapSeconds});
              picker.opened = run.seconds();
              picker.shows = index_;
              picker.field = run.step().selector;
              picker.chosen = run.step().text;
              picker_ = true;
              pressAt_ = run.seconds() + kLookSeconds;
              run.openPicker(picker);
              run.holdUntilNext();
            });
  }

  bool picker_ = false;
  double pressAt_ = 0;
  int index_ = 0;
  std::array<double, 2> view_{};  // the view's width and height, CSS px
};

// zoom SELETOR FATOR and zoom 1: the camera moves over kZoomSeconds, eased,
// to FATOR times the page centred on the element (first moved into view, as
// for a tap), or back to the page as it stands; the engine paints each frame
// at the camera's scale.
class Zoom final : public OnElement {
 public:
  static std::string read(const std::string& rest, const Environment&, StoryStep& step) {
    if (number(rest) == 1.0) {
      step.number = 1;
      return {};
    }
    std::string factor;
    const std::optional<double> f =
        splitSelector(rest, &step.selector, &factor) ? number(factor) : std::nullopt;
    if (!f || !(*f >= kMinZoom) || !(*f <= kMaxZoom))
      return "zoom precisa de um seletor e de um fator de 1,25 a 4, ou de 1: " + shownText(rest);
    step.number = *f;
    return {};
  }
  void begin(StepContext& run) override {
    // Zoomed in already, the camera goes straight to the element.
    if (run.step().number == 1 || run.camera().zoom != 1) return run.proceed();
    OnElement::begin(run);
  }
  void onElement(StepContext& run) override {
    if (camera_.aimed()) return moveCamera(run);
    const StoryStep& s = run.step();
    std::vector<JsonValue> all = {JsonValue(s.selector)};
    all.insert(all.end(), s.region.begin(), s.region.end());
    const JsonValue target = s.number == 1      ? JsonValue()
                             : s.region.empty() ? JsonValue(s.selector)
                                                : JsonValue::list(all);
    camera_.aim(run, target, s.number, [this, &run] { moveCamera(run); });
  }

 private:
  void moveCamera(StepContext& run) {
    camera_.set(run, [&run](bool arrived) { arrived ? run.ended() : run.holdUntilNext(); });
  }

  CameraMove camera_;
};

}  // namespace

constinit const StepActions kTap = {readSelector, make<Tap>};
constinit const StepActions kLongPress = {LongPress::read, make<LongPress>};
constinit const StepActions kSwipe = {Swipe::read, make<Swipe>};
constinit const StepActions kType = {Type::read, make<Type>};
constinit const StepActions kChoose = {Choose::read, make<Choose>};
constinit const StepActions kZoom = {Zoom::read, make<Zoom>};

}  // namespace vuz::step_parts
