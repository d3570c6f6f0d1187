#pragma once

// Reads the scroll offset back from a recorded frame of tests/pages/pattern.html:
// bars every 100 CSS px, each numbered in binary boxes beside it.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace scroll_pattern {

// One decoded frame's luma plane.
struct LumaFrame {
  double seconds = 0;
  int width = 0;
  int height = 0;
  int stride = 0;
  const uint8_t* luma = nullptr;
};

// Calls `visit` for every frame of the movie, in presentation order. False
// when the file cannot be decoded.
bool forEachFrame(const std::string& path, const std::function<void(const LumaFrame&)>& visit);

// The page's scroll offset in CSS px, seen in the rows from `contentTop` down;
// nothing when no numbered bar is fully in view.
std::optional<double> offsetOf(const LumaFrame& frame, int contentTop, double scale);

// How well offsets follow offset = speed × t + c, fitted over the frames taken
// while the page moved (c free, speed given).
struct Fit {
  double intercept = 0;
  double rms = 0;
  double maxError = 0;
  double measuredSpeed = 0;  // least-squares slope, for comparison
  int samples = 0;
};
Fit fitScroll(const std::vector<double>& seconds, const std::vector<double>& offsets, double speed);

}  // namespace scroll_pattern
