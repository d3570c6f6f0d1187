#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

// --roteiro: a storyboard of steps, one a line, run in order in place of the
// plain scroll. Parsed and checked whole before the page is loaded; the
// selectors are checked by the page when their step comes.
namespace vuz {

struct StepKind;  // a row of the step table (steps.h)

struct StoryStep {
  enum class Target { kElement, kEnd, kTop };

  const StepKind* kind = nullptr;
  int line = 0;  // in the file, from 1
  // What the line gives the step, each step taking what it needs.
  Target target = Target::kElement;
  std::string selector;
  double number = 0;      // rolar's CSS px, pausa's and tocar-longo's seconds
  double dx = 0, dy = 0;  // deslizar's travel, CSS px
  // digitar's text with every $NOME taken from the environment, ir's URL.
  std::string text;
  // digitar's text holds a value from the environment: its keys never pop up.
  bool secret = false;
  // A zoom's further elements, the camera centred on them all with the
  // first (--zoom-automatico).
  std::vector<std::string> region;
  // The line as written (digitar's $NOME unexpanded): what the report and
  // every message show, so that a password never gets into either.
  std::string written;
};

struct Storyboard {
  std::vector<StoryStep> before;  // above `antes`: run before the recording starts
  std::vector<StoryStep> filmed;
};

// How long the steps take that are not moves or holds, and how long a wait
// or a navigation may last.
inline constexpr double kTapSeconds = 0.15;
inline constexpr double kKeySeconds = 0.1;  // ten keys a second
inline constexpr double kSwipeSeconds = 0.3;
inline constexpr double kTouchMovesPerSecond = 60;
inline constexpr double kZoomSeconds = 0.4;
inline constexpr double kMinZoom = 1.25, kMaxZoom = 4;
inline constexpr double kAutomaticZoom = 2;  // --zoom-automatico without a factor
inline constexpr double kWaitLimitSeconds = 30;

// Looks a name up in the environment; nothing when it is not set.
using Environment = std::function<std::optional<std::string>(const std::string& name)>;

// --textos: each {chave}'s text in the run's language.
using Texts = std::map<std::string, std::string>;

// The storyboard in `text`, each line read by its step's row of the table;
// nothing, with "linha N: reason" in `message`, when a line is not a step
// or a number is out of bounds. With `texts`, each {chave} in the words of
// a step that shows, types or says them is its text there, and one that is
// not there is refused.
std::optional<Storyboard> parseStoryboard(const std::string& text, const Environment& environment,
                                          std::string* message, const Texts* texts = nullptr);

// digitar's text as the keys typed: one UTF-8 character each (a byte that
// is not UTF-8 is a key of its own).
std::vector<std::string> keysOf(const std::string& text);

}  // namespace vuz
