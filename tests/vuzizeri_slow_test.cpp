// The run time limit, which takes its full two minutes to show.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>

#include "recorder_run.h"

namespace fs = std::filesystem;

namespace {

// A loopback port nobody listens on: connections to it are refused.
int closedPort() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t size = sizeof address;
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
  close(s);
  return ntohs(address.sin_port);
}

TEST(RecorderTimeLimit, RefusedConnectionEndsWithTempoEsgotado) {
  char templ[] = "/tmp/vuzizeri_slow_XXXXXX";
  fs::path dir = mkdtemp(templ);
  fs::path out = dir / "never.mp4";
  std::string url = "http://127.0.0.1:" + std::to_string(closedPort()) + "/";
  auto before = recorder_run::xvfbServers();
  recorder_run::Outcome r = recorder_run::run({url, "200", "300", "1", "20", out.string()}, dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tempo esgotado\n");
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(fs::exists(out));
  EXPECT_EQ(recorder_run::xvfbServers(), before);
  fs::remove_all(dir);
}

}  // namespace
