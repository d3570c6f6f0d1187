#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graphics/image.h"
#include "platform/web/web_view.h"
#include "vuzizeri/arguments.h"
#include "vuzizeri/recording_writer.h"

namespace vuz {

// What a person watching the run is told, after each step of it.
struct Progress {
  enum class Phase { kWaiting, kRecording, kFinishing };
  Phase phase = Phase::kWaiting;
  int64_t frames = 0;          // snapshots taken while recording
  double seconds = 0;          // of video so far
  int64_t distinctFrames = 0;  // of those, the ones unlike the snapshot before
  double scrolled = 0;         // of the way to the page's end, 0 to 1
};

// The platform as the recorder sees it. In the program these are the main
// loop, the monotonic clock, the WebKit view and the MP4 writer; in tests,
// fakes.
struct Platform {
  web::WebView* web = nullptr;
  std::function<double()> now;
  std::function<void(double seconds, std::function<void()> work)> asyncAfter;
  WriterFactory openWriter;
  // Ends the run with status 1. The program's never returns; a test's may,
  // so every caller returns right after it.
  std::function<void(std::string_view message)> fail;
  // Writes the report line and ends the run with status 0. Called from the
  // writer's thread.
  std::function<void(const std::string& line)> report;
  // Told of every step and frame, for a progress line. Empty when nobody is
  // watching: the recorder then keeps no count and no earlier snapshot.
  std::function<void(const Progress&)> progress = nullptr;
};

// One recording: the page is loaded, sampled, measured, scrolled and
// captured frame by frame into the movie. Every method runs on the main
// thread, one step at a time, each started by the completion of the one
// before.
class Vuzizeri {
 public:
  Vuzizeri(const Arguments& arguments, const PixelSizes& sizes, Platform platform);

  // Start sequence.
  void webViewDidFinish();
  void comecar();
  void medirEComecar();
  void rolar(double velocidade);
  // Top colours.
  void amostrarCorDoTopo(std::function<void()> then);
  // Capture loop.
  void capturar();
  // Frame composition.
  void gravarQuadro(const graphics::Image& image);
  // Writer set-up and finishing.
  void prepararWriter();
  void terminar();
  std::string outPathInfo() const;
  // The web process is gone: the run fails, unless the file is already
  // being finished, which no longer needs the page.
  void webProcessEnded();

  // Fixed at creation.
  const Arguments args;
  const int64_t pxW, pxH, bandPx, contentPx;
  const double bandEase = 0.12;
  const int bandBlur = 4;

  // Recording state.
  std::unique_ptr<RecordingWriter> writer;
  double t0 = 0.0;
  double lastPTS = -1.0;
  int64_t fundo = 0;
  std::vector<double> bandCols;

 private:
  double snapshotWidthPoints() const;
  void handleHeight(const std::optional<web::ScriptValue>& result);
  void handlePosition(double iterationStart, const std::optional<web::ScriptValue>& result);
  void updateBandColours(const graphics::Image& image);

  void tell(Progress::Phase phase);

  Platform platform_;
  bool started_ = false;
  bool finishing_ = false;
  Progress progress_;
  graphics::ImageRef previousSnapshot_;
};

}  // namespace vuz
