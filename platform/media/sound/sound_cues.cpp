#include "platform/media/sound/sound_cues.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/media/reader/sound_source.h"

namespace media {

void SoundCues::add(SoundCue cue) {
  std::lock_guard lock(mutex_);
  cues_.push_back(std::move(cue));
}

std::vector<SoundCue> SoundCues::takeBefore(int64_t end) {
  std::lock_guard lock(mutex_);
  std::vector<SoundCue> due;
  auto later = std::stable_partition(cues_.begin(), cues_.end(),
                                     [end](const SoundCue& c) { return c.start < end; });
  due.assign(cues_.begin(), later);
  cues_.erase(cues_.begin(), later);
  return due;
}

namespace {

// A struck tone: `hertz` with its octave, dying away over `decay` seconds,
// with a little noise on its attack, `seconds` long, normalised to 1.
std::shared_ptr<const std::vector<float>> strike(double hertz, double decay, double seconds) {
  const size_t n = static_cast<size_t>(seconds * kSoundRate);
  std::vector<float> s(n);
  uint32_t noise = 12345;  // the same every run
  for (size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / kSoundRate;
    noise = noise * 1664525u + 1013904223u;
    const double hiss = (static_cast<double>(noise >> 8) / (1 << 24) - 0.5) * std::exp(-t / 0.001);
    const double w = 2 * std::numbers::pi * hertz * t;
    // A 1 ms rise keeps the start from clicking harder than meant.
    const double rise = std::min(1.0, t / 0.001);
    s[i] = static_cast<float>(rise * (std::sin(w) + 0.4 * std::sin(2 * w)) * std::exp(-t / decay) +
                              hiss);
  }
  const float peak = *std::max_element(s.begin(), s.end(),
                                       [](float a, float b) { return std::abs(a) < std::abs(b); });
  for (float& v : s) v /= std::abs(peak);
  return std::make_shared<const std::vector<float>>(std::move(s));
}

}  // namespace

const std::shared_ptr<const std::vector<float>>& touchClick() {
  static const auto click = strike(1100, 0.006, 0.04);
  return click;
}

const std::shared_ptr<const std::vector<float>>& keyTick() {
  static const auto tick = strike(3200, 0.002, 0.015);
  return tick;
}

SoundCue fingerCue(double seconds, bool key) {
  // Peaks in dB above the track's loudness: short enough to be heard at
  // once without standing out.
  constexpr double kTouchLevel = 8, kKeyLevel = 4;
  return {std::llround(seconds * kSoundRate), key ? keyTick() : touchClick(),
          key ? kKeyLevel : kTouchLevel};
}

SoundCue voiceCue(std::vector<float> samples, double loudness) {
  // A line the meter hardly hears is not raised into its noise.
  constexpr double kMostGain = 40;
  return {0, std::make_shared<const std::vector<float>>(std::move(samples)),
          std::min(kMostGain, -loudness), true};
}

}  // namespace media
