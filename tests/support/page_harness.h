#pragma once

// The recorder's page scripts run in a real web view, step by step, in the
// manner of WebKit's own GLib API tests: each asynchronous step (loading a
// page, running a script) runs the main loop until it completes, so that a
// test reads from top to bottom.

#include <memory>
#include <optional>
#include <string>

#include "platform/web/script_value.h"

namespace web {
class WebKitView;
}

class PageHarness {
 public:
  // A 200 × 200 view on a private display (started, with GTK, once per
  // process), with `topFrameScript` at the start of every top document.
  explicit PageHarness(const std::string& topFrameScript = "");
  ~PageHarness();

  // Loads `html` as a file:// page; false when it did not load within 10 s.
  bool load(const std::string& html);
  // Runs `script` in the page's world, or in the recorder's own; the answer,
  // or nothing after 10 s.
  std::optional<web::ScriptAnswer> runInPage(const std::string& script);
  std::optional<web::ScriptAnswer> runInOwnWorld(const std::string& script);
  // Lets the main loop run for `seconds`.
  void wait(double seconds);

 private:
  std::optional<web::ScriptAnswer> run(const std::string& script, bool ownWorld);
  std::unique_ptr<web::WebKitView> view_;
  std::string folder_;
};
