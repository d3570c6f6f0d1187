#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/graphics/image.h"
#include "platform/web/script_value.h"

namespace web {

using ScriptCompletion = std::function<void(ScriptAnswer)>;
using SnapshotCompletion = std::function<void(graphics::ImageRef)>;

// Memory a snapshot may be drawn straight into, saving a copy: `width` ×
// `height` BGRA pixels at `pixels`, rows `stride` bytes apart.
struct SnapshotTarget {
  uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  ptrdiff_t stride = 0;
};

// What the recorder needs of a web view. Every completion is called exactly
// once, later, on the main loop.
class WebView {
 public:
  virtual ~WebView() = default;

  // Runs `script` in the page. The completion gets the script's value and,
  // when it threw, what it threw. An empty completion means nobody waits for
  // the answer.
  virtual void evaluateJavaScript(const std::string& script, ScriptCompletion completion) = 0;
  // The same in a script world of the recorder's own: the page's document,
  // but none of the page's globals, so the page can neither see the script
  // nor change what it finds.
  virtual void evaluateInOwnWorld(const std::string& script, ScriptCompletion completion) = 0;
  // The same for a script whose answer nobody waits for: only what it
  // threw, if it threw, is told.
  virtual void runInOwnWorld(const std::string& script,
                             std::function<void(const std::string& thrown)> onThrow) = 0;

  // Runs a script of the user's in the page, as the page's own scripts run.
  virtual void runPageScript(const std::string& source, ScriptCompletion completion) = 0;

  // Takes a picture of the whole visible view, `widthPoints` points wide:
  // widthPoints × backingScaleFactor() pixels. nullptr when it failed. When
  // `target` has exactly the picture's size the picture may be drawn there,
  // and the image then shows that memory: it is valid only as long as the
  // memory is, and changes with it.
  virtual void takeSnapshot(double widthPoints, SnapshotCompletion completion,
                            const SnapshotTarget& target = {}) = 0;
  // Whether the next picture is drawn within the takeSnapshot call from what
  // the view already shows: then what the page is asked to do just before
  // the call cannot reach it.
  virtual bool drawsSnapshotAtOnce() const { return false; }
  // A picture the web process paints afresh of what the view shows, over
  // nothing where the page paints nothing: premultiplied colour and alpha.
  virtual void takeSnapshotOverNothing(double widthPoints, SnapshotCompletion completion) = 0;

  // Device pixels per point of the screen the view is on, or 0 when it is on
  // no screen.
  virtual double backingScaleFactor() const = 0;

  // `handler` runs on the main loop, soon after each new picture of the page
  // has reached the view: the next snapshot shows it. At most one call per
  // picture; none while a call is still due.
  virtual void setNewPictureHandler(std::function<void()> handler) = 0;
};

}  // namespace web
