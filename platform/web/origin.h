#pragma once

#include <string>

namespace web {

// "scheme://host:port" of an absolute URI, scheme and host in lower case and
// the port spelt out (80 for http, 443 for https): two URIs of one origin
// give the same text. Empty for a URI without a host.
std::string originOf(const std::string& uri);

}  // namespace web
