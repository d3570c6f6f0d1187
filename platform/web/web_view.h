#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/graphics/image.h"
#include "platform/web/script_value.h"

namespace web {

using ScriptCompletion = std::function<void(std::optional<ScriptValue>)>;
using SnapshotCompletion = std::function<void(graphics::ImageRef)>;

// What the recorder needs of a web view. Every completion is called exactly
// once, later, on the main loop.
class WebView {
 public:
  virtual ~WebView() = default;

  // Runs `script` in the page. The completion gets the script's value, or
  // nothing when it threw or answered undefined or null. An empty completion
  // means nobody waits for the answer.
  virtual void evaluateJavaScript(const std::string& script, ScriptCompletion completion) = 0;

  // Takes a picture of the whole visible view, `widthPoints` points wide:
  // widthPoints × backingScaleFactor() pixels. nullptr when it failed.
  virtual void takeSnapshot(double widthPoints, SnapshotCompletion completion) = 0;

  // Device pixels per point of the screen the view is on, or 0 when it is on
  // no screen.
  virtual double backingScaleFactor() const = 0;
};

}  // namespace web
