#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/graphics/cairo_ptr.h"
#include "platform/web/page_confinement.h"
#include "platform/web/web_view.h"

namespace web {

// The web view of WebKitGTK, with a phone's user agent and no scroll bars,
// in a window of its own on the current display, confined to its page.
class WebKitView final : public WebView {
 public:
  struct Options {
    std::string userAgent;
    std::string windowTitle;
    int widthPoints = 0;  // the view's size; the window wraps it exactly
    int heightPoints = 0;
    int windowX = 0;  // where the window's content goes, in points
    int windowY = 0;
    unsigned memoryLimitMB = 0;                // a web process above it is killed
    std::string languageTag;                   // navigator.language and Accept-Language
    std::string pageScript;                    // run at the start of every document, in every frame
    std::string topFrameScript;                // run at the start of every top document
    std::vector<std::string> sandboxReadable;  // folders the web process may read
    // Run at the start of every document, in every frame, in the script
    // world of evaluateInOwnWorld(): the page sees none of its globals.
    std::string ownWorldScript;
    // What the page's own origin alone is given: request headers (added by
    // the web extension in `extensionFolder`), cookies for its host, and
    // HTTP authentication.
    std::string pageOrigin;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string extensionFolder;
    std::vector<std::pair<std::string, std::string>> cookies;
    std::optional<Credentials> credentials;
    std::string proxy;  // an HTTP proxy every request goes through, "" for none
    // Style sheets for the page's own document: the user level's rules beat
    // the page's, the author level's stand among them.
    std::string userStyleSheet;
    std::string authorStyleSheet;
    // A user style sheet for every frame's document, same-origin or not.
    std::string everyFrameStyleSheet;
    // Called with what a page script, in any frame, posts to
    // window.webkit.messageHandlers.vuzizeri; none when empty.
    std::function<void(const std::string&)> pageMessage;
    // Where the page paints no background, its pictures are transparent
    // rather than white.
    bool transparentBackground = false;
  };

  // Call after gtk_init. The view gets a confined web context of its own
  // (see page_confinement.h).
  explicit WebKitView(const Options& options);
  // Every view of the process from now on takes its pictures through the web
  // process only, never from what the view shows (the benchmarks' peer).
  static void takeEverySnapshotThroughWebProcess();
  ~WebKitView() override;
  WebKitView(const WebKitView&) = delete;
  WebKitView& operator=(const WebKitView&) = delete;

  // Called on every navigation that finished without failing.
  void setFinishedNavigationHandler(std::function<void()> handler);
  // Called when a navigation fails (no connection, no such host, a
  // certificate refused...), with WebKit's reason; not when a navigation is
  // cancelled by another.
  void setFailedNavigationHandler(std::function<void(const std::string& reason)> handler);
  // Called when a cookie given in the options could not be set, with its
  // name and the reason; the page is not loaded then.
  void setCookieFailedHandler(
      std::function<void(const std::string& name, const std::string& reason)> handler);
  // Called when the web process crashed or was killed: nothing more will
  // load, paint or answer.
  void setWebProcessEndedHandler(std::function<void()> handler);
  void show();
  void load(const std::string& uri);

  void evaluateJavaScript(const std::string& script, ScriptCompletion completion) override;
  void evaluateInOwnWorld(const std::string& script, ScriptCompletion completion) override;
  void runInOwnWorld(const std::string& script,
                     std::function<void(const std::string& thrown)> onThrow) override;
  void runPageScript(const std::string& source, ScriptCompletion completion) override;
  void takeSnapshot(double widthPoints, SnapshotCompletion completion,
                    const SnapshotTarget& target = {}) override;
  bool drawsSnapshotAtOnce() const override;
  void takeSnapshotOverNothing(double widthPoints, SnapshotCompletion completion) override;
  double backingScaleFactor() const override;
  void setNewPictureHandler(std::function<void()> handler) override;

 private:
  // The constructor's phases, in order.
  void listenToPage(WebKitUserContentManager* content,
                    const std::function<void(const std::string&)>& pageMessage);
  void createView(WebKitWebContext* context, WebKitUserContentManager* content,
                  const Options& options);
  void connectSignals();
  void placeInWindow(const Options& options);
  static void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self);
  static gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError*, gpointer self);
  static void onInvalidated(GdkWindow* window, cairo_region_t*);
  void evaluate(const std::string& script, const char* world, const char* sourceUri,
                ScriptCompletion completion);
  graphics::ImageRef drawCurrentContent(const SnapshotTarget& target);
  void snapshotThroughWebProcess(int targetWidth, SnapshotCompletion completion,
                                 bool overNothing = false);

  GtkWidget* window_ = nullptr;
  WebKitWebView* view_ = nullptr;
  std::function<void()> finishedNavigation_;
  std::function<void(const std::string&)> failedNavigation_;
  std::function<void(const std::string&, const std::string&)> cookieFailed_;
  std::function<void()> webProcessEnded_;
  std::function<void()> newPicture_;
  std::function<void(const std::string&)> pageMessage_;
  guint newPictureSource_ = 0;  // a call of newPicture_ that is due
  bool currentLoadFailed_ = false;
  bool loadedOnce_ = false;  // a navigation has finished
  bool transparent_ = false;
  bool drewLastFromScreen_ = false;  // the last snapshot was drawn from the view
  std::string requestedUri_;
  std::vector<graphics::SurfacePtr> surfaces_;  // for reuse, once no image holds them
  std::vector<std::pair<std::string, std::string>> cookies_;
  size_t pendingCookies_ = 0;  // cookies still being set before the load
};

}  // namespace web
