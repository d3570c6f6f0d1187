#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/media/sound/sound_feed.h"

namespace media {

// The sound track's format: stereo at 48 kHz.
inline constexpr int kSoundRate = 48000;

// A sound file (anything FFmpeg reads that has an audio stream) as an
// endless run of stereo samples at kSoundRate: decoded, resampled, and
// started over each time it ends. Used from one thread.
class SoundSource final : public SoundFeed {
 public:
  // nullptr when the file cannot be read or gives no sound at all, with the
  // reason in `error`. Only a regular file is opened, and always as a file
  // (never as a URL or another of FFmpeg's protocols): a FIFO or a device
  // could block for ever or not be read again when the sound loops. Opening
  // gives up after kOpenSeconds. The first samples are decoded here, so a
  // file that opens but does not decode is refused now.
  static std::unique_ptr<SoundSource> open(const std::string& path, std::string* error);
  static constexpr double kOpenSeconds = 5;
  // Silence: the track a store wants under a video without sound.
  static std::unique_ptr<SoundSource> silence();
  ~SoundSource() override;
  SoundSource(const SoundSource&) = delete;
  SoundSource& operator=(const SoundSource&) = delete;

  // The next `count` samples of each channel, as floats in [−1, 1]. False
  // when decoding fails on the way; the reason, after the file's path, is
  // then in error().
  bool read(float* left, float* right, int count) override;
  std::string error() const override;
  // How many times the file has been started over so far.
  int passes() const;
  // The file's sound once, its left channel (a mono file's, at -3 dB), for
  // a source nothing has been read from yet.
  bool readWhole(std::vector<float>* left);

 private:
  struct Impl;
  explicit SoundSource(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// The gain of sample `index` of a track `total` samples long that fades out
// over its last `fade` samples: 1 before them, then falling in a straight
// line to 0 at the track's end.
float fadeOutGain(int64_t index, int64_t total, int64_t fade);

}  // namespace media
