#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "platform/media/sound/filter_chain.h"
#include "platform/media/sound/sound_cues.h"
#include "platform/media/sound/sound_feed.h"

namespace media {

// The loudness a track is levelled to unless asked otherwise (LUFS), and
// the ceiling its true peak is held under before encoding (dBTP): the
// encoder's overshoot stays under the −1 dBTP platforms ask for.
inline constexpr double kTargetLoudness = -16;
inline constexpr double kPeakCeiling = -3;

// The movie's sound: the music under the whole track at the gain that
// brings it to the target loudness, giving way to voices, the cues over it
// as they come, all
// through a true-peak limiter (the samples looked at four times as finely,
// as a true-peak meter does).
class SoundMix final : public SoundFeed {
 public:
  // `musicGain` in dB; `cues` (may be null) are played at their level above
  // `targetLoudness`. nullptr when the limiter cannot be built, with the
  // reason in `error`.
  static std::unique_ptr<SoundMix> create(std::unique_ptr<SoundFeed> music, double musicGain,
                                          std::shared_ptr<SoundCues> cues, double targetLoudness,
                                          std::string* error);
  bool read(float* left, float* right, int count) override;
  std::string error() const override;

 private:
  SoundMix() = default;
  // Another block of the mix through the limiter onto the queues.
  bool mixMore();
  // The cues due in the block that starts at sample mixed_, added to it.
  void addCues();
  // How far the music is turned down at sample `at` for the voices about.
  float duckGain(int64_t at) const;

  std::unique_ptr<SoundFeed> music_;
  float musicGain_ = 1;
  std::shared_ptr<SoundCues> cues_;
  double targetLoudness_ = kTargetLoudness;
  std::vector<SoundCue> playing_;  // begun, perhaps not over
  int64_t mixed_ = 0;              // samples so far
  std::unique_ptr<FilterChain> limiter_;
  std::vector<float> left_, right_;       // the block being mixed
  std::deque<float> outLeft_, outRight_;  // limited, not yet read
  std::string error_;
};

// The mix of `musicPath`'s sound (none: silence), looped and levelled to
// `targetLoudness` (LUFS) as measured over its first pass (ten minutes at
// most), and of `cues`. nullptr when the music cannot be read or measured,
// with the reason in `error`.
std::unique_ptr<SoundFeed> openMix(const std::string& musicPath, double targetLoudness,
                                   std::shared_ptr<SoundCues> cues, std::string* error);

}  // namespace media
