#include "vuzizeri/storyboard/steps.h"

#include <algorithm>
#include <cmath>

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

template <typename Step>
std::unique_ptr<ActiveStep> make() {
  return std::make_unique<Step>();
}

std::string readSelector(const std::string& rest, const Environment&, StoryStep& step) {
  if (rest.empty()) return std::string(step.kind->word) + " precisa de um seletor";
  step.selector = rest;
  return {};
}

// rolar-ate SELETOR | fim | topo: a move to the element's top, the end, the top.
class ScrollTo final : public ActiveStep {
 public:
  static std::string read(const std::string& rest, const Environment&, StoryStep& step) {
    if (rest.empty()) return "rolar-ate precisa de um seletor, de fim ou de topo";
    step.target = rest == "fim"    ? StoryStep::Target::kEnd
                  : rest == "topo" ? StoryStep::Target::kTop
                                   : StoryStep::Target::kElement;
    step.selector = rest;
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

// tocar SELETOR: a finger's tap, the element first moved into view whole.
class Tap final : public ActiveStep {
 public:
  void begin(StepContext& run) override {
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
  void goOn(StepContext& run) override {
    if (acted_) return run.seconds() + kSameMoment >= until_ ? run.ended() : run.holdUntilNext();
    run.act(JsonValue::object({{"tap", run.step().selector}}), [this,
                                                                &run](StepContext::Answer answer) {
      const std::string refused = run.refusal(answer);
      if (!refused.empty()) return run.refuse(refused);
      if (answer && answer->isArray() && answer->elements.size() == 2 &&
          answer->elements[1].kind == web::ScriptValue::Kind::kString)
        return run.refuse("está coberto por " + answer->elements[1].string + " no ponto do toque");
      const std::optional<std::vector<double>> point = numbers(answer, 2);
      if (!point) return run.refuse("resposta sem sentido");
      acted_ = true;
      until_ = run.seconds() + kTapSeconds;
      run.touched({(*point)[0], (*point)[1], run.seconds(), kTapSeconds});
      run.holdUntilNext();
    });
  }
  bool holdsAfterMove() const override { return true; }

 private:
  bool acted_ = false;
  double until_ = 0;
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
              typed_ = due;
              over ? run.ended() : run.holdUntilNext();
            });
  }

 private:
  double began_ = 0;
  std::vector<std::string> keys_;
  size_t typed_ = 0;
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
    // page's own script.
    const std::string scheme = schemeOf(rest);
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

const std::vector<StepKind> kStepKinds = {
    {"rolar-ate", "SELETOR|fim|topo", "rola até o topo do elemento, o fim ou o topo da página",
     ScrollTo::read, make<ScrollTo>},
    {"rolar", "PX", "rola PX pixels CSS (para cima se negativo)", ScrollBy::read, make<ScrollBy>},
    {"pausa", "SEG", "fica parado SEG segundos", Pause::read, make<Pause>},
    {"tocar", "SELETOR", "toca no elemento, como um dedo", readSelector, make<Tap>},
    {"digitar", "SELETOR TEXTO", "digita no campo, tecla a tecla ($NOME: do ambiente)", Type::read,
     make<Type>},
    {"esperar", "SELETOR", "espera o elemento aparecer na tela (até 30 s)", readSelector,
     make<Wait>},
    {"ir", "URL", "vai a outra página e espera ela carregar", Go::read, make<Go>},
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
  std::string shown = "    antes";
  shown.resize(32, ' ');
  return text + shown + "os passos acima dela vêm antes da gravação\n";
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
