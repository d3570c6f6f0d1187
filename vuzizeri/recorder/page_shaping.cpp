#include "vuzizeri/recorder/page_shaping.h"

#include "common/data_table.h"
#include "common/shown_text.h"
#include "vuzizeri/recorder/page_scripts.h"
#include "vuzizeri/recorder/recorder.h"
#include "vuzizeri/report/json.h"

namespace vuz {

std::string bannerStyleSheet(std::string_view tsv) {
  std::string css;
  for (const std::vector<std::string_view>& row : tableRows(tsv)) {
    if (row.size() < 2 || row[1].empty()) continue;
    const std::string_view declarations = row.size() > 2 ? row[2] : "display: none !important";
    css += std::string(row[1]) + " { " + std::string(declarations) + "; }\n";
  }
  return css;
}

std::string redactionScript(const Arguments& a) {
  if (a.redactText.empty()) return {};
  std::vector<JsonValue> patterns(a.redactText.begin(), a.redactText.end());
  return scriptCall(kRedactTextScript, JsonValue::object({{"patterns", JsonValue::list(patterns)},
                                                          {"colour", a.redactColour}}));
}

std::string redactionFailure(const Arguments& a, const std::string& posted) {
  for (size_t i = 0; i < a.redactText.size(); ++i)
    if (posted == std::to_string(i))
      return "--redigir-texto: o motor de expressões regulares desistiu de procurar " +
             shownText(a.redactText[i]) +
             " (retrocessos demais), e o texto ficaria à mostra; simplifique a expressão";
  return {};
}

std::string shapingStyleSheet(const Arguments& a, std::string_view bannerRules) {
  std::string css;
  for (const std::string& s : a.hide) css += s + " { visibility: hidden !important; }\n";
  for (const std::string& s : a.remove) css += s + " { display: none !important; }\n";
  if (a.noBanners) css += bannerRules;
  return css;
}

std::string redactionStyleSheet(const Arguments& a) {
  std::string css;
  // A redacted element keeps its box and its own background, or takes the
  // given colour; its text, and everything in it, is not drawn. A style
  // sheet holds from the first paint of anything that matches, however
  // late it comes, so no frame can show it.
  for (const std::string& s : a.redact) {
    const std::string own = ":is(" + s + ")";
    css += own + ", " + own + " *, " + own + "::placeholder, " + own + "::before, " + own +
           "::after { color: transparent !important; -webkit-text-fill-color: transparent "
           "!important; text-shadow: none !important; caret-color: transparent !important; "
           "text-decoration-color: transparent !important; }\n";
    css += own + " *, " + own + "::before, " + own + "::after, " + own +
           ":is(img, svg, video, canvas, iframe, object, embed) { visibility: hidden !important; "
           "}\n";
    css += own + " { background-image: none !important; box-shadow: none !important;" +
           (a.redactColour.empty() ? std::string()
                                   : " background-color: " + a.redactColour + " !important;") +
           " }\n";
  }
  return css;
}

void Vuzizeri::shapePage(std::function<void()> then) {
  std::vector<std::string> selectors = args.hide;
  selectors.insert(selectors.end(), args.remove.begin(), args.remove.end());
  selectors.insert(selectors.end(), args.redact.begin(), args.redact.end());
  if (!args.waitFor.empty()) selectors.push_back(args.waitFor);
  for (const std::string& s : planSelectors(args)) selectors.push_back(s);
  if (selectors.empty()) {
    runUserScript(std::move(then));
    return;
  }
  // A selector the engine cannot read would silently match nothing.
  std::vector<JsonValue> list(selectors.begin(), selectors.end());
  runScript(kInvalidSelectorsScript, JsonValue::object({{"selectors", JsonValue::list(list)}}),
            [this, then = std::move(then)](std::optional<web::ScriptValue> invalid) mutable {
              if (!invalid || !invalid->isArray()) {
                failUnlessWebProcessEnds(
                    "os seletores de --esconder, --remover, --redigir, --esperar-elemento, "
                    "--de, --ate e --pausa não puderam ser verificados");
                return;
              }
              if (!invalid->elements.empty() &&
                  invalid->elements[0].kind == web::ScriptValue::Kind::kString) {
                platform_.fail("seletor inválido: " + invalid->elements[0].string);
                return;
              }
              runUserScript(std::move(then));
            });
}

void Vuzizeri::runUserScript(std::function<void()> then) {
  if (args.scriptText.empty()) {
    waitForElement(std::move(then));
    return;
  }
  platform_.web->runPageScript(
      args.scriptText, [this, then = std::move(then)](web::ScriptAnswer answer) mutable {
        if (answer.thrown) {
          platform_.fail("o script falhou: " + shownText(*answer.thrown, 200));
          return;
        }
        waitForElement(std::move(then));
      });
}

void Vuzizeri::waitForElement(std::function<void()> then) {
  if (args.waitFor.empty()) {
    then();
    return;
  }
  lookForElement(platform_.now() + kElementWaitSeconds, std::move(then));
}

void Vuzizeri::lookForElement(double deadline, std::function<void()> then) {
  runScript(
      kVisibleElementScript, JsonValue::object({{"selector", args.waitFor}}),
      [this, deadline, then = std::move(then)](std::optional<web::ScriptValue> visible) mutable {
        if (visible && visible->isTrue()) {
          then();
        } else if (platform_.now() >= deadline) {
          platform_.fail("o elemento não apareceu em 30 s: " + args.waitFor);
        } else {
          // Waiting on the user's word is progress, not a stall.
          beat();
          platform_.asyncAfter(kElementPollSeconds,
                               [this, deadline, then = std::move(then)]() mutable {
                                 lookForElement(deadline, std::move(then));
                               });
        }
      });
}

}  // namespace vuz
