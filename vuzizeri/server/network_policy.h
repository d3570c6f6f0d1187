#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Which addresses the service may fetch pages from for others. A service
// that loads any URL it is given must not become a way into the network it
// runs in: its own loopback, the private ranges, link-local addresses (the
// cloud's metadata address among them) and the like are refused unless the
// operator lets them in, wholly or a range at a time.
namespace server {

// An address range, "10.1.2.0/24", "fd00::/8" or a single address.
struct AddressRange {
  int family = 0;  // AF_INET or AF_INET6
  uint8_t bytes[16] = {};
  int prefix = 0;
  bool holds(int family, const uint8_t* address) const;
};
std::optional<AddressRange> parseRange(const std::string& text);

// Why `address` (4 or 16 bytes) counts as the local network, or nothing
// for a public address. An IPv6 address that carries an IPv4 one (mapped,
// NAT64, 6to4) is judged by the IPv4 address.
std::optional<std::string> localKind(int family, const uint8_t* address);

class NetworkPolicy {
 public:
  NetworkPolicy(bool localAllowed, std::vector<AddressRange> allowed)
      : localAllowed_(localAllowed), allowed_(std::move(allowed)) {}
  bool localAllowed() const { return localAllowed_; }
  // Why the address may not be reached, or "" when it may.
  std::string refusal(const sockaddr* address) const;

 private:
  bool localAllowed_;
  std::vector<AddressRange> allowed_;
};

// The text of an address, "10.0.0.1" or "fe80::1".
std::string addressText(const sockaddr* address);

// Why `url` may not be recorded or called back: a scheme other than http or
// https, no host, or a host whose addresses (all of them, resolved now) the
// policy refuses. "" when it may.
std::string urlRefusal(const std::string& url, const NetworkPolicy& policy);

}  // namespace server
