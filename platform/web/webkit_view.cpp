#include "platform/web/webkit_view.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/loop/main_queue.h"
#include "platform/web/page_confinement.h"

namespace web {

namespace {

// A phone shows no scroll bar. A user style sheet hides WebKit's without
// touching the page's DOM; hidden, they take no layout room.
constexpr char kHideScrollBars[] =
    "* { scrollbar-width: none !important; }\n"
    "::-webkit-scrollbar { display: none !important; width: 0 !important; height: 0 !important; "
    "}\n";

// The recorder's own script world: the page's document, not its globals.
constexpr char kOwnWorld[] = "vuzizeri";

// Bounds the work a hostile page can make us do by answering a huge array.
constexpr unsigned kMaxArrayElements = 4096;

// The benchmarks' peer takes every picture through the web process, as
// WebKit programs usually do.
bool drawFromScreen = true;

// Snapshots alive at once: the one being composed and the next.
constexpr size_t kReusedSurfaces = 3;

// WebKit's Adwaita theme paints the corner between the page's two scroll
// bars even where there is none: an empty corner at the view's top left,
// whose one-pixel border is a grey dot there on every scrollable page
// (and, copied along as the view scrolls up, a trail of them). The plain
// theme WebKit offers embedders paints nothing there, and with every scroll
// bar hidden there is nothing else it would paint.
void usePlainScrollBars(WebKitSettings* settings) {
  WebKitFeatureList* features = webkit_settings_get_all_features();
  for (gsize i = 0; i < webkit_feature_list_get_length(features); ++i) {
    WebKitFeature* feature = webkit_feature_list_get(features, i);
    if (g_strcmp0(webkit_feature_get_identifier(feature), "MockScrollbars") == 0)
      webkit_settings_set_feature_enabled(settings, feature, TRUE);
  }
  webkit_feature_list_unref(features);
}

std::optional<ScriptValue> convert(JSCValue* value, int depth) {
  if (!value || jsc_value_is_undefined(value) || jsc_value_is_null(value)) return std::nullopt;
  if (jsc_value_is_number(value)) return ScriptValue::ofNumber(jsc_value_to_double(value));
  if (jsc_value_is_boolean(value)) {
    ScriptValue v;
    v.kind = ScriptValue::Kind::kBoolean;
    v.number = jsc_value_to_boolean(value) ? 1 : 0;
    return v;
  }
  if (jsc_value_is_string(value)) {
    g_autofree char* text = jsc_value_to_string(value);
    return ScriptValue::ofString(text ? text : "");
  }
  if (jsc_value_is_array(value) && depth < 4) {
    g_autoptr(JSCValue) length = jsc_value_object_get_property(value, "length");
    double n = length ? jsc_value_to_double(length) : 0;
    if (!(n >= 0) || n > kMaxArrayElements) return ScriptValue::ofObject();
    std::vector<ScriptValue> elements;
    for (unsigned i = 0; i < static_cast<unsigned>(n); ++i) {
      g_autoptr(JSCValue) element = jsc_value_object_get_property_at_index(value, i);
      elements.push_back(convert(element, depth + 1).value_or(ScriptValue::ofObject()));
    }
    return ScriptValue::ofArray(std::move(elements));
  }
  return ScriptValue::ofObject();
}

// Nothing drawn yet leaves the surface fully transparent; the web view itself
// paints an opaque background once it has content.
bool looksBlank(const graphics::Image& image) {
  if (image.width() <= 0 || image.height() <= 0) return true;
  for (int sy = 0; sy < 8; ++sy) {
    const uint8_t* row = image.row(image.height() * sy / 8 + image.height() / 16);
    for (int sx = 0; sx < 8; ++sx) {
      int x = image.width() * sx / 8 + image.width() / 16;
      if (row[4 * x + 3] != 0) return false;
    }
  }
  return true;
}

graphics::ImageRef toWidth(graphics::ImageRef image, int width) {
  if (!image || width <= 0 || image->width() == width) return image;
  int height =
      static_cast<int>(std::lround(static_cast<double>(image->height()) * width / image->width()));
  return graphics::resized(*image, width, std::max(height, 1));
}

// Where the web process may read, the headers its extension adds, the
// proxy it goes through and the languages it asks pages for.
void openContext(WebKitWebContext* context, const WebKitView::Options& options) {
  for (const std::string& folder : options.sandboxReadable)
    webkit_web_context_add_path_to_sandbox(context, folder.c_str(), TRUE);
  if (!options.headers.empty()) {
    // Only a web extension sees every request the page makes.
    GVariantBuilder fields;
    g_variant_builder_init(&fields, G_VARIANT_TYPE("a(ss)"));
    for (const auto& [name, value] : options.headers)
      g_variant_builder_add(&fields, "(ss)", name.c_str(), value.c_str());
    webkit_web_context_set_web_extensions_directory(context, options.extensionFolder.c_str());
    webkit_web_context_set_web_extensions_initialization_user_data(
        context, g_variant_new("(sa(ss))", options.pageOrigin.c_str(), &fields));
    webkit_web_context_add_path_to_sandbox(context, options.extensionFolder.c_str(), TRUE);
  }
  if (!options.proxy.empty()) {
    // No host is left out: the proxy judges every one, loopback's too.
    WebKitNetworkProxySettings* proxy =
        webkit_network_proxy_settings_new(options.proxy.c_str(), nullptr);
    webkit_website_data_manager_set_network_proxy_settings(
        webkit_web_context_get_website_data_manager(context), WEBKIT_NETWORK_PROXY_MODE_CUSTOM,
        proxy);
    webkit_network_proxy_settings_free(proxy);
  }
  if (!options.languageTag.empty()) {
    const char* languages[] = {options.languageTag.c_str(), nullptr};
    webkit_web_context_set_preferred_languages(context, languages);
  }
}

// The style sheets: no scroll bars, and the page shaped as asked.
void addStyleSheets(WebKitUserContentManager* content, const WebKitView::Options& options) {
  g_autoptr(WebKitUserStyleSheet) style =
      webkit_user_style_sheet_new(kHideScrollBars, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                  WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
  webkit_user_content_manager_add_style_sheet(content, style);
  for (auto [sheet, level] : {std::pair{&options.userStyleSheet, WEBKIT_USER_STYLE_LEVEL_USER},
                              {&options.authorStyleSheet, WEBKIT_USER_STYLE_LEVEL_AUTHOR}}) {
    if (sheet->empty()) continue;
    g_autoptr(WebKitUserStyleSheet) shaping = webkit_user_style_sheet_new(
        sheet->c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME, level, nullptr, nullptr);
    webkit_user_content_manager_add_style_sheet(content, shaping);
  }
  if (!options.everyFrameStyleSheet.empty()) {
    g_autoptr(WebKitUserStyleSheet) sheet = webkit_user_style_sheet_new(
        options.everyFrameStyleSheet.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
        WEBKIT_USER_STYLE_LEVEL_USER, nullptr, nullptr);
    webkit_user_content_manager_add_style_sheet(content, sheet);
  }
}

void addScripts(WebKitUserContentManager* content, const WebKitView::Options& options) {
  if (!options.topFrameScript.empty()) {
    g_autoptr(WebKitUserScript) script =
        webkit_user_script_new(options.topFrameScript.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(content, script);
  }
  if (!options.ownWorldScript.empty()) {
    g_autoptr(WebKitUserScript) script = webkit_user_script_new_for_world(
        options.ownWorldScript.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
        WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, kOwnWorld, nullptr, nullptr);
    webkit_user_content_manager_add_script(content, script);
  }
  if (!options.pageScript.empty()) {
    g_autoptr(WebKitUserScript) script =
        webkit_user_script_new(options.pageScript.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(content, script);
  }
}

}  // namespace

WebKitView::WebKitView(const Options& options) {
  // The recorder loads pages nobody here wrote.
  g_autoptr(WebKitWebContext) context = newConfinedContext(options.memoryLimitMB);
  openContext(context, options);
  cookies_ = options.cookies;
  g_autoptr(WebKitUserContentManager) content = webkit_user_content_manager_new();
  addStyleSheets(content, options);
  listenToPage(content, options.pageMessage);
  addScripts(content, options);
  createView(context, content, options);
  connectSignals();
  placeInWindow(options);
}

// The page's messages to the recorder, when it takes them.
void WebKitView::listenToPage(WebKitUserContentManager* content,
                              const std::function<void(const std::string&)>& pageMessage) {
  if (pageMessage) {
    pageMessage_ = pageMessage;
    g_signal_connect(
        content, "script-message-received::vuzizeri",
        G_CALLBACK(+[](WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer data) {
          g_autofree char* text =
              jsc_value_to_string(webkit_javascript_result_get_js_value(result));
          static_cast<WebKitView*>(data)->pageMessage_(text ? text : "");
        }),
        this);
    webkit_user_content_manager_register_script_message_handler(content, "vuzizeri");
  }
}

// The view on its context and content, as a phone: its user agent, no
// scroll bars, painted on the processor, confined to its page.
void WebKitView::createView(WebKitWebContext* context, WebKitUserContentManager* content,
                            const Options& options) {
  view_ = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context,
                                       "user-content-manager", content, nullptr));
  g_object_ref_sink(view_);
  transparent_ = options.transparentBackground;
  if (transparent_) {
    const GdkRGBA none = {0, 0, 0, 0};
    webkit_web_view_set_background_color(view_, &none);
  }
  WebKitSettings* settings = webkit_web_view_get_settings(view_);
  webkit_settings_set_user_agent(settings, options.userAgent.c_str());
  // Without a GPU, compositing runs on llvmpipe and a 3× page scrolls at a
  // few frames per second; painting on the processor keeps up (measured on
  // two cores: 9 → 32 distinct frames per second at 1170 × 2391).
  webkit_settings_set_hardware_acceleration_policy(settings,
                                                   WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  usePlainScrollBars(settings);
  confinePage(view_, options.credentials);
}

// Loads that end or fail, and a web process that ends.
void WebKitView::connectSignals() {
  g_signal_connect(view_, "load-changed", G_CALLBACK(onLoadChanged), this);
  g_signal_connect(view_, "load-failed", G_CALLBACK(onLoadFailed), this);
  g_signal_connect(
      view_, "web-process-terminated",
      G_CALLBACK(+[](WebKitWebView*, WebKitWebProcessTerminationReason, gpointer data) {
        auto* self = static_cast<WebKitView*>(data);
        // Before the first page ever loaded, the page could not be had: WebKit
        // ends the web process of a page whose server sends it to a local
        // file, before any signal says so.
        if (!self->loadedOnce_ && self->failedNavigation_) {
          self->failedNavigation_(
              "o WebKit encerrou o processo web (um redirecionamento para um arquivo local, "
              "file:, termina assim)");
          return;
        }
        if (self->webProcessEnded_) self->webProcessEnded_();
      }),
      this);
}

void WebKitView::placeInWindow(const Options& options) {
  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window_), options.windowTitle.c_str());
  gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
  gtk_window_set_deletable(GTK_WINDOW(window_), FALSE);
  gtk_window_move(GTK_WINDOW(window_), options.windowX, options.windowY);
  gtk_widget_set_size_request(GTK_WIDGET(view_), options.widthPoints, options.heightPoints);
  gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(view_));
}

WebKitView::~WebKitView() {
  g_clear_handle_id(&newPictureSource_, g_source_remove);
  surfaces_.clear();
  if (view_)
    g_signal_handlers_disconnect_by_data(webkit_web_view_get_user_content_manager(view_), this);
  if (window_) gtk_widget_destroy(window_);
  g_clear_object(&view_);
}

void WebKitView::takeEverySnapshotThroughWebProcess() { drawFromScreen = false; }

void WebKitView::setFinishedNavigationHandler(std::function<void()> handler) {
  finishedNavigation_ = std::move(handler);
}

void WebKitView::setFailedNavigationHandler(std::function<void(const std::string&)> handler) {
  failedNavigation_ = std::move(handler);
}

void WebKitView::setCookieFailedHandler(
    std::function<void(const std::string&, const std::string&)> handler) {
  cookieFailed_ = std::move(handler);
}

void WebKitView::setWebProcessEndedHandler(std::function<void()> handler) {
  webProcessEnded_ = std::move(handler);
}

void WebKitView::show() {
  gtk_widget_show_all(window_);
  // The UI process puts each picture the web process painted into the
  // view's backing store and invalidates the view's window at once: that
  // invalidation is the moment a new picture can be drawn.
  GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(view_));
  if (!window) return;
  g_object_set_data(G_OBJECT(window), "web-kit-view", this);
  gdk_window_set_invalidate_handler(window, onInvalidated);
}

void WebKitView::setNewPictureHandler(std::function<void()> handler) {
  newPicture_ = std::move(handler);
}

void WebKitView::onInvalidated(GdkWindow* window, cairo_region_t* region) {
  auto* self = static_cast<WebKitView*>(g_object_get_data(G_OBJECT(window), "web-kit-view"));
  if (!self) return;
  // Nobody looks at this screen: the snapshots draw the view themselves.
  // Leaving the region empty spares the window's own repaint and the copy
  // of every picture to the X server.
  cairo_region_subtract(region, region);
  if (!self->newPicture_ || self->newPictureSource_) return;
  // Called inside WebKit's handling of the update: tell the recorder from
  // the main loop, ahead of any other pending work.
  self->newPictureSource_ = g_idle_add_full(
      G_PRIORITY_HIGH,
      [](gpointer data) {
        auto* view = static_cast<WebKitView*>(data);
        view->newPictureSource_ = 0;
        if (view->newPicture_) view->newPicture_();
        return G_SOURCE_REMOVE;
      },
      self, nullptr);
}

void WebKitView::load(const std::string& uri) {
  requestedUri_ = uri;
  if (cookies_.empty()) {
    webkit_web_view_load_uri(view_, uri.c_str());
    return;
  }
  // Host-only cookies for the page's host, all in place before the first
  // request; secure ones for a secure page.
  g_autoptr(GUri) parsed = g_uri_parse(uri.c_str(), G_URI_FLAGS_NONE, nullptr);
  const bool secure = parsed && g_ascii_strcasecmp(g_uri_get_scheme(parsed), "https") == 0;
  WebKitCookieManager* manager = webkit_website_data_manager_get_cookie_manager(
      webkit_web_context_get_website_data_manager(webkit_web_view_get_context(view_)));
  pendingCookies_ = cookies_.size();
  struct Pending {
    WebKitView* view;
    std::string name;
  };
  for (const auto& [name, value] : cookies_) {
    g_autoptr(SoupCookie) cookie =
        soup_cookie_new(name.c_str(), value.c_str(), parsed ? g_uri_get_host(parsed) : "", "/", -1);
    soup_cookie_set_secure(cookie, secure);
    webkit_cookie_manager_add_cookie(
        manager, cookie, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
          std::unique_ptr<Pending> pending(static_cast<Pending*>(data));
          WebKitView* view = pending->view;
          g_autoptr(GError) error = nullptr;
          if (!webkit_cookie_manager_add_cookie_finish(WEBKIT_COOKIE_MANAGER(source), result,
                                                       &error)) {
            // A page loaded without its cookie would be filmed logged out.
            view->pendingCookies_ = SIZE_MAX;
            if (view->cookieFailed_)
              view->cookieFailed_(pending->name, error ? error->message : "unknown error");
            return;
          }
          if (--view->pendingCookies_ == 0)
            webkit_web_view_load_uri(view->view_, view->requestedUri_.c_str());
        },
        new Pending{this, name});
  }
}

void WebKitView::onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
  auto* self = static_cast<WebKitView*>(data);
  if (event == WEBKIT_LOAD_STARTED) self->currentLoadFailed_ = false;
  if (event != WEBKIT_LOAD_FINISHED || self->currentLoadFailed_ || !self->finishedNavigation_)
    return;
  // WebKit also reports "finished" right after a failed load, and turns a
  // request to a port it refuses to use into an empty page; neither is the
  // page that was asked for.
  const char* uri = webkit_web_view_get_uri(view);
  if (g_strcmp0(uri, "about:blank") == 0 && self->requestedUri_ != "about:blank") {
    // That empty page is all a restricted port (0, 9, 25, 6000...) ever
    // gives, and WebKit reports no failure for it.
    g_autoptr(GUri) requested = g_uri_parse(self->requestedUri_.c_str(), G_URI_FLAGS_NONE, nullptr);
    if (requested && g_uri_get_port(requested) >= 0 && self->failedNavigation_)
      self->failedNavigation_("Not allowed to use restricted network port");
    return;
  }
  self->loadedOnce_ = true;
  self->finishedNavigation_();
}

gboolean WebKitView::onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError* error,
                                  gpointer data) {
  auto* self = static_cast<WebKitView*>(data);
  self->currentLoadFailed_ = true;
  // A navigation replaced by another (a redirect by script, a reload) is no
  // failure of the page. A certificate WebKit refuses comes here too.
  if (error && !g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) &&
      self->failedNavigation_)
    self->failedNavigation_(error->message);
  // Handled: otherwise WebKit loads an error page of its own, and that load
  // finishes like any page.
  return TRUE;
}

void WebKitView::evaluateJavaScript(const std::string& script, ScriptCompletion completion) {
  evaluate(script, nullptr, nullptr, std::move(completion));
}

void WebKitView::evaluateInOwnWorld(const std::string& script, ScriptCompletion completion) {
  evaluate(script, kOwnWorld, nullptr, std::move(completion));
}

void WebKitView::runInOwnWorld(const std::string& script,
                               std::function<void(const std::string& thrown)> onThrow) {
  evaluate(script, kOwnWorld, nullptr, [onThrow = std::move(onThrow)](ScriptAnswer answer) {
    if (answer.thrown && onThrow) onThrow(*answer.thrown);
  });
}

void WebKitView::runPageScript(const std::string& source, ScriptCompletion completion) {
  evaluate(source, nullptr, "vuzizeri-script.js", std::move(completion));
}

void WebKitView::evaluate(const std::string& script, const char* world, const char* sourceUri,
                          ScriptCompletion completion) {
  if (!completion) {
    webkit_web_view_evaluate_javascript(view_, script.c_str(), -1, world, sourceUri, nullptr,
                                        nullptr, nullptr);
    return;
  }
  auto* pending = new ScriptCompletion(std::move(completion));
  webkit_web_view_evaluate_javascript(
      view_, script.c_str(), -1, world, sourceUri, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<ScriptCompletion> done(static_cast<ScriptCompletion*>(data));
        g_autoptr(GError) error = nullptr;
        g_autoptr(JSCValue) value =
            webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, &error);
        ScriptAnswer answer{convert(value, 0), std::nullopt};
        // Only an exception is the script's own failure; any other error
        // (the web process gone, the page navigated away) is no answer.
        if (error &&
            g_error_matches(error, WEBKIT_JAVASCRIPT_ERROR, WEBKIT_JAVASCRIPT_ERROR_SCRIPT_FAILED))
          answer.thrown = error->message ? error->message : "";
        (*done)(std::move(answer));
      },
      pending);
}

double WebKitView::backingScaleFactor() const {
  if (!gtk_widget_get_realized(GTK_WIDGET(view_))) return 0;
  return gtk_widget_get_scale_factor(GTK_WIDGET(view_));
}

graphics::ImageRef WebKitView::drawCurrentContent(const SnapshotTarget& target) {
  GtkWidget* widget = GTK_WIDGET(view_);
  int scale = gtk_widget_get_scale_factor(widget);
  int width = gtk_widget_get_allocated_width(widget) * scale;
  int height = gtk_widget_get_allocated_height(widget) * scale;
  if (width <= 0 || height <= 0) return nullptr;

  graphics::SurfacePtr surface;
  if (target.pixels && target.width == width && target.height == height) {
    // Straight into the caller's frame: one copy of the page fewer.
    surface.reset(cairo_image_surface_create_for_data(target.pixels, CAIRO_FORMAT_ARGB32, width,
                                                      height, static_cast<int>(target.stride)));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) surface.reset();
  }
  // A fresh 10 MB surface per frame costs more in page faults and clearing
  // than the drawing itself: reuse one that no image holds any more. The
  // view paints every pixel opaque, so nothing needs clearing.
  for (const graphics::SurfacePtr& candidate : surfaces_) {
    if (surface) break;
    if (cairo_surface_get_reference_count(candidate.get()) == 1 &&
        cairo_image_surface_get_width(candidate.get()) == width &&
        cairo_image_surface_get_height(candidate.get()) == height)
      surface.reset(cairo_surface_reference(candidate.get()));
  }
  if (!surface) {
    surface.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    if (surfaces_.size() < kReusedSurfaces)
      surfaces_.emplace_back(cairo_surface_reference(surface.get()));
  }
  cairo_surface_set_device_scale(surface.get(), scale, scale);
  graphics::ContextPtr cr(cairo_create(surface.get()));
  gtk_widget_draw(widget, cr.get());
  cr.reset();
  return graphics::Image::adopt(surface.release());
}

void WebKitView::takeSnapshot(double widthPoints, SnapshotCompletion completion,
                              const SnapshotTarget& target) {
  double scale = gtk_widget_get_scale_factor(GTK_WIDGET(view_));
  int targetWidth = static_cast<int>(std::floor(widthPoints * scale + 1e-6));

  // Fast path: the frame the UI process already shows, drawn in a few
  // milliseconds. The web process's own snapshot repaints the whole page and
  // is an order of magnitude slower; it serves only when there is nothing on
  // screen to draw from yet, and for a transparent page: WebKit paints each
  // update of one over what the view showed before, so a half-transparent
  // area grows opaquer with every repaint (0.5, 0.99, 1 over three frames).
  if (drawFromScreen && !transparent_ && gtk_widget_is_drawable(GTK_WIDGET(view_))) {
    graphics::ImageRef image = drawCurrentContent(target);
    drewLastFromScreen_ = image && !looksBlank(*image);
    if (drewLastFromScreen_) {
      loop::asyncAfter(0,
                       [completion = std::move(completion),
                        image = toWidth(std::move(image), targetWidth)]() { completion(image); });
      return;
    }
  }
  snapshotThroughWebProcess(targetWidth, std::move(completion));
}

bool WebKitView::drawsSnapshotAtOnce() const {
  // A view that had nothing to draw from last time goes to the web process,
  // which would paint what it was asked to do since.
  return drawFromScreen && !transparent_ && drewLastFromScreen_ &&
         gtk_widget_is_drawable(GTK_WIDGET(view_));
}

void WebKitView::takeSnapshotOverNothing(double widthPoints, SnapshotCompletion completion) {
  const double scale = gtk_widget_get_scale_factor(GTK_WIDGET(view_));
  snapshotThroughWebProcess(static_cast<int>(std::floor(widthPoints * scale + 1e-6)),
                            std::move(completion), true);
}

void WebKitView::snapshotThroughWebProcess(int targetWidth, SnapshotCompletion completion,
                                           bool overNothing) {
  struct Pending {
    SnapshotCompletion completion;
    int targetWidth;
  };
  webkit_web_view_get_snapshot(
      view_, WEBKIT_SNAPSHOT_REGION_VISIBLE,
      transparent_ || overNothing ? WEBKIT_SNAPSHOT_OPTIONS_TRANSPARENT_BACKGROUND
                                  : WEBKIT_SNAPSHOT_OPTIONS_NONE,
      nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<Pending> pending(static_cast<Pending*>(data));
        // A snapshot that failed is no picture: the caller takes the next.
        graphics::SurfacePtr surface(
            webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(source), result, nullptr));
        graphics::ImageRef image;
        if (surface) image = toWidth(graphics::Image::copyOf(surface.get()), pending->targetWidth);
        pending->completion(image);
      },
      new Pending{std::move(completion), targetWidth});
}

}  // namespace web
