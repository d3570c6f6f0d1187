#include "vuzizeri/recorder/finishing.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cmath>

#include "vuzizeri/recorder/frame_budget.h"
#include "vuzizeri/recorder/page_shaping.h"
#include "vuzizeri/recorder/recorder.h"

namespace vuz {

std::string outPathInfo(const std::string& path, int64_t size, double duration) {
  // to_chars is printf's "%.1f" without the locale.
  char seconds[400];
  auto end = std::to_chars(seconds, seconds + sizeof seconds, duration,
                           std::chars_format::fixed, 1).ptr;
  return path + " " + std::to_string(size) + " bytes, " + std::string(seconds, end) + "s";
}

namespace {

// Numbers as JSON has them: the shortest text, to the microsecond or
// thousandth of a pixel.
std::string jsonNumber(double value) {
  if (!std::isfinite(value)) return "null";
  char text[64];
  const double rounded = std::abs(value) < 1e15 ? std::round(value * 1e6) / 1e6 : value;
  auto end = std::to_chars(text, text + sizeof text, rounded).ptr;
  return std::string(text, end);
}

}  // namespace

std::string jsonReport(const RunReport& r) {
  std::string json = "{\"arquivo\": " + jsString(r.path) + ", \"bytes\": " + std::to_string(r.bytes) +
                     ", \"segundos\": " + jsonNumber(r.seconds) +
                     ", \"quadros\": " + std::to_string(r.frames) + ", \"modo\": \"" +
                     (r.frameByFrame ? "quadro-a-quadro" : "tempo-real") +
                     "\", \"velocidade\": " + jsonNumber(r.speed);
  if (r.directed) {
    json += ", \"de\": " + jsonNumber(r.start) + ", \"ate\": " + jsonNumber(r.end) +
            ", \"pausas\": [";
    for (size_t i = 0; i < r.pauses.size(); ++i)
      json += std::string(i ? ", " : "") + "{\"seletor\": " + jsString(r.pauses[i].selector) +
              ", \"posicao\": " + jsonNumber(r.pauses[i].offset) +
              ", \"segundos\": " + jsonNumber(r.pauses[i].seconds) + "}";
    json += std::string("], \"ida_e_volta\": ") + (r.roundTrip ? "true" : "false") +
            ", \"suave\": " + jsonNumber(r.ease);
  }
  return json + "}";
}

int64_t fileSizeOrZero(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return 0;
  return static_cast<int64_t>(info.st_size);
}

std::string Vuzizeri::outPathInfo() const {
  return vuz::outPathInfo(args.outPath, fileSizeOrZero(args.outPath), lastPTS);
}

RunReport Vuzizeri::runReport() const {
  RunReport r;
  r.path = args.outPath;
  r.bytes = fileSizeOrZero(args.outPath);
  r.seconds = lastPTS;
  r.frames = framesWritten;
  r.frameByFrame = args.frameByFrame;
  r.speed = speed;
  if (!plan) return r;
  r.directed = true;
  const PlanShape& shape = plan->shape();
  r.start = shape.start;
  // Where the way down ended: the last reading, unless the page came back up
  // after it. A page that grew under the plan ended further than planned.
  r.end = !shape.roundTrip && lastOffset ? *lastOffset : shape.end;
  r.roundTrip = shape.roundTrip;
  r.ease = shape.ease;
  // The holds the scroll met (one per --pausa, in order), each with the
  // selector that placed it.
  const double low = std::min(shape.start, shape.end), high = std::max(shape.start, shape.end);
  for (size_t i = 0; i < shape.pauses.size() && i < args.pauses.size(); ++i)
    if (shape.pauses[i].offset >= low && shape.pauses[i].offset <= high)
      r.pauses.push_back({args.pauses[i].selector, shape.pauses[i].offset, shape.pauses[i].seconds});
  return r;
}

void Vuzizeri::terminar() {
  finishing_ = true;
  budget::stopRecording();
  tell(Progress::Phase::kFinishing);
  writer->markAsFinished();
  writer->finishWriting([this] {
    const auto [converting, encoding] = writer->encoderTimes();
    budget::write(framesWritten, converting, encoding);
    // A file that could not be completed is not a recording.
    std::string failure = writer->failure();
    if (!failure.empty()) {
      platform_.fail("falha ao finalizar: " + failure);
      return;
    }
    platform_.report(args.json ? jsonReport(runReport()) + "\n" : "ok " + outPathInfo() + "\n");
  });
}

void Vuzizeri::failUnlessWebProcessEnds(const std::string& message) {
  // WebKit may fail the scripts it was running a moment before it reports
  // that their process has ended; the end, not the silence, is what the
  // user must hear.
  platform_.asyncAfter(kWebProcessEndGraceSeconds, [this, message] { platform_.fail(message); });
}

void Vuzizeri::webProcessEnded() {
  if (finishing_) return;
  platform_.fail("o processo web terminou");
}

}  // namespace vuz
