#include "vuzizeri/recorder/start_sequence.h"

#include <algorithm>
#include <cmath>

#include "vuzizeri/picture/top_colours.h"
#include "vuzizeri/recorder/length_window.h"
#include "vuzizeri/recorder/page_scripts.h"
#include "vuzizeri/recorder/recorder.h"
#include "vuzizeri/recorder/scripts.h"
#include "vuzizeri/scroll/scroll_plan.h"

namespace vuz {

std::optional<double> acceptedHeight(const std::optional<web::ScriptValue>& result) {
  if (!result || !result->isNumber()) return std::nullopt;
  double height = result->number;
  if (!(height > 0)) return std::nullopt;  // 0, negative, NaN
  return height;
}

void Vuzizeri::webViewDidFinish() {
  // A reload or a redirect by script finishes another navigation; one
  // recording per run, so only the first starts anything.
  if (started_) return;
  started_ = true;
  beat();
  shapePage([this] {
    preload([this] {
      runStepsBefore([this] {
        beat();
        tell(Progress::Phase::kWaiting);
        platform_.asyncAfter(kStartDelaySeconds, [this] { comecar(); });
      });
    });
  });
}

void Vuzizeri::webViewDidFail(const std::string& reason) {
  // Later navigations (a reload, a link) may fail; the page is still there,
  // unless the storyboard was leaving it.
  if (!started_) {
    platform_.fail("a página não carregou: " + reason);
    return;
  }
  for (StoryboardRun* run : {beforeStory_.get(), story_.get()})
    if (run) run->navigationFailed(reason);
}

void Vuzizeri::comecar() {
  waitForFonts(platform_.now() + kFontWaitSeconds, [this] {
    directScroll([this] { amostrarCorDoTopo([this] { medirEComecar(); }); });
  });
}

void Vuzizeri::waitForFonts(double deadline, std::function<void()> then) {
  // Text drawn in a fallback face first would give the band, and the first
  // frames, colours and shapes the page does not have.
  runScript(
      kFontsStatusScript, JsonValue::object({}),
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
  // The page's own script, whose failure is only "no height".
  platform_.web->evaluateJavaScript(
      kHeightScript, [this](web::ScriptAnswer result) { handleHeight(result.value); });
}

void Vuzizeri::handleHeight(const std::optional<web::ScriptValue>& result) {
  std::optional<double> height = acceptedHeight(result);
  if (!height) {
    // No answer at all may mean the web process is gone.
    if (!result)
      failUnlessWebProcessEnds("página sem altura");
    else
      platform_.fail("página sem altura");
    return;
  }
  pageHeight_ = *height;
  double velocidade = scrollSpeed(*height, args.contentH);
  if (args.storyboard) {
    velocidade = storySpeed();
    story_ = makeStory(args.zoomOnTouches
                           ? withAutomaticZoom(args.storyboard->filmed, *args.zoomOnTouches)
                           : args.storyboard->filmed,
                       true);
  }
  plan_ = makePlan(&velocidade);
  if (args.directsScroll() && !plan_) return;  // refused
  if (args.part && !choosePart()) return;
  speed_ = velocidade;
  prepararWriter();
  if (!writer) return;
  driver_->start(velocidade, plan_ ? &*plan_ : nullptr);
}

void Vuzizeri::directScroll(std::function<void()> then) {
  if (!args.directsScroll()) {
    then();
    return;
  }
  const std::vector<std::string> selectors = planSelectors(args);
  runScript(
      kPlanMarksScript,
      JsonValue::object({{"selectors", JsonValue::list(std::vector<JsonValue>(selectors.begin(),
                                                                              selectors.end()))}}),
      [this, count = selectors.size(),
       then = std::move(then)](std::optional<web::ScriptValue> answer) mutable {
        marks_ = readPlanMarks(answer, count);
        if (!marks_) {
          if (!answer)
            failUnlessWebProcessEnds("a página não respondeu onde estão --de, --ate e --pausa");
          else
            platform_.fail("a página respondeu sem sentido onde estão --de, --ate e --pausa");
          return;
        }
        const std::string unmatched = unmatchedSelector(args, *marks_);
        if (!unmatched.empty()) {
          platform_.fail(unmatched);
          return;
        }
        startOffset_ = marks_->offset;
        if (std::optional<double> start = planStart(args, *marks_))
          goToStart(*start, std::move(then));
        else
          then();
      });
}

void Vuzizeri::goToStart(double offset, std::function<void()> then) {
  beat();
  runScript(kGoToScript, JsonValue::object({{"offset", offset}}),
            [this, then = std::move(then)](std::optional<web::ScriptValue> at) mutable {
              if (at && at->isNumber() && std::isfinite(at->number)) startOffset_ = at->number;
              // The top colours come from the view's picture at the start.
              waitForPicture(kStartPictureWait, std::move(then));
            });
}

std::optional<ScrollPlan> Vuzizeri::makePlan(double* velocidade) {
  if (!marks_) return std::nullopt;
  // Without --velocidade, the plain scroll's rule over the stretch run.
  const double distance = std::abs(planEnd(args, *marks_) - startOffset_);
  *velocidade = args.speed.value_or(std::max(kMinimumSpeed, distance / kScrollTimeCap));
  PlanShape shape = planShape(args, *marks_, startOffset_, *velocidade);
  // A length asked for, or a target's window, times the scroll.
  if (args.duration)
    shape = timedShape(shape, marks_->pageEnd, args.fps, lengthWindow(*args.duration, args.fps));
  else if (args.target)
    shape = timedShape(shape, marks_->pageEnd, args.fps, lengthWindow(*args.target));
  *velocidade = shape.speed;
  ScrollPlan made(shape);
  // In real time the whole run has two minutes: a scroll that cannot end
  // within them is refused now rather than cut by the limit.
  const double needed =
      made.duration(marks_->pageEnd) + endReadings(args.fps) * captureInterval(args.fps);
  auto seconds = [](double s) {
    return std::to_string(static_cast<int64_t>(std::ceil(std::min(s, 1e15))));
  };
  if (!args.frameByFrame && platform_.deadline > 0 &&
      platform_.now() + needed + kFinishingAllowance > platform_.deadline) {
    platform_.fail("a rolagem levaria " + seconds(needed) +
                   " s e não cabe nos 2 minutos da gravação em tempo real; grave com "
                   "--quadro-a-quadro, que não tem esse limite");
    return std::nullopt;
  }
  if (needed > kMaxVideoSeconds) {
    platform_.fail("a rolagem daria um vídeo de " + seconds(needed) + " s; o limite é " +
                   seconds(kMaxVideoSeconds) + " s (confira --velocidade e --pausa)");
    return std::nullopt;
  }
  return made;
}

bool Vuzizeri::choosePart() {
  // Every part measures the page itself, so that parts of another page, or
  // of a page that changed, are told apart when they are joined.
  const int64_t total = framesOf(*plan_, plan_->shape().end, args.fps);
  const FrameRange range = partFrames(total, args.part->index, args.part->count);
  const std::string which =
      std::to_string(args.part->index) + "/" + std::to_string(args.part->count);
  if (range.end <= range.first) {
    platform_.fail("--trecho " + which + " ficaria sem quadros: a gravação inteira tem " +
                   std::to_string(total) + " quadros, então N vai até " + std::to_string(total));
    return false;
  }
  part_ = PartLabel{args.part->index, args.part->count, args.part->recording, range, total};
  return true;
}

void Vuzizeri::rolar(double velocidade) {
  platform_.web->evaluateJavaScript(scrollScript(velocidade), nullptr);
}

void Vuzizeri::amostrarCorDoTopo(std::function<void()> then) {
  if (bandPx < 1) {
    then();
    return;
  }
  platform_.web->takeSnapshot(snapshotWidthPoints(),
                              [this, then = std::move(then)](graphics::ImageRef image) {
                                if (image) {
                                  if (auto colours = coresDoTopo(*image)) {
                                    bandCols.assign(colours->size(), 0.0);
                                    for (size_t i = 0; i < colours->size(); ++i)
                                      bandCols[i] = (*colours)[i] / 255.0;
                                  }
                                }
                                then();
                              });
}

}  // namespace vuz
