#include "vuzizeri/capture_loop.h"

#include <algorithm>

#include "vuzizeri/recorder.h"
#include "vuzizeri/scripts.h"

namespace vuz {

bool atEnd(const std::optional<web::ScriptValue>& answer) {
  if (!answer || !answer->isArray()) return true;
  const auto& elements = answer->elements;
  if (!std::all_of(elements.begin(), elements.end(),
                   [](const web::ScriptValue& e) { return e.isNumber(); }))
    return true;
  double y = elements.empty() ? 0.0 : elements[0].number;
  double m = elements.size() >= 2 ? elements[1].number : 1.0;
  return y >= m - 2;  // false for NaN on either side
}

double remainingWait(double iterationStart, double now) {
  return (iterationStart - now) + kCaptureInterval;
}

double Vuzizeri::snapshotWidthPoints() const {
  double s = platform_.web->backingScaleFactor();
  if (!(s > 0)) s = 2.0;
  return args.scale * static_cast<double>(args.cssW) / s;
}

void Vuzizeri::capturar() {
  const double start = platform_.now();
  platform_.web->takeSnapshot(snapshotWidthPoints(), [this, start](graphics::ImageRef image) {
    if (!image) {
      platform_.fail("snapshot falhou");
      return;
    }
    gravarQuadro(*image);
    if (platform_.progress) {
      ++progress_.frames;
      progress_.seconds = std::max(lastPTS, 0.0);
      if (!previousSnapshot_ || !graphics::sameSampledRows(*previousSnapshot_, *image))
        ++progress_.distinctFrames;
      previousSnapshot_ = std::move(image);
    }
    platform_.web->evaluateJavaScript(
        kPositionScript,
        [this, start](std::optional<web::ScriptValue> answer) { handlePosition(start, answer); });
  });
}

void Vuzizeri::handlePosition(double iterationStart, const std::optional<web::ScriptValue>& answer) {
  fundo = atEnd(answer) ? fundo + 1 : 0;
  if (answer && answer->isArray() && answer->elements.size() >= 2 &&
      answer->elements[0].isNumber() && answer->elements[1].isNumber() &&
      answer->elements[1].number > 0)
    progress_.scrolled = std::clamp(answer->elements[0].number / answer->elements[1].number, 0.0, 1.0);
  tell(Progress::Phase::kRecording);
  if (fundo >= kEndReadings) {
    terminar();
    return;
  }
  double wait = remainingWait(iterationStart, platform_.now());
  if (wait <= kImmediateThreshold) {
    capturar();
  } else {
    platform_.asyncAfter(wait, [this] { capturar(); });
  }
}

}  // namespace vuz
