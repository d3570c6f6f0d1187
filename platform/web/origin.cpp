#include "platform/web/origin.h"

#include <glib.h>

namespace web {

std::string originOf(const std::string& uri) {
  g_autoptr(GUri) parsed = g_uri_parse(uri.c_str(), G_URI_FLAGS_NONE, nullptr);
  if (!parsed || !g_uri_get_host(parsed) || !*g_uri_get_host(parsed)) return {};
  g_autofree char* scheme = g_ascii_strdown(g_uri_get_scheme(parsed), -1);
  g_autofree char* host = g_ascii_strdown(g_uri_get_host(parsed), -1);
  int port = g_uri_get_port(parsed);
  if (port < 0) port = g_str_equal(scheme, "https") ? 443 : g_str_equal(scheme, "http") ? 80 : 0;
  return std::string(scheme) + "://" + host + ":" + std::to_string(port);
}

}  // namespace web
