#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Where a video is going (--destino): a store's or a platform's rules, from
// destinos.tsv, which cites where each one comes from.
namespace vuz {

struct Target {
  std::string name;
  int64_t width = 0, height = 0;
  // Cover: the screen fills the picture, cut at most kMostCut of a side;
  // contain: it fits inside, on the frame's background.
  enum class Fit { kCover, kContain } fit = Fit::kCover;
  std::string device;  // recorded when --aparelho is not given
  int fps = 30;        // constant
  double shortestSeconds = 0, longestSeconds = 0;
  std::optional<int64_t> maxBytes;
  // H.264's bit rate, bits a second: made at the middle, never above the
  // top, checked against the top when the table gives it.
  std::optional<int64_t> lowBitRate, highBitRate;
  std::optional<int> maxLevel;  // H.264's level × 10 (4.0 is 40)
  bool proRes = false;          // --formato mov makes ProRes 422 HQ
  bool frameAllowed = false;    // --moldura
  std::optional<double> posterSeconds;

  // The bit rate H.264 is made at.
  int64_t bitRate() const {
    return lowBitRate && highBitRate ? (*lowBitRate + *highBitRate) / 2 : 10'000'000;
  }
};

// The most a covering fit may cut off one side of the screen.
inline constexpr double kMostCut = 0.01;

// destinos.tsv: one target a line, the columns its header names; nothing
// when a line is short or a value does not parse.
std::optional<std::vector<Target>> parseTargets(std::string_view text);

// The table in `folder`/destinos.tsv; nothing, with the reason in `error`,
// when it cannot be read or does not parse.
std::optional<std::vector<Target>> readTargetTable(const std::string& folder, std::string* error);

// The target named `name`, or nullptr.
const Target* targetNamed(const std::vector<Target>& targets, std::string_view name);

// "app-store-6.9, app-store-6.5 ou vertical-1080"
std::string targetNames(const std::vector<Target>& targets);

}  // namespace vuz
