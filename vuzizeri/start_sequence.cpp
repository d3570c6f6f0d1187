#include "vuzizeri/start_sequence.h"

#include <algorithm>

#include "vuzizeri/recorder.h"
#include "vuzizeri/scripts.h"

namespace vuz {

std::optional<double> acceptedHeight(const std::optional<web::ScriptValue>& result) {
  if (!result || !result->isNumber()) return std::nullopt;
  double height = result->number;
  if (!(height > 0)) return std::nullopt;  // 0, negative, NaN
  return height;
}

double scrollSpeed(double pageHeight, int64_t contentH) {
  double distance = pageHeight - static_cast<double>(contentH);
  return std::max(kMinimumSpeed, distance / kScrollTimeCap);
}

void Vuzizeri::webViewDidFinish() {
  // A reload or a redirect by script finishes another navigation; one
  // recording per run, so only the first starts anything.
  if (started_) return;
  started_ = true;
  beat();
  shapePage([this] {
    preload([this] {
      beat();
      tell(Progress::Phase::kWaiting);
      platform_.asyncAfter(kStartDelaySeconds, [this] { comecar(); });
    });
  });
}

void Vuzizeri::webViewDidFail(const std::string& reason) {
  // Later navigations (a reload, a link) may fail; the page is still there.
  if (started_) return;
  platform_.fail("a página não carregou: " + reason);
}

void Vuzizeri::comecar() {
  waitForFonts(platform_.now() + kFontWaitSeconds,
               [this] { amostrarCorDoTopo([this] { medirEComecar(); }); });
}

void Vuzizeri::waitForFonts(double deadline, std::function<void()> then) {
  // Text drawn in a fallback face first would give the band, and the first
  // frames, colours and shapes the page does not have.
  platform_.web->evaluateInOwnWorld(
      "document.fonts ? document.fonts.status : 'loaded'",
      [this, deadline, then = std::move(then)](std::optional<web::ScriptValue> status) mutable {
        const bool loading = status && status->kind == web::ScriptValue::Kind::kString &&
                             status->string == "loading";
        if (!loading || platform_.now() >= deadline) {
          then();
          return;
        }
        beat();
        platform_.asyncAfter(kFontPollSeconds, [this, deadline, then = std::move(then)]() mutable {
          waitForFonts(deadline, std::move(then));
        });
      });
}

void Vuzizeri::medirEComecar() {
  platform_.web->evaluateJavaScript(
      kHeightScript, [this](std::optional<web::ScriptValue> result) { handleHeight(result); });
}

void Vuzizeri::handleHeight(const std::optional<web::ScriptValue>& result) {
  std::optional<double> height = acceptedHeight(result);
  if (!height) {
    // No answer at all may mean the web process is gone.
    if (!result) failUnlessWebProcessEnds("página sem altura");
    else platform_.fail("página sem altura");
    return;
  }
  double velocidade = scrollSpeed(*height, args.contentH);
  prepararWriter();
  if (!writer) return;
  driver_->start(velocidade);
}

void Vuzizeri::rolar(double velocidade) {
  platform_.web->evaluateJavaScript(scrollScript(velocidade), nullptr);
}

}  // namespace vuz
