#include "page_harness.h"

#include <gtk/gtk.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "platform/display/private_display.h"
#include "platform/web/webkit_view.h"

namespace {

void startOnce() {
  static bool started = false;
  if (started) return;
  started = true;
  char folder[] = "/tmp/page_harness_XXXXXX";
  if (!mkdtemp(folder)) throw std::runtime_error("no folder for the display");
  std::string error;
  if (!display::startPrivateDisplay(400, 400, std::string(folder) + "/Xauthority", &error))
    throw std::runtime_error("no display: " + error);
  setenv("GDK_BACKEND", "x11", 1);
  setenv("NO_AT_BRIDGE", "1", 1);
  if (!gtk_init_check(nullptr, nullptr)) throw std::runtime_error("no GTK");
}

// Runs the main loop until `done` or `seconds` have passed; whether done.
template <typename Done>
bool runUntil(Done done, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    g_main_context_iteration(nullptr, FALSE);
    if (!done()) g_usleep(200);
  }
  return true;
}

}  // namespace

PageHarness::PageHarness(const std::string& topFrameScript) {
  startOnce();
  char folder[] = "/tmp/page_harness_page_XXXXXX";
  if (!mkdtemp(folder)) throw std::runtime_error("no folder for the page");
  folder_ = folder;
  web::WebKitView::Options options;
  options.userAgent = "page-harness";
  options.windowTitle = "page harness";
  options.widthPoints = options.heightPoints = 200;
  options.memoryLimitMB = 512;
  options.topFrameScript = topFrameScript;
  options.sandboxReadable = {folder_};
  view_ = std::make_unique<web::WebKitView>(options);
  view_->show();
}

PageHarness::~PageHarness() {
  view_.reset();
  std::remove((folder_ + "/page.html").c_str());
  rmdir(folder_.c_str());
}

bool PageHarness::load(const std::string& html) {
  std::ofstream(folder_ + "/page.html") << html;
  bool loaded = false;
  view_->setFinishedNavigationHandler([&loaded] { loaded = true; });
  view_->load("file://" + folder_ + "/page.html");
  const bool done = runUntil([&] { return loaded; }, 10);
  view_->setFinishedNavigationHandler(nullptr);
  return done;
}

std::optional<web::ScriptAnswer> PageHarness::run(const std::string& script, bool ownWorld) {
  auto answer = std::make_shared<std::optional<web::ScriptAnswer>>();
  auto completion = [answer](web::ScriptAnswer a) { *answer = std::move(a); };
  if (ownWorld)
    view_->evaluateInOwnWorld(script, completion);
  else
    view_->evaluateJavaScript(script, completion);
  runUntil([&] { return answer->has_value(); }, 10);
  return *answer;
}

std::optional<web::ScriptAnswer> PageHarness::runInPage(const std::string& script) {
  return run(script, false);
}

std::optional<web::ScriptAnswer> PageHarness::runInOwnWorld(const std::string& script) {
  return run(script, true);
}

void PageHarness::wait(double seconds) {
  runUntil([] { return false; }, seconds);
}
