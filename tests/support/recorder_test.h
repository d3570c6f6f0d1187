#pragma once

// The recorder's end-to-end tests: the real binary run as a user runs it, in
// a folder of its own, and its movie read back pixel by pixel.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "movie_probe.h"
#include "scratch_dir.h"
#include "scroll_pattern.h"
#include "test_runs.h"

namespace fs = std::filesystem;

namespace test_runs {

inline PageServer::Response redirectTo(const std::string& url) {
  return {.status = "302 Found", .headers = "Location: " + url + "\r\n"};
}

struct Rgb {
  int r, g, b;
};

// One pixel of a decoded 4:2:0 picture, BT.709 limited range.
inline Rgb pixelAt(const AVFrame& f, int x, int y) {
  double Y = f.data[0][y * f.linesize[0] + x] - 16.0;
  double U = f.data[1][(y / 2) * f.linesize[1] + x / 2] - 128.0;
  double V = f.data[2][(y / 2) * f.linesize[2] + x / 2] - 128.0;
  auto clamp = [](double v) { return static_cast<int>(std::lround(std::clamp(v, 0.0, 255.0))); };
  return {clamp(1.164 * Y + 1.793 * V), clamp(1.164 * Y - 0.213 * U - 0.533 * V),
          clamp(1.164 * Y + 2.112 * U)};
}
inline int lumaAt(const AVFrame& f, int x, int y) { return f.data[0][y * f.linesize[0] + x]; }

inline bool green(Rgb c) { return c.g > 200 && c.r < 60 && c.b < 60; }

inline void expectColour(const AVFrame& f, int x, int y, Rgb want, int tolerance = 10) {
  const Rgb got = pixelAt(f, x, y);
  for (auto [value, wanted] : {std::pair{got.r, want.r}, {got.g, want.g}, {got.b, want.b}})
    EXPECT_NEAR(value, wanted, tolerance) << "at " << x << "," << y;
}

// How many points of [x0, x1) × [y0, y1) pass `is`, and their centre.
inline std::array<double, 3> blob(int x0, int y0, int x1, int y1,
                                  const std::function<bool(int x, int y)>& is) {
  double n = 0, sx = 0, sy = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      if (is(x, y)) ++n, sx += x, sy += y;
  return {n, sx / std::max(n, 1.0), sy / std::max(n, 1.0)};
}
// The pixels of [x0, x1) × [y0, y1) whose colour passes `is`.
inline int countPixels(const AVFrame& f, int x0, int y0, int x1, int y1,
                       const std::function<bool(Rgb)>& is) {
  return static_cast<int>(
      blob(x0, y0, x1, y1, [&](int x, int y) { return is(pixelAt(f, x, y)); })[0]);
}

// How far a dark bar on row `y` reaches from the left edge, up to `limit`.
inline int barFromLeft(const AVFrame& f, int y, int limit = 390) {
  int width = 0;
  while (width < limit && pixelAt(f, width, y).r < 128) ++width;
  return width;
}

// The scroll offset a frame of tests/pages/pattern.html shows, under a band
// `band` rows high, at `scale` pixels a CSS pixel.
inline std::optional<double> offsetIn(const AVFrame& f, int band, double scale = 1.0) {
  return scroll_pattern::offsetOf({0, f.width, f.height, f.linesize[0], f.data[0]}, band, scale);
}

// When sounds start in a decoded channel at 48 kHz, in seconds: where its
// level over 5 ms rises past `threshold` after 30 ms or more under it.
inline std::vector<double> soundOnsets(const std::vector<float>& samples, double threshold = 0.03) {
  constexpr size_t kWindow = 240;
  std::vector<double> onsets;
  size_t quietWindows = 6;
  for (size_t at = 0; at + kWindow <= samples.size(); at += kWindow) {
    double sum = 0;
    for (size_t i = at; i < at + kWindow; ++i) sum += samples[i] * samples[i];
    if (std::sqrt(sum / kWindow) <= threshold) {
      ++quietWindows;
      continue;
    }
    if (quietWindows >= 6) onsets.push_back(static_cast<double>(at) / 48000);
    quietWindows = 0;
  }
  return onsets;
}

class RecorderTest : public ::testing::Test {
 protected:
  // The recorder as a user runs it, with `env` added to its environment.
  pid_t start(const std::vector<std::string>& args, const std::string& tag = "run",
              const std::vector<std::string>& env = {}) {
    Options options = recorderOptions(dir_);
    options.env.insert(options.env.end(), env.begin(), env.end());
    return test_runs::start(VUZIZERI_BINARY, args, dir_, options, tag);
  }
  Outcome run(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
    return wait(start(args, "run", env), dir_);
  }

  // A finished run: the report line matches the file, and nothing of the
  // run is left (files in HOME or TMPDIR, processes).
  void expectReport(const Outcome& r, const std::filesystem::path& out) {
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "") << "nothing but the report on success";
    std::smatch m;
    ASSERT_TRUE(
        std::regex_match(r.out, m, std::regex("ok (.*) ([0-9]+) bytes, ([0-9]+\\.[0-9])s\n")))
        << r.out;
    EXPECT_EQ(m[1].str(), out.string());
    EXPECT_EQ(std::stoll(m[2].str()), static_cast<long long>(std::filesystem::file_size(out)));
    EXPECT_EQ(leftovers(dir_), "");
  }
  // The movie of a run that finished as expectReport() checks.
  MovieInfo recorded(const Outcome& r, const std::filesystem::path& out) {
    expectReport(r, out);
    return probeMovie(out);
  }
  // That of a run of `args` that writes `name` in the run's folder.
  MovieInfo record(const std::string& name, std::vector<std::string> args,
                   const std::vector<std::string>& env = {}) {
    args.push_back(dir_ / name);
    return recorded(run(args, env), dir_ / name);
  }

  // What the OCR engine (nobody here wrote it) reads in a `w` × `h` picture
  // of grey levels, as one line (psm "7") or a block ("6").
  std::string readText(int w, int h, const std::function<int(int x, int y)>& grey,
                       const std::string& psm = "7") {
    std::string image = "P5 " + std::to_string(w) + " " + std::to_string(h) + " 255\n";
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) image += static_cast<char>(grey(x, y));
    writeFile(dir_ / "text.pgm", image);
    return test_runs::run("/usr/bin/tesseract", {dir_ / "text.pgm", "-", "--psm", psm}, dir_).out;
  }

  ScratchDir scratch_{"vuzizeri_test"};
  const std::filesystem::path dir_ = scratch_.path;
};

}  // namespace test_runs

using namespace test_runs;
