// Runs the real recorder on local pages and reads its MP4 back.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <regex>
#include <thread>

#include "movie_probe.h"
#include "recorder_run.h"
#include "scroll_pattern.h"

namespace fs = std::filesystem;
using namespace recorder_run;

namespace {

const std::string kUsage = "uso: vuzizeri <url> <cssW> <cssH> <escala> <safeTopPt> <saida.mp4>\n";
const std::string kUserAgent =
    "Mozilla/5.0 (iPhone; CPU iPhone OS 17_0 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like "
    "Gecko) Version/17.0 Mobile/15E148 Safari/604.1";

struct Rgb {
  int r, g, b;
};

// One pixel of a decoded 4:2:0 picture, BT.709 limited range.
Rgb pixelAt(const AVFrame& f, int x, int y) {
  double Y = f.data[0][y * f.linesize[0] + x] - 16.0;
  double U = f.data[1][(y / 2) * f.linesize[1] + x / 2] - 128.0;
  double V = f.data[2][(y / 2) * f.linesize[2] + x / 2] - 128.0;
  auto clamp = [](double v) { return static_cast<int>(std::lround(std::clamp(v, 0.0, 255.0))); };
  return {clamp(1.164 * Y + 1.793 * V), clamp(1.164 * Y - 0.213 * U - 0.533 * V),
          clamp(1.164 * Y + 2.112 * U)};
}

void expectColour(const AVFrame& f, int x, int y, Rgb want, int tolerance = 10) {
  Rgb got = pixelAt(f, x, y);
  EXPECT_NEAR(got.r, want.r, tolerance) << "at " << x << "," << y;
  EXPECT_NEAR(got.g, want.g, tolerance) << "at " << x << "," << y;
  EXPECT_NEAR(got.b, want.b, tolerance) << "at " << x << "," << y;
}

scroll_pattern::LumaFrame lumaOf(const AVFrame& f, double seconds) {
  return {seconds, f.width, f.height, f.linesize[0], f.data[0]};
}

class RecorderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char templ[] = "/tmp/vuzizeri_test_XXXXXX";
    dir_ = mkdtemp(templ);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // The report line for a finished run, checked against the file.
  void expectReport(const Outcome& r, const fs::path& out) {
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "") << "nothing but the report on success";
    std::smatch m;
    ASSERT_TRUE(std::regex_match(r.out, m, std::regex("ok (.*) ([0-9]+) bytes, ([0-9]+\\.[0-9])s\n")))
        << r.out;
    EXPECT_EQ(m[1].str(), out.string());
    EXPECT_EQ(std::stoll(m[2].str()), static_cast<long long>(fs::file_size(out)));
  }

  MovieInfo probe(const fs::path& path) {
    std::string error;
    MovieInfo info = probeMovie(path, &error);
    EXPECT_EQ(error, "");
    return info;
  }

  fs::path dir_;
};

TEST_F(RecorderTest, BadCommandLinesEndWithStatusTwoAndTouchNothing) {
  fs::path out = dir_ / "keep.mp4";
  writeFile(out, "old");
  const std::string url = pageUrl("pattern.html");
  Outcome r = run({url, "390", "844", "3", "47"}, dir_);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, kUsage);
  EXPECT_EQ(r.out, "");
  const std::vector<std::vector<std::string>> refused = {
      {url, "390px", "844", "3", "47", out},  {url, "-390", "844", "3", "47", out},
      {url, "390", "844", "2,5", "47", out},  {url, "390", "844", "0", "47", out},
      {url, "390", "844", "-1", "47", out},   {url, "390", "844", "3", "844", out},
      {url, "390", "844", "3", "-1", out},    {url, "390", "844", "nan", "47", out},
      {url, "390", "844", "inf", "47", out},  {url, "390", "844", "1e300", "47", out},
      {url, "1", "1", "0.5", "0", out},       {"", "390", "844", "3", "47", out},
      {"not a url", "390", "844", "3", "47", out}};
  for (const auto& args : refused) {
    Outcome refusedRun = run(args, dir_);
    EXPECT_EQ(refusedRun.status, 2) << args[1] << " " << args[3];
    EXPECT_EQ(refusedRun.err, "");
    EXPECT_EQ(refusedRun.out, "");
  }
  EXPECT_EQ(slurp(out), "old");
}

TEST_F(RecorderTest, ShortPageGivesSixtyOneFramesUnderABandOfItsTopColour) {
  // The page fits its view: every reading is at the end. Its top is blue
  // with a one-pixel red line along the edge, which the band must not show.
  fs::path out = dir_ / "short video.mp4";
  writeFile(out, "an older file is replaced");
  const auto before = xvfbServers();
  Outcome r = run({pageUrl("pattern.html", "h=200&top=%233366cc&line=red"), "200", "300", "1",
                   "20", out.string(), "extra"},
                  dir_);
  expectReport(r, out);

  MovieInfo m = probe(out);
  EXPECT_EQ(m.codec, AV_CODEC_ID_H264);
  EXPECT_EQ(m.width, 200);
  EXPECT_EQ(m.height, 300);
  EXPECT_EQ(m.hasBFrames, 0);
  EXPECT_EQ(m.timeBase.den, 600);
  ASSERT_EQ(m.frames.size(), 61u);
  EXPECT_EQ(m.packetPts.front(), 0);
  EXPECT_TRUE(std::is_sorted(m.packetPts.begin(), m.packetPts.end()));
  EXPECT_EQ(std::adjacent_find(m.packetPts.begin(), m.packetPts.end()), m.packetPts.end());
  const std::vector<std::string> boxes = topLevelBoxes(out);
  EXPECT_LT(std::find(boxes.begin(), boxes.end(), "moov"), std::find(boxes.begin(), boxes.end(), "mdat"));

  const AVFrame& last = *m.frames.back();
  for (int y : {2, 8, 14}) expectColour(last, 100, y, {0x33, 0x66, 0xcc});
  expectColour(last, 100, 40, {0x33, 0x66, 0xcc});  // the page's own top
  expectColour(last, 100, 150, {255, 255, 255});
  EXPECT_EQ(xvfbServers(), before) << "the private display dies with the run";
}

TEST_F(RecorderTest, ScrollingPageMovesUpAtTheComputedSpeedWithoutBand) {
  // 1000 CSS px in a 400 px view: 600 px at 250 px/s.
  fs::path out = dir_ / "scroll.mp4";
  Outcome r = run({pageUrl("pattern.html", "h=1000&top=%23cc3333"), "200", "400", "1", "0",
                   out.string()},
                  dir_);
  expectReport(r, out);
  MovieInfo m = probe(out);
  ASSERT_GT(m.frames.size(), 61u);
  // No band: the first row is the page's own red top.
  expectColour(*m.frames.front(), 100, 0, {0xcc, 0x33, 0x33}, 16);

  std::vector<double> times, offsets;
  for (size_t i = 0; i < m.frames.size(); ++i) {
    double t = static_cast<double>(m.frames[i]->pts) / 600;
    if (auto offset = scroll_pattern::offsetOf(lumaOf(*m.frames[i], t), 0, 1.0)) {
      times.push_back(t);
      offsets.push_back(*offset);
    }
  }
  ASSERT_GT(offsets.size(), 20u);
  EXPECT_NEAR(offsets.back(), 600, 2) << "ends at the bottom";
  scroll_pattern::Fit fit = scroll_pattern::fitScroll(times, offsets, 250);
  EXPECT_GT(fit.samples, 20);
  EXPECT_NEAR(fit.measuredSpeed, 250, 25);
  EXPECT_LT(fit.maxError, 20) << "no jumps or stalls";
}

TEST_F(RecorderTest, FractionalScaleKeepsTruncatedSizesAndCrispEdges) {
  // scale 1.5, 101 × 101 CSS px with a 1 px band: 151 × 151 pixels, odd.
  fs::path out = dir_ / "odd.mp4";
  Outcome r = run({pageUrl("pattern.html", "h=230"), "101", "101", "1.5", "1", out.string()},
                  dir_);
  expectReport(r, out);
  MovieInfo m = probe(out);
  EXPECT_EQ(m.width, 151);
  EXPECT_EQ(m.height, 151);
  ASSERT_FALSE(m.frames.empty());
  const AVFrame& f = *m.frames.back();
  EXPECT_EQ(f.width, 151);
  EXPECT_EQ(f.height, 151);
  // At the end (offset 130) bar 2 sits at CSS y 70, pixel rows ~106–111.
  // Its left part ends at 55 % of the width: the edge is at most a couple of
  // pixels wide, not smeared by a scaler.
  int darkest = 0;
  for (int y = 1; y < f.height; ++y)
    if (f.data[0][y * f.linesize[0] + 20] < f.data[0][darkest * f.linesize[0] + 20]) darkest = y;
  ASSERT_LT(f.data[0][darkest * f.linesize[0] + 20], 60) << "a bar is in view";
  int grey = 0;
  for (int x = 60; x < 110; ++x) {
    int v = f.data[0][darkest * f.linesize[0] + x];
    if (v > 60 && v < 180) ++grey;
  }
  EXPECT_LE(grey, 3);
}

TEST_F(RecorderTest, UnusableHeightFailsAndLeavesTheOldFile) {
  fs::path out = dir_ / "keep.mp4";
  writeFile(out, "old");
  Outcome r = run({pageUrl("no_height.html"), "200", "300", "1", "20", out.string()}, dir_);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "página sem altura\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(slurp(out), "old");
}

TEST_F(RecorderTest, LaterNavigationsDoNotStartASecondRecording) {
  fs::path out = dir_ / "reload.mp4";
  Outcome r = run({pageUrl("reloading.html"), "200", "300", "1", "0", out.string()}, dir_);
  expectReport(r, out);
  MovieInfo m = probe(out);
  EXPECT_EQ(m.frames.size(), 61u);
}

TEST_F(RecorderTest, RunsSideBySideAndLeavesNoServerBehind) {
  const auto before = xvfbServers();
  fs::path a = dir_ / "a.mp4", b = dir_ / "b.mp4";
  pid_t first = start({pageUrl("pattern.html", "h=100"), "120", "160", "1", "10", a}, dir_, "a");
  pid_t second = start({pageUrl("pattern.html", "h=100"), "120", "160", "2", "10", b}, dir_, "b");
  expectReport(wait(first, dir_, "a"), a);
  expectReport(wait(second, dir_, "b"), b);
  EXPECT_EQ(probe(b).width, 240);

  // Stopped from outside, mid-run: the server goes with it.
  pid_t stopped = start({pageUrl("pattern.html"), "120", "160", "1", "10", dir_ / "c.mp4"}, dir_, "c");
  std::this_thread::sleep_for(std::chrono::seconds(2));
  EXPECT_GT(xvfbServers().size(), before.size());
  kill(stopped, SIGTERM);
  wait(stopped, dir_, "c");
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(xvfbServers(), before);
}

// A one-page web server on 127.0.0.1 that remembers the user agent it saw.
class PageServer {
 public:
  explicit PageServer(std::string page) : page_(std::move(page)) {
    listener_ = bindLoopback(&port_);
    listen(listener_, 8);
    thread_ = std::thread([this] { serve(); });
  }
  ~PageServer() {
    stopping_ = true;
    shutdown(listener_, SHUT_RDWR);
    close(listener_);
    thread_.join();
  }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }
  std::string userAgent() {
    std::lock_guard lock(mutex_);
    return userAgent_;
  }

 private:
  void serve() {
    while (!stopping_) {
      int client = accept(listener_, nullptr, nullptr);
      if (client < 0) return;
      std::string request;
      char buffer[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        ssize_t n = read(client, buffer, sizeof buffer);
        if (n <= 0) break;
        request.append(buffer, n);
      }
      std::smatch m;
      if (std::regex_search(request, m, std::regex("\r\nUser-Agent: ([^\r]*)\r\n"))) {
        std::lock_guard lock(mutex_);
        if (request.rfind("GET / ", 0) == 0) userAgent_ = m[1];
      }
      bool root = request.rfind("GET / ", 0) == 0;
      std::string body = root ? page_ : "";
      std::string response = std::string(root ? "HTTP/1.1 200 OK" : "HTTP/1.1 404 Not Found") +
                             "\r\nContent-Type: text/html\r\nContent-Length: " +
                             std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
      [[maybe_unused]] ssize_t sent = write(client, response.data(), response.size());
      close(client);
    }
  }

  std::string page_;
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::string userAgent_;
};

TEST_F(RecorderTest, PresentsThePhoneUserAgentToServerAndPage) {
  PageServer server(
      "<!doctype html><body style='margin:0'><script>"
      "document.body.style.background = navigator.userAgent === '" + kUserAgent +
      "' ? '#00ff00' : '#ff0000';</script></body>");
  fs::path out = dir_ / "ua.mp4";
  Outcome r = run({server.url(), "200", "300", "1", "0", out.string()}, dir_);
  expectReport(r, out);
  EXPECT_EQ(server.userAgent(), kUserAgent);
  MovieInfo m = probe(out);
  ASSERT_FALSE(m.frames.empty());
  expectColour(*m.frames.back(), 100, 150, {0, 255, 0}, 16);
}

}  // namespace
