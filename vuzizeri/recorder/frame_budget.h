#pragma once

#include <string>

// Where a recording's time goes, for bench/frame_budget.sh: the wall time of
// each step of a frame on the main thread, added up over the run, and the
// main thread's processor time. Kept only when VUZIZERI_ORCAMENTO names a
// file, which gets one line of figures when the movie is finished.
namespace vuz::budget {

enum class Phase {
  kStep,      // frame by frame: the step script, sent to answered
  kPicture,   // the step's answer to the picture that shows it
  kArrivals,  // frame by frame: waiting for what the frame shows to arrive
  kDraw,      // the view drawn into the frame's buffer
  kCompose,   // the band and the rows moved up
  kAppend,    // handing the frame to the encoder, waiting when it is behind
  kPosition,  // real time: the position script, sent to answered
  kCount
};

// Whether figures are kept; checked once.
bool enabled();
void add(Phase phase, double seconds);
// One more frame with a header or tab bar the recorder drew back itself.
void countLiftedFrame();
// The main thread's processor time between these two is counted; both are
// called on the main thread.
void startRecording();
void stopRecording();
// Writes the line, from any thread: each phase's total seconds, the frames,
// the main thread's processor seconds, the frames with lifted layers drawn
// back, and the encoder thread's own figures.
void write(long long frames, double convertSeconds, double encodeSeconds);

// Adds the time from its creation to its end to `phase`.
class Span {
 public:
  explicit Span(Phase phase);
  ~Span();
  Span(const Span&) = delete;
  Span& operator=(const Span&) = delete;

 private:
  Phase phase_;
  double start_;
};

// The monotonic clock, for spans that end in another callback.
double now();

}  // namespace vuz::budget
