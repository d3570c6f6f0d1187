#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/web/script_value.h"
#include "vuzizeri/picture/captions.h"
#include "vuzizeri/picture/pickers.h"
#include "vuzizeri/picture/touches.h"
#include "vuzizeri/report/json.h"
#include "vuzizeri/storyboard/storyboard.h"

// The storyboard's steps, a row each: the word, what follows it, the line of
// help, how the rest of the line is read, and the step as it runs. A new
// step is a row of kStepKinds and a class of its own.
namespace vuz {

// What a running step may do with the run it is part of (storyboard_run.h).
class StepContext {
 public:
  using Answer = std::optional<web::ScriptValue>;
  virtual ~StepContext() = default;

  // The step, and the moment asked about: its time on the run's clock, where
  // the page stands, its end (CSS px), the view's height.
  virtual const StoryStep& step() const = 0;
  virtual double seconds() const = 0;
  virtual double offset() const = 0;
  virtual double pageEnd() const = 0;
  virtual double viewHeight() const = 0;

  // The page's side: scripts/storyboard_step.js with `arguments`, whether a
  // match of a selector shows in the view, a wait of wall time, a
  // navigation begun (true) or done (false).
  virtual void act(const JsonValue& arguments, std::function<void(Answer)> then) = 0;
  virtual void visible(const std::string& selector, std::function<void(Answer)> then) = 0;
  virtual void after(double seconds, std::function<void()> then) = 0;
  virtual void navigating(bool leaving) = 0;

  // A move of the page to `target`, at the run's speed; the step goes on
  // once it is over.
  virtual void moveTo(double target) = 0;
  // This moment's part again, now that an answer has come.
  virtual void proceed() = 0;
  // The step is over (the next begins at this moment), or holds to the next.
  virtual void ended() = 0;
  virtual void holdUntilNext() = 0;
  // Ends the run, naming the step's line.
  virtual void refuse(const std::string& reason) = 0;
  // A find's refusals ('none', 'boxless', 'invalid', 'outside', no answer)
  // as the message's end; empty when the answer is something else.
  virtual std::string refusal(const Answer& answer) const = 0;
  // A finger came down, and the step's time is when it did.
  virtual void touched(const Touch& touch) = 0;
  // A key typed at `seconds`, for the on-screen keyboard to show.
  virtual void keyPressed(const std::string&, double) {}
  // A picker opens over the page; the one open now, or nullptr.
  virtual void openPicker(const Picker& picker) = 0;
  virtual Picker* openPicker() = 0;
  // Words to show on the screen.
  virtual void show(const Caption& caption) = 0;
  // The camera as a zoom step last set it; while it is zoomed in, an
  // element is not moved into view: the camera is moved to it.
  virtual const Camera& camera() const = 0;
  virtual void setCamera(const Camera& camera) = 0;
};

// A step under way, with its own state.
class ActiveStep {
 public:
  virtual ~ActiveStep() = default;
  // The step's first moment.
  virtual void begin(StepContext& run) = 0;
  // Each moment after, once any move it asked for is over.
  virtual void goOn(StepContext& run) = 0;
  // Whether the moment a move ends is held before the step goes on (a tap
  // comes once the page stands where the move put it).
  virtual bool holdsAfterMove() const { return false; }
  // A navigation failed: the step that was waiting for it fails.
  virtual void navigationFailed(StepContext&, const std::string&) {}
};

struct StepKind {
  std::string_view word;
  std::string_view syntax;  // what follows the word, as the help shows it
  std::string_view help;    // what it does, in a line
  // Reads the rest of the line into `step`; the refusal's reason, or empty.
  std::string (*read)(const std::string& rest, const Environment& environment, StoryStep& step);
  std::unique_ptr<ActiveStep> (*start)();
  // What follows the word, as the schema's regular expression of it; empty
  // for any text.
  std::string_view pattern = {};
};

extern const std::vector<StepKind> kStepKinds;

// The row whose word is `word`, or nullptr.
const StepKind* stepNamed(std::string_view word);
// The words, as a refusal lists them: "rolar-ate, rolar, …, ir ou antes".
std::string stepWords();
// A line of help for each step, as --help prints them.
std::string stepsHelp();
// The storyboard's grammar as a JSON Schema (2020-12) of its lines: a list
// of strings, each a step of the table above (its word, its arguments and
// what it does, in its description), "antes", a comment or blank. It says
// which words there are and how each is written; the recorder's own check
// of a storyboard is the last word on each line's arguments.
std::string storyboardSchema();

// --zoom-automatico: the camera zooms `factor` times on the touches (tocar,
// tocar-longo, deslizar, digitar, escolher) that come within kIdleSeconds
// of each other, centred on what they touch, from before the first; out
// once nothing is touched for kIdleSeconds, before a step that moves or
// waits for the page, or at the end.
inline constexpr double kIdleSeconds = 1.5;
std::vector<StoryStep> withAutomaticZoom(std::vector<StoryStep> steps, double factor);

// How many of `count` keys are typed `elapsed` seconds after the first.
size_t keysDue(double elapsed, size_t count);

// Where a tap's move puts the page so that an element `height` px high,
// whose top is at `top` on the page, shows whole (centred in a view
// `viewHeight` high; its top when it is taller), within [0, pageEnd].
double tapScrollTarget(double top, double height, double viewHeight, double pageEnd);

// Whether an element whose top is `viewTop` px into the view shows whole.
bool showsWhole(double viewTop, double height, double viewHeight);

}  // namespace vuz
