// Loaded into the web process when the user gives request headers: puts
// them on every request for the page's own origin, and on no other, whoever
// sends it (the page, a frame, a worker, a redirect).

#include <webkit2/webkit-web-extension.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/web/origin.h"

namespace {

struct Headers {
  std::string origin;
  std::vector<std::pair<std::string, std::string>> fields;
};

Headers* headers = nullptr;

gboolean placeHeaders(WebKitWebPage*, WebKitURIRequest* request, WebKitURIResponse*, gpointer) {
  SoupMessageHeaders* fields = webkit_uri_request_get_http_headers(request);
  if (!fields) return FALSE;
  const bool own = web::originOf(webkit_uri_request_get_uri(request)) == headers->origin;
  for (const auto& [name, value] : headers->fields) {
    if (own) {
      soup_message_headers_replace(fields, name.c_str(), value.c_str());
      continue;
    }
    // WebKit carries a request's fields into the one that follows a
    // redirect, so a request for another origin may hold ours: take them
    // off. A field of that name the page set itself, to another value,
    // stays.
    const char* carried = soup_message_headers_get_one(fields, name.c_str());
    if (carried && value == carried) soup_message_headers_remove(fields, name.c_str());
  }
  return FALSE;  // the request goes on
}

void watchPage(WebKitWebExtension*, WebKitWebPage* page, gpointer) {
  g_signal_connect(page, "send-request", G_CALLBACK(placeHeaders), nullptr);
}

}  // namespace

// The user data is "(sa(ss))": the page's origin and the headers.
extern "C" G_MODULE_EXPORT void webkit_web_extension_initialize_with_user_data(
    WebKitWebExtension* extension, GVariant* data) {
  if (!data || !g_variant_is_of_type(data, G_VARIANT_TYPE("(sa(ss))"))) return;
  headers = new Headers;
  const char* origin = nullptr;
  GVariantIter* fields = nullptr;
  g_variant_get(data, "(&sa(ss))", &origin, &fields);
  headers->origin = origin;
  const char* name = nullptr;
  const char* value = nullptr;
  while (g_variant_iter_next(fields, "(&s&s)", &name, &value))
    headers->fields.emplace_back(name, value);
  g_variant_iter_free(fields);
  g_signal_connect(extension, "page-created", G_CALLBACK(watchPage), nullptr);
}
