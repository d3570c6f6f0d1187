// The run time limit, which takes its full two minutes to show.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "recorder_run.h"

namespace fs = std::filesystem;

namespace {

// A loopback port nobody listens on: connections to it are refused.
int closedPort() {
  int port = 0;
  close(recorder_run::bindLoopback(&port));
  return port;
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
