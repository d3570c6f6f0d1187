#pragma once

// Fakes of the platform for driving the recorder's steps without a display:
// a web view whose answers the test gives, a manual clock and main queue,
// and a writer that keeps the frames it is given.

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/media/pixel_buffer.h"
#include "vuzizeri/capture/capture_drivers.h"
#include "vuzizeri/recorder/recorder.h"

namespace vuz::testing {

// fail() in the program never returns; here it throws, so a test can see
// the message and the step stops where the program would have stopped.
struct Failed : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A solid image of the given BGRA colour.
inline graphics::ImageRef solidImage(int width, int height, uint8_t b, uint8_t g, uint8_t r) {
  const uint32_t argb = 0xFF000000u | uint32_t{r} << 16 | uint32_t{g} << 8 | b;
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, argb);
  return graphics::Image::fromPixels(width, height, reinterpret_cast<uint8_t*>(pixels.data()),
                                     4 * width);
}

inline web::ScriptValue numbers(std::vector<double> values) {
  std::vector<web::ScriptValue> elements;
  for (double v : values) elements.push_back(web::ScriptValue::ofNumber(v));
  return web::ScriptValue::ofArray(std::move(elements));
}

// The oldest call waiting in `pending`, taken off it.
template <typename Call>
Call takeFirst(std::deque<Call>& pending) {
  if (pending.empty()) throw std::logic_error("nothing is waiting");
  Call call = std::move(pending.front());
  pending.pop_front();
  return call;
}

class FakeWebView : public web::WebView {
 public:
  std::vector<std::string> scripts;                  // every script, in order
  std::deque<web::ScriptCompletion> pendingScripts;  // those waiting for an answer
  std::deque<web::SnapshotCompletion> pendingSnapshots;
  std::vector<double> snapshotWidths;

  void evaluateJavaScript(const std::string& script, web::ScriptCompletion completion) override {
    scripts.push_back(script);
    if (completion) pendingScripts.push_back(std::move(completion));
  }
  void evaluateInOwnWorld(const std::string& script, web::ScriptCompletion completion) override {
    evaluateJavaScript("[own world] " + script, std::move(completion));
  }
  void runInOwnWorld(const std::string& script, std::function<void(const std::string&)>) override {
    evaluateJavaScript("[own world] " + script, nullptr);
  }
  void runPageScript(const std::string&, web::ScriptCompletion) override {
    throw std::logic_error("no step test gives a page script");
  }
  void takeSnapshot(double widthPoints, web::SnapshotCompletion completion,
                    const web::SnapshotTarget& = {}) override {
    snapshotWidths.push_back(widthPoints);
    pendingSnapshots.push_back(std::move(completion));
  }
  void takeSnapshotOverNothing(double widthPoints, web::SnapshotCompletion completion) override {
    takeSnapshot(widthPoints, std::move(completion));
  }
  double backingScaleFactor() const override { return 3; }
  void setNewPictureHandler(std::function<void()> handler) override {
    newPicture = std::move(handler);
  }

  void answerScript(std::optional<web::ScriptValue> value) {
    takeFirst(pendingScripts)({std::move(value), std::nullopt});
  }
  void throwFromScript(std::string message) {
    takeFirst(pendingScripts)({std::nullopt, std::move(message)});
  }
  void answerSnapshot(graphics::ImageRef image) { takeFirst(pendingSnapshots)(image); }
  std::function<void()> newPicture;  // shows a new picture of the page
};

struct AppendedFrame {
  media::MediaTime time;
  std::vector<uint8_t> pixels;  // width × 4 per row, no padding
};

class FakeWriter : public RecordingWriter {
 public:
  FakeWriter(int width, int height, std::vector<AppendedFrame>& frames)
      : pool_(width, height), frames_(frames) {}
  bool ready = true;
  std::string failureText;
  bool finishing = false;
  bool holdFinish = false;  // keeps the completion in heldFinish, for the test to call
  std::function<void()> heldFinish;

  media::PixelBufferHandle createPixelBuffer() override { return pool_.createPixelBuffer(); }
  bool isReadyForMoreMediaData() override { return ready; }
  bool append(media::PixelBufferHandle buffer, media::MediaTime time) override {
    if (!failureText.empty()) return false;
    AppendedFrame& frame = frames_.emplace_back(AppendedFrame{time, {}});
    for (int y = 0; y < buffer->height(); ++y) {
      const uint8_t* row = buffer->baseAddress() + y * buffer->bytesPerRow();
      frame.pixels.insert(frame.pixels.end(), row, row + 4 * buffer->width());
    }
    return true;
  }
  void markAsFinished() override {}
  void finishWriting(std::function<void()> completion) override {
    finishing = true;
    if (holdFinish)
      heldFinish = std::move(completion);
    else
      completion();
  }
  std::string failure() override { return failureText; }

 private:
  media::PixelBufferPool pool_;
  std::vector<AppendedFrame>& frames_;
};

// A recorder wired to fakes, with a clock and a main queue the test drives.
class Rig {
 public:
  explicit Rig(const std::vector<std::string>& commandLine) {
    ParseResult parsed = parseArguments(commandLine);
    if (!parsed.arguments) throw std::invalid_argument("refused command line");
    Platform platform{
        &web,
        [this] { return clock; },
        [this](double seconds, std::function<void()> work) {
          delays.push_back(seconds);
          queue.push_back(std::move(work));
        },
        [this](const MovieRequest& request, std::string*) -> std::unique_ptr<RecordingWriter> {
          requests.push_back(request);
          if (refuseWriter) return nullptr;
          auto writer = std::make_unique<FakeWriter>(request.width, request.height, frames);
          liveWriter = writer.get();
          return writer;
        },
        [](std::string_view message) { throw Failed(std::string(message)); },
        [this](const std::string& line) { reports.push_back(line); }};
    recorder = std::make_unique<Vuzizeri>(*parsed.arguments, *pixelSizes(*parsed.arguments),
                                          std::move(platform), captureDriverFor);
  }

  // Answers the height script: the writer opens, the page scrolls and the
  // first snapshot is asked for.
  void startRecording(double pageHeight) {
    recorder->medirEComecar();
    web.answerScript(web::ScriptValue::ofNumber(pageHeight));
  }

  // One capture iteration that took `seconds`: its snapshot (a white phone
  // page unless given) and its position reading; then a new picture of the
  // page, which starts the next iteration.
  void iterate(double seconds, std::optional<web::ScriptValue> position,
               graphics::ImageRef snapshot = nullptr) {
    clock += seconds;
    web.answerSnapshot(snapshot ? snapshot : solidImage(1170, 2391, 255, 255, 255));
    web.answerScript(std::move(position));
    web.newPicture();
  }

  void runQueued() { takeFirst(queue)(); }

  FakeWebView web;
  double clock = 1000.0;
  std::deque<std::function<void()>> queue;
  std::vector<double> delays;
  std::vector<MovieRequest> requests;
  std::vector<AppendedFrame> frames;
  std::vector<std::string> reports;
  bool refuseWriter = false;
  FakeWriter* liveWriter = nullptr;
  std::unique_ptr<Vuzizeri> recorder;
};

}  // namespace vuz::testing
