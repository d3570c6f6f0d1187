#include "vuzizeri/launcher/progress_display.h"

#include <cmath>
#include <cstdio>

#include "common/progress_line.h"

namespace vuz {

void showProgress(const Progress& p) {
  using Phase = Progress::Phase;
  static Phase shownPhase = Phase::kFinishing;
  const bool newPhase = p.phase != shownPhase;
  shownPhase = p.phase;
  if (p.phase == Phase::kWaiting) return progress::show("página carregada; gravação em 3 s", true);
  if (p.phase == Phase::kFinishing) return progress::show("finalizando o arquivo", true);
  char text[160];
  if (p.rate > 0) {
    const long left = std::lround(p.secondsLeft);
    std::snprintf(
        text, sizeof text,
        "quadro a quadro: %lld quadros, %.1f s de vídeo, %.1f quadros/s, faltam %ld:%02ld",
        static_cast<long long>(p.frames), p.seconds, p.rate, left / 60, left % 60);
    return progress::show(text, newPhase);
  }
  std::snprintf(text, sizeof text,
                "gravando: %lld quadros, %.1f s de vídeo, %.1f quadros distintos/s, %.0f%% da "
                "rolagem",
                static_cast<long long>(p.frames), p.seconds,
                p.seconds > 0 ? p.distinctFrames / p.seconds : 0.0, 100 * p.scrolled);
  progress::show(text, newPhase);
}

}  // namespace vuz
