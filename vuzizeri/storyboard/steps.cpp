#include "vuzizeri/storyboard/steps.h"

#include "vuzizeri/report/json.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "common/shown_text.h"
#include "vuzizeri/storyboard/line_syntax.h"

namespace vuz {

namespace {

// A moment's time, compared with a step's, counts as reaching it when it is
// this close: frame times are sums of 1/fps.
constexpr double kSameMoment = 1e-9;
constexpr double kNavigationPollSeconds = 0.05;

bool isText(const StepContext::Answer& a, const char* text) {
  return a && a->kind == web::ScriptValue::Kind::kString && a->string == text;
}

// The numbers of an answer that is a list of at least `count` of them.
std::optional<std::vector<double>> numbers(const StepContext::Answer& a, size_t count) {
  if (!a || !a->isArray() || a->elements.size() < count) return std::nullopt;
  std::vector<double> values;
  for (size_t i = 0; i < count; ++i) {
    if (!a->elements[i].isNumber() || !std::isfinite(a->elements[i].number)) return std::nullopt;
    values.push_back(a->elements[i].number);
  }
  return values;
}

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

template <typename Step>
std::unique_ptr<ActiveStep> make() {
  return std::make_unique<Step>();
}

std::string readSelector(const std::string& rest, const Environment&, StoryStep& step) {
  if (rest.empty()) return std::string(step.kind->word) + " precisa de um seletor";
  if (!wholeSelector(rest, &step.selector))
    return std::string(step.kind->word) +
           " precisa de um seletor entre aspas que fecham no fim da linha: " + shownText(rest);
  return {};
}

// rolar-ate SELETOR | fim | topo: a move to the element's top, the end, the top.
class ScrollTo final : public ActiveStep {
 public:
  static std::string read(const std::string& rest, const Environment&, StoryStep& step) {
    if (rest.empty()) return "rolar-ate precisa de um seletor, de fim ou de topo";
    if (const std::string why = readSelector(rest, {}, step); !why.empty()) return why;
    // Quoted by habit, fim and topo are still the words: no HTML element has
    // those names.
    step.target = step.selector == "fim"    ? StoryStep::Target::kEnd
                  : step.selector == "topo" ? StoryStep::Target::kTop
                                            : StoryStep::Target::kElement;
    return {};
  }
  void begin(StepContext& run) override {
    const StoryStep& s = run.step();
    if (s.target == StoryStep::Target::kTop) return run.moveTo(0);
    if (s.target == StoryStep::Target::kEnd) return run.moveTo(run.pageEnd());
    run.act(JsonValue::object({{"find", s.selector}}), [&run](StepContext::Answer answer) {
      const std::string refused = run.refusal(answer);
      const std::optional<std::vector<double>> place = numbers(answer, 3);
      if (!refused.empty() || !place)
        return run.refuse(refused.empty() ? "resposta sem sentido" : refused);
      run.moveTo(std::clamp((*place)[0], 0.0, run.pageEnd()));
    });
  }
  void goOn(StepContext& run) override { run.ended(); }
};

// rolar PX: a move PX CSS px further (up when negative).
class ScrollBy final : public ActiveStep {
 public:
  static std::string read(const std::string& rest, const Environment&, StoryStep& step) {
    const std::optional<double> px = number(rest);
    if (!px || std::abs(*px) > 1e6)
      return "rolar precisa de pixels CSS, de -1000000 a 1000000: " + shownText(rest);
    step.number = *px;
    return {};
  }
  void begin(StepContext& run) override {
    run.moveTo(std::clamp(run.offset() + run.step().number, 0.0, run.pageEnd()));
  }
  void goOn(StepContext& run) override { run.ended(); }
};

// pausa SEG: a hold.
class Pause final : public ActiveStep {
 public:
  static std::string read(const std::string& rest, const Environment&, StoryStep& step) {
    const std::optional<double> seconds = number(rest);
    if (!seconds || !(*seconds > 0) || *seconds > 600)
      return "pausa precisa de segundos acima de 0 e até 600: " + shownText(rest);
    step.number = *seconds;
    return {};
  }
  void begin(StepContext& run) override {
    until_ = run.seconds() + run.step().number;
    run.proceed();
  }
  void goOn(StepContext& run) override {
    run.seconds() + kSameMoment >= until_ ? run.ended() : run.holdUntilNext();
  }

 private:
  double until_ = 0;
};

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

// legenda SEG TEXTO and titulo SEG TEXTO: words on the screen for SEG
// seconds; the storyboard goes on under a caption, and holds under a title.
template <Caption::Kind kKind>
class Words final : public ActiveStep {
 public:
  static std::string read(const std::string& rest, const Environment&, StoryStep& step) {
    const char* word = kKind == Caption::Kind::kTitle ? "titulo" : "legenda";
    const auto [length, text] = firstWord(rest);
    const std::optional<double> seconds = number(length);
    if (!seconds || !(*seconds > 0) || *seconds > 600 || text.empty())
      return std::string(word) + " precisa de segundos acima de 0 e até 600 e de um texto";
    step.number = *seconds;
    step.text = text;
    return {};
  }
  void begin(StepContext& run) override {
    until_ = run.seconds() + run.step().number;
    run.show({kKind, run.step().text, run.seconds(), until_});
    if (kKind == Caption::Kind::kCaption) return run.ended();
    run.proceed();
  }
  void goOn(StepContext& run) override {
    run.seconds() + kSameMoment >= until_ ? run.ended() : run.holdUntilNext();
  }

 private:
  double until_ = 0;
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
    camera_.aim(run, s.number == 1 ? JsonValue() : JsonValue(s.selector), s.number,
                [this, &run] { moveCamera(run); });
  }

 private:
  void moveCamera(StepContext& run) {
    camera_.set(run, [&run](bool arrived) { arrived ? run.ended() : run.holdUntilNext(); });
  }

  CameraMove camera_;
};

// destaque SELETOR SEG [TEXTO]: a ring around the element for SEG seconds,
// with the text beside it; the next step starts at once.
class Highlight final : public ActiveStep {
 public:
  static std::string read(const std::string& rest, const Environment&, StoryStep& step) {
    std::string tail;
    if (!splitSelector(rest, &step.selector, &tail))
      return "destaque precisa de um seletor e de segundos";
    const auto [length, text] = firstWord(tail);
    const std::optional<double> seconds = number(length);
    if (!seconds || !(*seconds > 0) || *seconds > 600)
      return "destaque precisa de segundos acima de 0 e até 600: " + shownText(length);
    step.number = *seconds;
    step.text = text;
    return {};
  }
  void begin(StepContext& run) override {
    run.act(JsonValue::object({{"box", run.step().selector}}), [&run](StepContext::Answer answer) {
      const std::string refused = run.refusal(answer);
      const std::optional<std::vector<double>> box = numbers(answer, 4);
      if (!refused.empty() || !box)
        return run.refuse(refused.empty() ? "resposta sem sentido" : refused);
      const StoryStep& s = run.step();
      run.show({Caption::Kind::kHighlight, s.text, run.seconds(), run.seconds() + s.number,
                (*box)[0], (*box)[1], (*box)[2], (*box)[3]});
      run.ended();
    });
  }
  void goOn(StepContext& run) override { run.ended(); }
};

// capitulo NOME: a chapter of the movie starts here; it lasts to the next.
class Chapter final : public ActiveStep {
 public:
  static std::string read(const std::string& rest, const Environment&, StoryStep& step) {
    if (rest.empty()) return "capitulo precisa de um nome";
    // What a player lists, and what MP4's chapter list holds.
    if (rest.size() > 255)
      return "capitulo precisa de um nome de até 255 bytes: " + shownText(rest);
    step.text = rest;
    return {};
  }
  void begin(StepContext& run) override {
    run.show({Caption::Kind::kChapter, run.step().text, run.seconds(), run.seconds()});
    run.ended();
  }
  void goOn(StepContext& run) override { run.ended(); }
};

// esperar SELETOR: holds until a match shows in the view.
class Wait final : public ActiveStep {
 public:
  void begin(StepContext& run) override {
    began_ = run.seconds();
    run.proceed();
  }
  void goOn(StepContext& run) override {
    run.visible(run.step().selector, [this, &run](StepContext::Answer answer) {
      if (isText(answer, "invalid")) return run.refuse("não é um seletor CSS");
      if (answer && answer->isTrue()) return run.ended();
      if (run.seconds() - began_ >= kWaitLimitSeconds)
        return run.refuse("nada visível em " + std::to_string(int(kWaitLimitSeconds)) + " s");
      run.holdUntilNext();
    });
  }

 private:
  double began_ = 0;
};

// ir URL: another page, waited for until it has loaded.
class Go final : public ActiveStep {
 public:
  static std::string read(const std::string& rest, const Environment&, StoryStep& step) {
    if (rest.empty() || rest.find_first_of(kBlanks) != std::string::npos)
      return "ir precisa de um URL, sem espaços";
    // A javascript: or data: "page" would run the storyboard's text as the
    // page's own script. The scheme is read as the engine reads it: control
    // bytes before it dropped, and tabs and line breaks in it.
    size_t start = 0;
    while (start < rest.size() && static_cast<unsigned char>(rest[start]) <= ' ') ++start;
    std::string engineRead = rest.substr(start);
    std::erase_if(engineRead, [](char c) { return c == '\t' || c == '\r' || c == '\n'; });
    const std::string scheme = schemeOf(engineRead);
    if (!scheme.empty() && scheme != "http" && scheme != "https" && scheme != "file")
      return "ir vai só a páginas http, https ou file: " + shownText(rest);
    step.text = rest;
    return {};
  }
  void begin(StepContext& run) override {
    waiting_ = true;
    run.navigating(true);
    run.act(JsonValue::object({{"go", run.step().text}}), [this, &run](StepContext::Answer answer) {
      if (isText(answer, "local")) return run.refuse("uma página da web não abre arquivos locais");
      if (isText(answer, "scheme")) return run.refuse("ir vai só a páginas http, https ou file");
      // The engine drops these without a word, where a first load gets this.
      if (isText(answer, "port"))
        return run.refuse("a página não carregou: Not allowed to use restricted network port");
      if (isText(answer, "same")) {
        arrived(run);
        return run.ended();
      }
      awaitArrival(run, 0);
    });
  }
  void goOn(StepContext& run) override { run.ended(); }
  void navigationFailed(StepContext& run, const std::string& reason) override {
    if (waiting_) run.refuse("a página não carregou: " + reason);
  }

 private:
  void arrived(StepContext& run) {
    waiting_ = false;
    run.navigating(false);
  }
  void awaitArrival(StepContext& run, double waited) {
    run.act(JsonValue::object({{"loaded", true}}), [this, &run, waited](StepContext::Answer a) {
      if (a && a->isArray() && a->elements.size() == 2 && a->elements[0].isTrue() &&
          a->elements[1].isTrue()) {
        arrived(run);
        return run.ended();
      }
      if (waited >= kWaitLimitSeconds)
        return run.refuse("a página não carregou em " + std::to_string(int(kWaitLimitSeconds)) +
                          " s");
      run.after(kNavigationPollSeconds,
                [this, &run, waited] { awaitArrival(run, waited + kNavigationPollSeconds); });
    });
  }

  bool waiting_ = false;
};

}  // namespace

// zoom 1, or a selector (quoted, or a word) and a factor of 1.25 to 4 written
// with a point.
constexpr std::string_view kZoomPattern =
    R"(\+?0*1(\.0*)?|("[^"]+"|'[^']+'|[^"'\s]\S*)[ \t]+\+?0*(1\.(2[5-9]|[3-9])[0-9]*|[23](\.[0-9]*)?|4(\.0*)?))";

const std::vector<StepKind> kStepKinds = {
    {"rolar-ate", "SELETOR|fim|topo", "rola até o topo do elemento, o fim ou o topo da página",
     ScrollTo::read, make<ScrollTo>},
    {"rolar", "PX", "rola PX pixels CSS (para cima se negativo)", ScrollBy::read, make<ScrollBy>},
    {"pausa", "SEG", "fica parado SEG segundos", Pause::read, make<Pause>},
    {"tocar", "SELETOR", "toca no elemento, como um dedo", readSelector, make<Tap>},
    {"tocar-longo", "SELETOR SEG", "mantém o dedo no elemento SEG segundos, sem clique",
     LongPress::read, make<LongPress>},
    {"deslizar", "SELETOR esquerda|direita|cima|baixo PX",
     "o dedo percorre PX pixels CSS pelo meio do elemento em 0,3 s; o que rola embaixo rola",
     Swipe::read, make<Swipe>},
    {"digitar", "SELETOR TEXTO", "digita no campo, tecla a tecla ($NOME: do ambiente)", Type::read,
     make<Type>},
    {"escolher", "SELETOR TEXTO",
     "toca no select ou no campo de data ou hora e escolhe a opção TEXTO (data: 2026-12-24)",
     Choose::read, make<Choose>},
    {"esperar", "SELETOR", "espera o elemento aparecer na tela (até 30 s)", readSelector,
     make<Wait>},
    {"ir", "URL", "vai a outra página e espera ela carregar", Go::read, make<Go>},
    {"zoom", "SELETOR FATOR|1",
     "aproxima a câmera FATOR vezes (1,25 a 4) no elemento em 0,4 s, nítido; zoom 1 volta",
     Zoom::read, make<Zoom>, kZoomPattern},
    {"legenda", "SEG TEXTO", "uma legenda embaixo na tela por SEG segundos; o roteiro segue",
     Words<Caption::Kind::kCaption>::read, make<Words<Caption::Kind::kCaption>>},
    {"titulo", "SEG TEXTO", "um cartão com o texto na tela toda por SEG segundos",
     Words<Caption::Kind::kTitle>::read, make<Words<Caption::Kind::kTitle>>},
    {"destaque", "SELETOR SEG [TEXTO]",
     "um anel em volta do elemento por SEG segundos, com o texto ao lado; o roteiro segue",
     Highlight::read, make<Highlight>},
    {"capitulo", "NOME", "um capítulo do vídeo começa aqui (os players o listam; mp4 e mov)",
     Chapter::read, make<Chapter>},
};

const StepKind* stepNamed(std::string_view word) {
  for (const StepKind& kind : kStepKinds)
    if (kind.word == word) return &kind;
  return nullptr;
}

std::string stepWords() {
  std::string words;
  for (const StepKind& kind : kStepKinds) words += std::string(kind.word) + ", ";
  words.resize(words.size() - 2);
  return words + " ou antes";
}

std::string stepsHelp() {
  std::string text;
  for (const StepKind& kind : kStepKinds) {
    std::string shown = "    " + std::string(kind.word) + " " + std::string(kind.syntax);
    shown.resize(std::max<size_t>(shown.size() + 2, 32), ' ');
    text += shown + std::string(kind.help) + "\n";
  }
  auto line = [](std::string shown, const char* help) {
    shown.resize(32, ' ');
    return shown + help + "\n";
  };
  return text + line("    antes", "os passos acima dela vêm antes da gravação") +
         line("    # TEXTO", "um comentário; linhas em branco também não contam") +
         line("    (em todo passo)",
              "números com ponto (1.5); um SELETOR com espaços seguido de mais "
              "palavras vai entre aspas: digitar \"form input\" oi");
}

std::string storyboardSchema() {
  std::vector<JsonValue> lines;
  auto line = [&lines](const std::string& pattern, const std::string& description) {
    lines.push_back(JsonValue::object(
        {{"type", "string"}, {"pattern", pattern}, {"description", description}}));
  };
  for (const StepKind& kind : kStepKinds) {
    const std::string syntax(kind.syntax);
    const std::string arguments =
        kind.pattern.empty() ? "[ \\t]+\\S" : "[ \\t]+(" + std::string(kind.pattern) + ")[ \\t]*$";
    line("^[ \\t]*" + std::string(kind.word) + (syntax.empty() ? "[ \\t]*$" : arguments),
         std::string(kind.word) + (syntax.empty() ? "" : " " + syntax) + ": " +
             std::string(kind.help));
  }
  line("^[ \\t]*antes[ \\t]*$", "antes: os passos acima dela vêm antes da gravação (uma vez)");
  line("^[ \\t]*(#.*)?$", "um comentário ou uma linha em branco");
  return JsonValue::object(
             {{"$schema", "https://json-schema.org/draft/2020-12/schema"},
              {"$id", "https://vuzizeri.invalid/roteiro.schema.json"},
              {"title", "roteiro do vuzizeri"},
              {"description",
               "As linhas de um roteiro de --roteiro (o arquivo é elas unidas por \\n, até 1 MiB), "
               "em ordem. Números com ponto (1.5); um SELETOR com espaços seguido de mais palavras "
               "vai entre aspas; $NOME em digitar vem do ambiente."},
              {"type", "array"},
              {"items", JsonValue::object({{"anyOf", JsonValue::list(lines)}})}})
             .text() +
         "\n";
}

std::vector<StoryStep> withZoomOnTouches(std::vector<StoryStep> steps, double factor) {
  const StepKind* zoom = stepNamed("zoom");
  std::vector<StoryStep> out;
  for (StoryStep& step : steps) {
    const std::string_view word = step.kind->word;
    if (word != "tocar" && word != "tocar-longo" && word != "deslizar" && word != "digitar") {
      out.push_back(std::move(step));
      continue;
    }
    char factorText[32];
    std::snprintf(factorText, sizeof factorText, "%g", factor);
    StoryStep in;
    in.kind = zoom;
    in.line = step.line;
    in.selector = step.selector;
    in.number = factor;
    in.written = "zoom " + step.selector + " " + factorText + " (--zoom-nos-toques)";
    StoryStep back;
    back.kind = zoom;
    back.line = step.line;
    back.number = 1;
    back.written = "zoom 1 (--zoom-nos-toques)";
    out.push_back(std::move(in));
    out.push_back(std::move(step));
    out.push_back(std::move(back));
  }
  return out;
}

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

}  // namespace vuz
