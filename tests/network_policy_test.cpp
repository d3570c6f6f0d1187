// Which addresses the service refuses to fetch for others: the table's
// edges, addresses hidden inside IPv6, and ranges let in.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include "vuzizeri/server/network_policy.h"

namespace {

using server::NetworkPolicy;

// Why `text` is refused, "" when it is not.
std::string refusal(const NetworkPolicy& policy, const char* text) {
  sockaddr_storage storage{};
  auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
  if (inet_pton(AF_INET, text, &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
  } else {
    EXPECT_EQ(inet_pton(AF_INET6, text, &v6->sin6_addr), 1) << text;
    v6->sin6_family = AF_INET6;
  }
  return policy.refusal(reinterpret_cast<sockaddr*>(&storage));
}

TEST(NetworkPolicy, RefusesTheLocalNetworkHoweverWritten) {
  const NetworkPolicy strict(false, {});
  for (const char* local : {"127.0.0.1",
                            "127.255.255.254",
                            "10.0.0.1",
                            "172.16.0.1",
                            "172.31.255.255",
                            "192.168.1.1",
                            "169.254.169.254",
                            "100.64.0.1",
                            "100.127.255.255",
                            "0.0.0.0",
                            "224.0.0.1",
                            "255.255.255.255",
                            "::1",
                            "::",
                            "fe80::1",
                            "fc00::1",
                            "fd12:3456::1",
                            "ff02::1",
                            "::ffff:127.0.0.1",
                            "::ffff:169.254.169.254",
                            "64:ff9b::a9fe:a9fe",
                            "2002:a00:1::",
                            "::10.0.0.1"})
    EXPECT_NE(refusal(strict, local), "") << local;
  for (const char* public_ :
       {"8.8.8.8", "172.32.0.1", "172.15.255.255", "100.128.0.1", "169.255.0.1",
        "2001:4860:4860::8888", "::ffff:8.8.8.8", "2002:808:808::", "64:ff9b::808:808"})
    EXPECT_EQ(refusal(strict, public_), "") << public_;
  EXPECT_NE(refusal(strict, "169.254.169.254").find("metadados"), std::string::npos);
  EXPECT_EQ(refusal(NetworkPolicy(true, {}), "169.254.169.254"), "");
}

TEST(NetworkPolicy, LetsInOnlyTheRangesGiven) {
  for (const char* bad : {"", "10.0.0.0/33", "10.0.0.0/", "10.0.0.0/-1", "abc", "10.0.0/8",
                          "fd00::/129", "10.0.0.0/8/8"})
    EXPECT_FALSE(server::parseRange(bad)) << bad;
  const NetworkPolicy some(false,
                           {*server::parseRange("10.1.0.0/16"), *server::parseRange("fd00::/8"),
                            *server::parseRange("127.0.0.1")});
  EXPECT_EQ(refusal(some, "10.1.200.3"), "");
  EXPECT_NE(refusal(some, "10.2.0.1"), "");
  EXPECT_EQ(refusal(some, "fdff::1"), "");
  EXPECT_NE(refusal(some, "fc00::1"), "");
  EXPECT_EQ(refusal(some, "127.0.0.1"), "");
  EXPECT_NE(refusal(some, "127.0.0.2"), "");
}

TEST(NetworkPolicy, JudgesAUrlBeforeItsAddresses) {
  const NetworkPolicy strict(false, {});
  EXPECT_EQ(server::urlRefusal("file:///etc/passwd", strict), "só URLs http: e https:");
  EXPECT_EQ(server::urlRefusal("javascript:alert(1)", strict), "só URLs http: e https:");
  EXPECT_EQ(server::urlRefusal("HTTP://[::1]:8080/", strict).find("::1"), 0u);
  EXPECT_NE(server::urlRefusal("http://0x7f000001/", strict), "");
  EXPECT_EQ(server::urlRefusal("http:///nada", strict), "URL sem host");
  EXPECT_EQ(server::urlRefusal("https://127.0.0.1/", NetworkPolicy(true, {})), "");
}

}  // namespace
