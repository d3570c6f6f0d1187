#include "platform/web/page_confinement.h"

#include <libsoup/soup.h>

#include <cstring>

#include "platform/web/origin.h"

namespace web {

namespace {

// Above the memory limit the web process is killed; the recorder then ends
// with its "web process ended" failure. Releasing caches starts at half the
// limit, so that pages well below it never pay for it.
constexpr double kConservativeThreshold = 0.5;
constexpr double kStrictThreshold = 0.75;
constexpr double kKillThreshold = 1.0;
constexpr double kMemoryPollSeconds = 0.5;

// Where WebKit runs bubblewrap from: the path it was built with.
constexpr char kBubblewrap[] = "/usr/bin/bwrap";

gboolean cancelAtDestination(WebKitDownload* download, gchar*, gpointer) {
  webkit_download_cancel(download);
  return TRUE;  // no destination is set, so no file is created
}

void cancelDownload(WebKitWebContext*, WebKitDownload* download, gpointer) {
  // Should the cancellation come after the response, the destination is
  // still never decided.
  g_signal_connect(download, "decide-destination", G_CALLBACK(cancelAtDestination), nullptr);
  webkit_download_cancel(download);
}

bool isAttachment(WebKitURIResponse* response) {
  SoupMessageHeaders* headers = webkit_uri_response_get_http_headers(response);
  g_autofree char* disposition = nullptr;
  return headers && soup_message_headers_get_content_disposition(headers, &disposition, nullptr) &&
         g_ascii_strcasecmp(disposition, "attachment") == 0;
}

gboolean decidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                      gpointer) {
  if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
    webkit_policy_decision_ignore(decision);  // the recording stays on its page
    return TRUE;
  }
  if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
    // WebKit would save these as downloads. Ignored, they leave the page
    // that was showing in place (or, for the first page, a failed load).
    auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
    if (!webkit_response_policy_decision_is_mime_type_supported(response) ||
        isAttachment(webkit_response_policy_decision_get_response(response))) {
      webkit_policy_decision_ignore(decision);
      return TRUE;
    }
  }
  webkit_policy_decision_use(decision);
  return TRUE;
}

// As a view without dialogs of its own: alert returns, confirm answers
// false, prompt answers null, and leaving the page is allowed.
gboolean answerScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer) {
  switch (webkit_script_dialog_get_dialog_type(dialog)) {
    case WEBKIT_SCRIPT_DIALOG_CONFIRM:
      webkit_script_dialog_confirm_set_confirmed(dialog, FALSE);
      break;
    case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
      webkit_script_dialog_confirm_set_confirmed(dialog, TRUE);
      break;
    default:
      break;
  }
  return TRUE;
}

gboolean denyPermission(WebKitWebView*, WebKitPermissionRequest* request, gpointer) {
  webkit_permission_request_deny(request);
  return TRUE;
}

gboolean answerPermissionQuery(WebKitWebView*, WebKitPermissionStateQuery* query, gpointer) {
  webkit_permission_state_query_finish(query, WEBKIT_PERMISSION_STATE_DENIED);
  return TRUE;
}

// Without credentials the server's own 401 page loads. With them, only the
// page's own origin gets them, and only once: a second challenge means they
// were refused.
gboolean authenticate(WebKitWebView*, WebKitAuthenticationRequest* request, gpointer data) {
  const auto* credentials = static_cast<const Credentials*>(data);
  WebKitSecurityOrigin* from = webkit_authentication_request_get_security_origin(request);
  g_autofree char* fromText = from ? webkit_security_origin_to_string(from) : nullptr;
  if (from) webkit_security_origin_unref(from);
  if (credentials && fromText && originOf(fromText) == credentials->origin &&
      !webkit_authentication_request_is_for_proxy(request) &&
      !webkit_authentication_request_is_retry(request)) {
    WebKitCredential* credential =
        webkit_credential_new(credentials->user.c_str(), credentials->password.c_str(),
                              WEBKIT_CREDENTIAL_PERSISTENCE_FOR_SESSION);
    webkit_authentication_request_authenticate(request, credential);
    webkit_credential_free(credential);
    return TRUE;
  }
  webkit_authentication_request_authenticate(request, nullptr);
  return TRUE;
}

gboolean skipPrinting(WebKitWebView*, WebKitPrintOperation*, gpointer) { return TRUE; }

GtkWidget* noNewView(WebKitWebView*, WebKitNavigationAction*, gpointer) { return nullptr; }

}  // namespace

WebKitWebContext* newConfinedContext(unsigned memoryLimitMB) {
  g_autoptr(WebKitWebsiteDataManager) data = webkit_website_data_manager_new_ephemeral();
  WebKitMemoryPressureSettings* memory = webkit_memory_pressure_settings_new();
  webkit_memory_pressure_settings_set_memory_limit(memory, memoryLimitMB);
  // Each threshold must stay above the one before: the highest is set first.
  webkit_memory_pressure_settings_set_kill_threshold(memory, kKillThreshold);
  webkit_memory_pressure_settings_set_strict_threshold(memory, kStrictThreshold);
  webkit_memory_pressure_settings_set_conservative_threshold(memory, kConservativeThreshold);
  webkit_memory_pressure_settings_set_poll_interval(memory, kMemoryPollSeconds);
  auto* context =
      WEBKIT_WEB_CONTEXT(g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "website-data-manager", data,
                                      "memory-pressure-settings", memory, nullptr));
  webkit_memory_pressure_settings_free(memory);
  webkit_web_context_set_sandbox_enabled(context, TRUE);
  g_signal_connect(context, "download-started", G_CALLBACK(cancelDownload), nullptr);
  return context;
}

bool sandboxWorks(std::string* reason) {
  const char* off = g_getenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS");
  if (off && std::strcmp(off, "0") != 0) return true;
  const char* argv[] = {
      kBubblewrap,     "--ro-bind",         "/",    "/",    "--proc", "/proc", "--dev", "/dev",
      "--unshare-all", "--die-with-parent", "true", nullptr};
  g_autofree char* errors = nullptr;
  g_autoptr(GError) error = nullptr;
  int status = 0;
  if (!g_spawn_sync(nullptr, const_cast<char**>(argv), nullptr, G_SPAWN_STDOUT_TO_DEV_NULL, nullptr,
                    nullptr, nullptr, &errors, &status, &error)) {
    *reason = error->message;
    return false;
  }
  if (g_spawn_check_wait_status(status, &error)) return true;
  // bubblewrap says why in one line; its status alone says little.
  std::string said = errors ? errors : "";
  said = said.substr(0, said.find('\n'));
  *reason = said.empty() ? std::string(kBubblewrap) + ": " + error->message : said;
  return false;
}

void confinePage(WebKitWebView* view, const std::optional<Credentials>& credentials) {
  WebKitSettings* settings = webkit_web_view_get_settings(view);
  webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
  webkit_settings_set_javascript_can_access_clipboard(settings, FALSE);
  webkit_settings_set_enable_fullscreen(settings, FALSE);
  webkit_settings_set_enable_media_stream(settings, FALSE);
  webkit_web_view_set_is_muted(view, TRUE);  // a recording has no sound

  g_signal_connect(view, "decide-policy", G_CALLBACK(decidePolicy), nullptr);
  g_signal_connect(view, "script-dialog", G_CALLBACK(answerScriptDialog), nullptr);
  g_signal_connect(view, "permission-request", G_CALLBACK(denyPermission), nullptr);
  g_signal_connect(view, "query-permission-state", G_CALLBACK(answerPermissionQuery), nullptr);
  Credentials* given = credentials ? new Credentials(*credentials) : nullptr;
  if (given)
    g_object_set_data_full(G_OBJECT(view), "credentials", given,
                           [](gpointer data) { delete static_cast<Credentials*>(data); });
  g_signal_connect(view, "authenticate", G_CALLBACK(authenticate), given);
  g_signal_connect(view, "print", G_CALLBACK(skipPrinting), nullptr);
  g_signal_connect(view, "create", G_CALLBACK(noNewView), nullptr);
}

}  // namespace web
