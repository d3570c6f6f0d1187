#include "vuzizeri/server/network_policy.h"

#include <arpa/inet.h>
#include <glib.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cstring>

namespace server {
namespace {

struct Range {
  uint8_t bytes[4];
  int prefix;
  const char* kind;
};

// The IPv4 ranges that are not the public internet (RFC 6890's table).
constexpr Range kLocalV4[] = {
    {{0, 0, 0, 0}, 8, "rede \"esta\" (0.0.0.0/8)"},
    {{10, 0, 0, 0}, 8, "rede privada"},
    {{100, 64, 0, 0}, 10, "rede compartilhada do provedor"},
    {{127, 0, 0, 0}, 8, "loopback"},
    {{169, 254, 0, 0}, 16, "link-local, onde fica o endereço de metadados da nuvem"},
    {{172, 16, 0, 0}, 12, "rede privada"},
    {{192, 0, 0, 0}, 24, "rede reservada"},
    {{192, 168, 0, 0}, 16, "rede privada"},
    {{198, 18, 0, 0}, 15, "rede de testes"},
    {{224, 0, 0, 0}, 4, "multicast"},
    {{240, 0, 0, 0}, 4, "rede reservada"},
};

bool prefixMatches(const uint8_t* a, const uint8_t* b, int bits) {
  const int whole = bits / 8;
  if (std::memcmp(a, b, static_cast<size_t>(whole)) != 0) return false;
  const int rest = bits % 8;
  if (rest == 0) return true;
  const uint8_t mask = static_cast<uint8_t>(0xff << (8 - rest));
  return (a[whole] & mask) == (b[whole] & mask);
}

std::optional<std::string> localV4(const uint8_t* a) {
  for (const Range& r : kLocalV4)
    if (prefixMatches(a, r.bytes, r.prefix)) return std::string(r.kind);
  return std::nullopt;
}

}  // namespace

bool AddressRange::holds(int f, const uint8_t* address) const {
  return f == family && prefixMatches(address, bytes, prefix);
}

std::optional<AddressRange> parseRange(const std::string& text) {
  AddressRange range;
  const size_t slash = text.find('/');
  const std::string address = text.substr(0, slash);
  if (inet_pton(AF_INET, address.c_str(), range.bytes) == 1) {
    range.family = AF_INET;
    range.prefix = 32;
  } else if (inet_pton(AF_INET6, address.c_str(), range.bytes) == 1) {
    range.family = AF_INET6;
    range.prefix = 128;
  } else {
    return std::nullopt;
  }
  if (slash != std::string::npos) {
    const std::string bits = text.substr(slash + 1);
    if (bits.empty() || bits.size() > 3 ||
        bits.find_first_not_of("0123456789") != std::string::npos)
      return std::nullopt;
    const int prefix = std::stoi(bits);
    if (prefix > range.prefix) return std::nullopt;
    range.prefix = prefix;
  }
  return range;
}

std::optional<std::string> localKind(int family, const uint8_t* a) {
  if (family == AF_INET) return localV4(a);
  static const uint8_t zero[16] = {};
  static const uint8_t mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
  static const uint8_t nat64[12] = {0, 0x64, 0xff, 0x9b};
  if (std::memcmp(a, mapped, 12) == 0 || std::memcmp(a, nat64, 12) == 0) return localV4(a + 12);
  if (a[0] == 0x20 && a[1] == 0x02) return localV4(a + 2);  // 6to4
  if (std::memcmp(a, zero, 15) == 0 && (a[15] == 0 || a[15] == 1))
    return std::string(a[15] ? "loopback" : "endereço não especificado");
  if (std::memcmp(a, zero, 12) == 0) return localV4(a + 12);  // IPv4-compatible
  if ((a[0] & 0xfe) == 0xfc) return std::string("rede privada (fc00::/7)");
  if (a[0] == 0xfe && (a[1] & 0xc0) == 0x80) return std::string("link-local");
  if (a[0] == 0xfe && (a[1] & 0xc0) == 0xc0) return std::string("rede privada (fec0::/10)");
  if (a[0] == 0xff) return std::string("multicast");
  return std::nullopt;
}

std::string NetworkPolicy::refusal(const sockaddr* address) const {
  if (localAllowed_) return "";
  int family = address->sa_family;
  const uint8_t* bytes = nullptr;
  if (family == AF_INET)
    bytes =
        reinterpret_cast<const uint8_t*>(&reinterpret_cast<const sockaddr_in*>(address)->sin_addr);
  else if (family == AF_INET6)
    bytes = reinterpret_cast<const uint8_t*>(
        &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr);
  else
    return "endereço de família desconhecida";
  for (const AddressRange& range : allowed_)
    if (range.holds(family, bytes)) return "";
  const std::optional<std::string> kind = localKind(family, bytes);
  if (!kind) return "";
  return addressText(address) + " é da rede local: " + *kind;
}

std::string addressText(const sockaddr* address) {
  char text[INET6_ADDRSTRLEN] = "?";
  if (address->sa_family == AF_INET)
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
  else if (address->sa_family == AF_INET6)
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
              sizeof text);
  return text;
}

std::string urlRefusal(const std::string& url, const NetworkPolicy& policy) {
  g_autoptr(GUri) uri = g_uri_parse(url.c_str(), G_URI_FLAGS_NONE, nullptr);
  if (!uri) return "URL inválida";
  g_autofree char* lower = g_ascii_strdown(g_uri_get_scheme(uri), -1);
  const std::string scheme = lower;
  if (scheme != "http" && scheme != "https") return "só URLs http: e https:";
  const char* host = g_uri_get_host(uri);
  if (!host || !*host) return "URL sem host";
  if (policy.localAllowed()) return "";
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (const int error = getaddrinfo(host, nullptr, &hints, &found); error != 0)
    return std::string(host) + ": " + gai_strerror(error);
  std::string why;
  for (addrinfo* a = found; a && why.empty(); a = a->ai_next) why = policy.refusal(a->ai_addr);
  const bool literal = found && addressText(found->ai_addr) == host;
  freeaddrinfo(found);
  return why.empty() || literal ? why : std::string(host) + ": " + why;
}

}  // namespace server
