// The steps of the page's own: scrolls, holds, words on the screen, a
// highlight, chapters, waits and other pages.

#include <algorithm>
#include <cmath>

#include "common/shown_text.h"
#include "vuzizeri/storyboard/line_syntax.h"
#include "vuzizeri/storyboard/step_parts.h"

namespace vuz::step_parts {

namespace {

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

constexpr size_t kMostNarratedBytes = 1000;

// narrar TEXTO: a voice says the text, spoken and measured before the
// recording (its length is the step's number); the next step starts once
// it has been said. In the captions file, not on the screen.
class Narrate final : public ActiveStep {
 public:
  static std::string read(const std::string& rest, const Environment&, StoryStep& step) {
    if (rest.empty()) return "narrar precisa de um texto";
    // A line a voice says between two steps, not a text to read for an hour.
    if (rest.size() > kMostNarratedBytes)
      return "narrar precisa de um texto de até " + std::to_string(kMostNarratedBytes) +
             " bytes: " + shownText(rest);
    step.text = rest;
    return {};
  }
  void begin(StepContext& run) override {
    until_ = run.seconds() + run.step().number;
    run.show({Caption::Kind::kNarration, run.step().text, run.seconds(), until_});
    run.proceed();
  }
  void goOn(StepContext& run) override {
    run.seconds() + kSameMoment >= until_ ? run.ended() : run.holdUntilNext();
  }

 private:
  double until_ = 0;
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

constinit const StepActions kScrollTo = {ScrollTo::read, make<ScrollTo>};
constinit const StepActions kScrollBy = {ScrollBy::read, make<ScrollBy>};
constinit const StepActions kPause = {Pause::read, make<Pause>};
constinit const StepActions kCaption = {Words<Caption::Kind::kCaption>::read,
                                        make<Words<Caption::Kind::kCaption>>};
constinit const StepActions kTitle = {Words<Caption::Kind::kTitle>::read,
                                      make<Words<Caption::Kind::kTitle>>};
constinit const StepActions kHighlight = {Highlight::read, make<Highlight>};
constinit const StepActions kChapter = {Chapter::read, make<Chapter>};
constinit const StepActions kNarrate = {Narrate::read, make<Narrate>};
constinit const StepActions kWait = {readSelector, make<Wait>};
constinit const StepActions kGo = {Go::read, make<Go>};

}  // namespace vuz::step_parts
