#pragma once

#include <string>

namespace media {

// Where a sound track takes its samples: stereo at kSoundRate, for as long
// as it is read. Used from one thread.
class SoundFeed {
 public:
  virtual ~SoundFeed() = default;
  // The next `count` samples of each channel, as floats in [−1, 1]. False
  // when the sound fails on the way, with the reason in error().
  virtual bool read(float* left, float* right, int count) = 0;
  virtual std::string error() const = 0;
};

}  // namespace media
