#include "vuzizeri/storyboard/steps.h"

#include "vuzizeri/report/json.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

#include "common/shown_text.h"
#include "vuzizeri/storyboard/line_syntax.h"
#include "vuzizeri/storyboard/step_parts.h"

namespace vuz {

namespace step_parts {

// Not a refusal of its own: the step's word says what it needs.
std::string readSelector(const std::string& rest, const Environment&, StoryStep& step) {
  if (rest.empty()) return std::string(step.kind->word) + " precisa de um seletor";
  if (!wholeSelector(rest, &step.selector))
    return std::string(step.kind->word) +
           " precisa de um seletor entre aspas que fecham no fim da linha: " + shownText(rest);
  return {};
}

}  // namespace step_parts

// zoom 1, or a selector (quoted, or a word) and a factor of 1.25 to 4 written
// with a point.
constexpr std::string_view kZoomPattern =
    R"(\+?0*1(\.0*)?|("[^"]+"|'[^']+'|[^"'\s]\S*)[ \t]+\+?0*(1\.(2[5-9]|[3-9])[0-9]*|[23](\.[0-9]*)?|4(\.0*)?))";

const std::vector<StepKind> kStepKinds = {
    {"rolar-ate", "SELETOR|fim|topo", "rola até o topo do elemento, o fim ou o topo da página",
     step_parts::kScrollTo.read, step_parts::kScrollTo.start},
    {"rolar", "PX", "rola PX pixels CSS (para cima se negativo)", step_parts::kScrollBy.read,
     step_parts::kScrollBy.start},
    {"pausa", "SEG", "fica parado SEG segundos", step_parts::kPause.read, step_parts::kPause.start},
    {"tocar", "SELETOR", "toca no elemento, como um dedo", step_parts::kTap.read,
     step_parts::kTap.start},
    {"tocar-longo", "SELETOR SEG", "mantém o dedo no elemento SEG segundos, sem clique",
     step_parts::kLongPress.read, step_parts::kLongPress.start},
    {"deslizar", "SELETOR esquerda|direita|cima|baixo PX",
     "o dedo percorre PX pixels CSS pelo meio do elemento em 0,3 s; o que rola embaixo rola",
     step_parts::kSwipe.read, step_parts::kSwipe.start},
    {"digitar", "SELETOR TEXTO", "digita no campo, tecla a tecla ($NOME: do ambiente)",
     step_parts::kType.read, step_parts::kType.start},
    {"escolher", "SELETOR TEXTO",
     "toca no select ou no campo de data ou hora e escolhe a opção TEXTO (data: 2026-12-24)",
     step_parts::kChoose.read, step_parts::kChoose.start},
    {"esperar", "SELETOR", "espera o elemento aparecer na tela (até 30 s)", step_parts::kWait.read,
     step_parts::kWait.start},
    {"ir", "URL", "vai a outra página e espera ela carregar", step_parts::kGo.read,
     step_parts::kGo.start},
    {"zoom", "SELETOR FATOR|1",
     "aproxima a câmera FATOR vezes (1,25 a 4) no elemento em 0,4 s, nítido; zoom 1 volta",
     step_parts::kZoom.read, step_parts::kZoom.start, kZoomPattern},
    {"legenda", "SEG TEXTO", "uma legenda embaixo na tela por SEG segundos; o roteiro segue",
     step_parts::kCaption.read, step_parts::kCaption.start},
    {"titulo", "SEG TEXTO", "um cartão com o texto na tela toda por SEG segundos",
     step_parts::kTitle.read, step_parts::kTitle.start},
    {"destaque", "SELETOR SEG [TEXTO]",
     "um anel em volta do elemento por SEG segundos, com o texto ao lado; o roteiro segue",
     step_parts::kHighlight.read, step_parts::kHighlight.start},
    {"capitulo", "NOME", "um capítulo do vídeo começa aqui (os players o listam; mp4 e mov)",
     step_parts::kChapter.read, step_parts::kChapter.start},
    {"narrar", "TEXTO",
     "uma voz diz o texto (espeak-ng, ou --voz); o passo seguinte começa quando ela termina",
     step_parts::kNarrate.read, step_parts::kNarrate.start},
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

namespace {

bool touches(const StoryStep& step) {
  static const std::set<std::string_view> kTouching = {"tocar", "tocar-longo", "deslizar",
                                                       "digitar", "escolher"};
  return kTouching.contains(step.kind->word);
}
// What shows over the page while the steps go on, taking no time.
bool alongside(const StoryStep& step) {
  const std::string_view word = step.kind->word;
  return word == "legenda" || word == "destaque" || word == "capitulo";
}

StoryStep cameraStep(const StoryStep& at, double factor, std::vector<std::string> selectors) {
  StoryStep zoom;
  zoom.kind = stepNamed("zoom");
  zoom.line = at.line;
  zoom.number = factor;
  std::string written = "zoom";
  if (!selectors.empty()) {
    zoom.selector = selectors.front();
    zoom.region.assign(selectors.begin() + 1, selectors.end());
    for (const std::string& selector : selectors) written += " " + selector;
  }
  char factorText[32];
  std::snprintf(factorText, sizeof factorText, "%g", factor);
  zoom.written = written + " " + factorText + " (--zoom-automatico)";
  return zoom;
}

// The touches from `first` that make one zoom: each within kIdleSeconds of
// the last, counting only pauses and what shows alongside between them.
// The index after the last of them.
size_t touchesTogether(const std::vector<StoryStep>& steps, size_t first,
                       std::vector<std::string>* selectors) {
  size_t end = first + 1;
  double idle = 0;
  selectors->push_back(steps[first].selector);
  for (size_t i = first + 1; i < steps.size(); ++i) {
    const StoryStep& step = steps[i];
    if (touches(step) && idle <= kIdleSeconds) {
      if (std::find(selectors->begin(), selectors->end(), step.selector) == selectors->end())
        selectors->push_back(step.selector);
      end = i + 1, idle = 0;
    } else if (step.kind->word == "pausa") {
      idle += step.number;
    } else if (!alongside(step)) {
      break;
    }
  }
  return end;
}

}  // namespace

std::vector<StoryStep> withAutomaticZoom(std::vector<StoryStep> steps, double factor) {
  std::vector<StoryStep> out;
  for (size_t i = 0; i < steps.size();) {
    if (!touches(steps[i])) {
      out.push_back(std::move(steps[i++]));
      continue;
    }
    std::vector<std::string> selectors;
    const size_t end = touchesTogether(steps, i, &selectors);
    out.push_back(cameraStep(steps[i], factor, selectors));
    while (i < end) out.push_back(std::move(steps[i++]));
    // Out once nothing is touched for kIdleSeconds: within a pause, before
    // a step that is neither a pause nor shown alongside, or at the end.
    double idle = 0;
    for (; i < steps.size() && !touches(steps[i]); ++i) {
      StoryStep& step = steps[i];
      if (alongside(step)) {
        out.push_back(std::move(step));
        continue;
      }
      if (step.kind->word != "pausa") break;
      if (idle + step.number <= kIdleSeconds) {
        idle += step.number;
        out.push_back(std::move(step));
        continue;
      }
      const double rest = step.number - (kIdleSeconds - idle) - kZoomSeconds;
      step.number = kIdleSeconds - idle;
      out.push_back(step);
      out.push_back(cameraStep(step, 1, {}));
      if (rest > step_parts::kSameMoment) {
        step.number = rest;
        out.push_back(std::move(step));
      }
      idle = -1;  // out already
      ++i;
      break;
    }
    if (idle >= 0) out.push_back(cameraStep(out.back(), 1, {}));
  }
  return out;
}

size_t keysDue(double elapsed, size_t count) {
  if (elapsed < -step_parts::kSameMoment) return 0;
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
