#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/graphics/image.h"
#include "platform/media/pixel_buffer.h"
#include "platform/web/web_view.h"
#include "vuzizeri/picture/still_parts.h"
#include "vuzizeri/recorder/page_script.h"
#include "vuzizeri/recorder/progress.h"
#include "vuzizeri/report/part_labels.h"

namespace vuz {

class ScrollPlan;
class StoryboardRun;
class WallClockStory;

// A frame whose page is in place (drawn, its rows moved up, the touches on
// it) and whose band, phone and handing over are still to come: it can be
// made while the page works on the next one, and dropped if it turns out to
// be taken too soon.
struct PreparedFrame {
  media::PixelBufferHandle buffer;
  double seconds = 0;
  // The page's top colours and opacities as the picture had them.
  std::optional<std::vector<uint8_t>> topColours;
  std::vector<uint8_t> topAlphas;
  // Whether a header or tab bar the page left out was drawn back.
  bool layersDrawn = false;
};

// What a capture driver reads of the run, fixed at its start.
struct CaptureSettings {
  int fps = 60;
  int64_t contentH = 0;     // CSS px: the web view's height
  int64_t pxW = 0;          // the screen's width in the video's pixels
  int64_t contentPx = 0;    // the page area's rows in the video
  double rowsPerCss = 1.0;  // rows of the page area per CSS pixel
  bool frameByFrame = false;
  // Frame by frame, headers and tab bars lifted out of the page's painting.
  bool liftLayers = false;
  // A storyboard's video is held at its end until it is this long.
  double shortestSeconds = 0;
};

// The recording as a capture driver sees it: the few steps it drives, and
// nothing of the recorder's own state.
class CaptureHost {
 public:
  virtual ~CaptureHost() = default;

  virtual const CaptureSettings& settings() const = 0;
  // The platform's clock and main queue, and the page's view.
  virtual double now() const = 0;
  virtual void after(double seconds, std::function<void()> work) = 0;
  virtual web::WebView& view() = 0;
  // Runs one of the recorder's page scripts (page_script.h); a script that
  // throws ends the run. Without `then`, nobody waits for the answer.
  virtual void runScript(const PageScript& script, const JsonValue& arguments,
                         std::function<void(std::optional<web::ScriptValue>)> then = nullptr) = 0;
  // The plain scroll, on the page's own clock, at `speed` CSS px/s.
  virtual void scrollAtSpeed(double speed) = 0;

  // Takes the view's picture for the next frame, drawn straight into the
  // frame's buffer where it can be; the run fails when there is none.
  virtual void snapshot(std::function<void(graphics::ImageRef)> then) = 0;
  // Composes the picture into a frame and appends it, stamped by the clock
  // (dropped when the encoder is behind) or at exactly `seconds`, moved up
  // and with the lifted layers as `shift` says. False when it could not be
  // written: the run has failed.
  virtual bool recordFrameNow(const graphics::Image& image) = 0;
  // Or in two halves: the page's part now, the rest once the frame is known
  // to stand. False when the run has failed.
  virtual std::optional<PreparedFrame> prepareFrameAt(const graphics::Image& image, double seconds,
                                                      const RowShift& shift) = 0;
  virtual bool recordPrepared(PreparedFrame frame) = 0;
  // Eases the band's colours towards the picture's, as a recorded frame
  // would, without recording it; the scroll indicator learns, as from the
  // frame at `seconds` moved up as `shift` says, whether the page moves.
  virtual void warmBandColours(const graphics::Image& image, double seconds,
                               const RowShift& shift) = 0;
  // [id, version, ...] of the lifted layers whose pixels are kept: the page
  // may leave those out of its next pictures.
  virtual std::vector<int64_t> keptLayers() const = 0;
  // Whether `layers` show one with alpha whose picture is not kept yet;
  // takeLayersAlone keeps those from a picture of them alone over nothing,
  // the page as it stands, then calls `then`.
  virtual bool wantsLayersAlone(const std::vector<LayerPlacement>& layers) const = 0;
  virtual void takeLayersAlone(const std::vector<LayerPlacement>& layers,
                               std::function<void()> then) = 0;
  // The time of the last frame made (real time: stamped), in seconds.
  virtual double lastFrameTime() const = 0;

  // Where the page stood at the last reading.
  virtual void noteOffset(double offset) = 0;
  // One more reading or frame at the end of the scroll (or, when not
  // `atEnd`, the count starts again); true once there have been enough.
  virtual bool countEnd(bool atEnd) = 0;
  virtual int64_t endCount() const = 0;
  // The scroll is over: the movie is finished and the run reported.
  virtual void finish() = 0;

  // What a person watching is told; watched() is false when nobody is.
  virtual bool watched() const = 0;
  virtual Progress& progress() = 0;
  virtual void tell(Progress::Phase phase) = 0;
  // Tells the stall limit, if any, that the run is moving.
  virtual void beat() = 0;

  // --roteiro: the filmed steps, and in real time the wall clock they run
  // on; nullptr without a storyboard.
  virtual StoryboardRun* story() = 0;
  virtual WallClockStory& wallClock() = 0;
  // --trecho: which part this run records, once the page is measured.
  virtual const std::optional<PartLabel>& part() const = 0;
};

// How the frames are taken once the page is measured and the movie is open:
// in real time, as the page scrolls itself, or frame by frame, the recorder
// moving it. One driver a run, chosen once; each keeps its own state.
class CaptureDriver {
 public:
  virtual ~CaptureDriver() = default;
  // The scroll starts at `speed` CSS px/s, along `plan` when it is directed.
  virtual void start(double speed, const ScrollPlan* plan) = 0;
  // A new picture of the page has reached the view.
  virtual void newPicture() = 0;
};

// Makes the run's driver; the program's are capture/'s.
using CaptureDriverFactory = std::function<std::unique_ptr<CaptureDriver>(CaptureHost&)>;

}  // namespace vuz
