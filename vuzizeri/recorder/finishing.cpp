#include "vuzizeri/report/report.h"

#include <glib.h>

#include <algorithm>
#include <cmath>

#include "vuzizeri/picture/captions.h"
#include "vuzizeri/recorder/frame_budget.h"
#include "vuzizeri/recorder/page_scripts.h"
#include "vuzizeri/recorder/page_shaping.h"
#include "vuzizeri/recorder/recorder.h"

namespace vuz {

std::string Vuzizeri::outPathInfo() const {
  return vuz::outPathInfo(args.outPath, fileSizeOrZero(args.outPath), videoSeconds());
}

RunReport Vuzizeri::runReport() const {
  RunReport r;
  r.path = args.outPath;
  r.bytes = fileSizeOrZero(args.outPath);
  r.seconds = videoSeconds();
  r.frames = framesWritten_;
  r.frameByFrame = args.frameByFrame;
  r.speed = speed_;
  if (story_) {
    r.storyboard = true;
    for (const StepTime& step : story_->times())
      r.steps.push_back({step.line, step.written, step.seconds});
    static const char* const kKinds[] = {"legenda", "titulo", "capitulo", "destaque", "narracao"};
    for (const Caption& c : withChapterEnds(story_->captions(), videoSeconds()))
      r.words.push_back({kKinds[static_cast<int>(c.kind)], c.text, c.from, c.to});
  }
  r.redacted = redacted_;
  if (const std::optional<Target>& t = args.target) {
    RunReport::TargetReport target{t->name, t->width, t->height, t->posterSeconds, 0, findings_};
    if (t->posterSeconds)
      target.posterFrame = std::clamp<int64_t>(std::llround(*t->posterSeconds * args.fps), 0,
                                               std::max<int64_t>(0, framesWritten_ - 1));
    r.target = target;
  }
  // A part's plan is the plain scroll's, unless the scroll was directed.
  if (!plan_ || !args.givesDirections()) return r;
  r.directed = true;
  const PlanShape& shape = plan_->shape();
  r.start = shape.start;
  // Where the way down ended: the last reading, unless the page came back up
  // after it. A page that grew under the plan ended further than planned.
  r.end = !shape.roundTrip && lastOffset_ ? *lastOffset_ : shape.end;
  r.roundTrip = shape.roundTrip;
  r.ease = shape.ease;
  // The holds the scroll met (one per --pausa, in order), each with the
  // selector that placed it.
  const double low = std::min(shape.start, shape.end), high = std::max(shape.start, shape.end);
  for (size_t i = 0; i < shape.pauses.size() && i < args.pauses.size(); ++i)
    if (shape.pauses[i].offset >= low && shape.pauses[i].offset <= high)
      r.pauses.push_back(
          {args.pauses[i].selector, shape.pauses[i].offset, shape.pauses[i].seconds});
  return r;
}

void Vuzizeri::terminar() {
  finishing_ = true;
  // What was covered is counted while the page is still there.
  if ((!args.redact.empty() || !args.redactText.empty()) && !redacted_) {
    std::vector<JsonValue> selectors(args.redact.begin(), args.redact.end());
    runScript(kRedactionCountScript, JsonValue::object({{"selectors", JsonValue::list(selectors)}}),
              [this](std::optional<web::ScriptValue> counts) {
                redacted_ = {0, 0};
                if (counts && counts->isArray() && counts->elements.size() == 2 &&
                    counts->elements[0].isNumber() && counts->elements[1].isNumber())
                  redacted_ = {static_cast<int64_t>(counts->elements[0].number),
                               static_cast<int64_t>(counts->elements[1].number)};
                terminar();
              });
    return;
  }
  budget::stopRecording();
  tell(Progress::Phase::kFinishing);
  writer->markAsFinished();
  if (story_) {
    // A chapter track's first chapter starts with the movie: the time before
    // the storyboard's first is a chapter of its own.
    bool first = true;
    for (const Caption& c : withChapterEnds(story_->captions(), videoSeconds())) {
      if (c.kind != Caption::Kind::kChapter) continue;
      // In real time a storyboard's first moment comes a frame or so in.
      const double from = first && c.from < kOpeningChapterSeconds ? 0 : c.from;
      if (first && from > 0) writer->addChapter(kOpeningChapter, 0, from);
      first = false;
      writer->addChapter(c.text, from, c.to);
    }
  }
  writer->finishWriting([this] {
    const auto [converting, encoding] = writer->encoderTimes();
    budget::write(framesWritten_, converting, encoding);
    // A file that could not be completed is not a recording.
    std::string failure = writer->failure();
    if (!failure.empty()) {
      platform_.fail("falha ao finalizar: " + failure);
      return;
    }
    if (!writeCaptions()) return;
    // A target's file is measured as the store will measure it.
    if (args.target && platform_.checkTarget) findings_ = platform_.checkTarget(args.outPath);
    // A file that breaks them is never reported as ok.
    const std::string line = args.json           ? jsonReport(runReport()) + "\n"
                             : findings_.empty() ? "ok " + outPathInfo() + "\n"
                                                 : "fora do destino: " + outPathInfo() + "\n";
    if (!findings_.empty() && platform_.reportBroken)
      platform_.reportBroken(line, findings_);
    else
      platform_.report(line);
  });
}

bool Vuzizeri::writeCaptions() {
  if (args.captionsFile.empty() || !story_) return true;
  std::string lower = args.captionsFile;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  const std::string text = cueFile(story_->captions(), lower.ends_with(".vtt"));
  // Written whole beside its place and moved there, as the video is.
  g_autoptr(GError) error = nullptr;
  if (!g_file_set_contents(args.captionsFile.c_str(), text.data(), static_cast<gssize>(text.size()),
                           &error)) {
    platform_.fail("não gravou as legendas: " + std::string(error->message));
    return false;
  }
  return true;
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
