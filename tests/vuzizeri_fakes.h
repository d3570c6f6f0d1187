#pragma once

// Fakes of the platform for driving the recorder's steps without a display:
// a web view whose answers the test scripts, a manual clock and main queue,
// and a writer that keeps what it is given.

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/media/pixel_buffer.h"
#include "vuzizeri/recorder.h"

namespace vuz::testing {

// fail() in the program never returns; here it throws, so a test can see
// the message and the step stops where the program would have stopped.
struct Failed : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class FakeWebView : public web::WebView {
 public:
  struct ScriptCall {
    std::string script;
    web::ScriptCompletion completion;
  };
  std::vector<std::string> scripts;                  // every script, in order
  std::deque<ScriptCall> pendingScripts;              // those with a completion
  std::deque<web::SnapshotCompletion> pendingSnapshots;
  std::vector<double> snapshotWidths;
  double scaleFactor = 3;

  void evaluateJavaScript(const std::string& script, web::ScriptCompletion completion) override {
    scripts.push_back(script);
    if (completion) pendingScripts.push_back({script, std::move(completion)});
  }
  void takeSnapshot(double widthPoints, web::SnapshotCompletion completion) override {
    snapshotWidths.push_back(widthPoints);
    pendingSnapshots.push_back(std::move(completion));
  }
  double backingScaleFactor() const override { return scaleFactor; }

  void answerScript(std::optional<web::ScriptValue> value) {
    if (pendingScripts.empty()) throw std::logic_error("no script is waiting for an answer");
    auto call = std::move(pendingScripts.front());
    pendingScripts.pop_front();
    call.completion(std::move(value));
  }
  void answerSnapshot(graphics::ImageRef image) {
    if (pendingSnapshots.empty()) throw std::logic_error("no snapshot is waiting");
    auto completion = std::move(pendingSnapshots.front());
    pendingSnapshots.pop_front();
    completion(std::move(image));
  }
};

struct AppendedFrame {
  media::MediaTime time;
  std::vector<uint8_t> pixels;  // width × 4 per row, no padding
};

class FakeWriter : public RecordingWriter {
 public:
  FakeWriter(int width, int height) : pool_(width, height) {}
  std::vector<AppendedFrame>* appended = nullptr;
  bool* finished = nullptr;
  bool ready = true;
  std::string failureText;

  media::PixelBufferHandle createPixelBuffer() override { return pool_.createPixelBuffer(); }
  bool isReadyForMoreMediaData() override { return ready; }
  void append(media::PixelBufferHandle buffer, media::MediaTime time) override {
    AppendedFrame frame{time, {}};
    for (int y = 0; y < buffer->height(); ++y) {
      const uint8_t* row = buffer->baseAddress() + y * buffer->bytesPerRow();
      frame.pixels.insert(frame.pixels.end(), row, row + 4 * buffer->width());
    }
    appended->push_back(std::move(frame));
  }
  void markAsFinished() override {}
  void finishWriting(std::function<void()> completion) override {
    *finished = true;
    completion();
  }
  std::string failure() override { return failureText; }

 private:
  media::PixelBufferPool pool_;
};

// A recorder wired to fakes, with a clock and a main queue the test drives.
class Rig {
 public:
  explicit Rig(const std::vector<std::string>& commandLine) {
    ParseResult parsed = parseArguments(commandLine);
    if (!parsed.arguments) throw std::invalid_argument("refused command line");
    Platform p;
    p.web = &web;
    p.now = [this] { return clock; };
    p.asyncAfter = [this](double s, std::function<void()> w) {
      delays.push_back(s);
      queue.push_back(std::move(w));
    };
    p.openWriter = [this](const H264Request& request) -> std::unique_ptr<RecordingWriter> {
      requests.push_back(request);
      if (refuseWriter) return nullptr;
      auto writer = std::make_unique<FakeWriter>(static_cast<int>(request.width),
                                                 static_cast<int>(request.height));
      writer->appended = &frames;
      writer->finished = &finished;
      liveWriter = writer.get();
      return writer;
    };
    p.fail = [](std::string_view message) { throw Failed(std::string(message)); };
    p.report = [this](const std::string& line) { reports.push_back(line); };
    recorder = std::make_unique<Vuzizeri>(*parsed.arguments, *pixelSizes(*parsed.arguments),
                                          std::move(p));
  }

  // Runs the oldest queued call.
  void runQueued() {
    if (queue.empty()) throw std::logic_error("nothing is queued");
    auto work = std::move(queue.front());
    queue.pop_front();
    work();
  }

  FakeWebView web;
  double clock = 1000.0;
  std::deque<std::function<void()>> queue;
  std::vector<double> delays;
  std::vector<H264Request> requests;
  std::vector<AppendedFrame> frames;
  std::vector<std::string> reports;
  bool finished = false;
  bool refuseWriter = false;
  FakeWriter* liveWriter = nullptr;
  std::unique_ptr<Vuzizeri> recorder;
};

// A solid image of the given BGRA colour.
inline graphics::ImageRef solidImage(int width, int height, uint8_t b, uint8_t g, uint8_t r,
                                     uint8_t a = 255) {
  std::vector<uint8_t> pixels(4 * static_cast<size_t>(width) * height);
  for (size_t i = 0; i < pixels.size(); i += 4) {
    pixels[i] = b;
    pixels[i + 1] = g;
    pixels[i + 2] = r;
    pixels[i + 3] = a;
  }
  return graphics::Image::fromPixels(width, height, pixels.data(), 4 * width);
}

inline web::ScriptValue numbers(std::vector<double> values) {
  std::vector<web::ScriptValue> elements;
  for (double v : values) elements.push_back(web::ScriptValue::ofNumber(v));
  return web::ScriptValue::ofArray(std::move(elements));
}

}  // namespace vuz::testing
