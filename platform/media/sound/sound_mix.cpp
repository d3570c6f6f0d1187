#include "platform/media/sound/sound_mix.h"

#include <algorithm>
#include <cmath>

#include "platform/media/reader/sound_source.h"
#include "platform/media/sound/loudness.h"

namespace media {

namespace {

constexpr int kBlock = 1024;
constexpr double kMeasuredSeconds = 600;
constexpr double kCorrectedSeconds = 60;
constexpr double kCloseEnough = 0.3;  // LU
constexpr double kSilence = -70;      // the meter's floor
// A near-silent file is not raised into its own noise beyond this.
constexpr double kMostGain = 30;

float amplitude(double decibels) { return static_cast<float>(std::pow(10.0, decibels / 20)); }

// A lookahead limiter at four times the rate, no auto-levelling, its delay
// taken out so the sound keeps its place on the video's clock.
std::string limiterChain() {
  const double limit = std::pow(10.0, kPeakCeiling / 20);
  return "aresample=" + std::to_string(4 * kSoundRate) +
         ",alimiter=limit=" + std::to_string(limit) +
         ":attack=1:release=50:level=0:latency=1,aresample=" + std::to_string(kSoundRate);
}

}  // namespace

std::unique_ptr<SoundMix> SoundMix::create(std::unique_ptr<SoundFeed> music, double musicGain,
                                           std::string* error) {
  std::unique_ptr<SoundMix> mix(new SoundMix);
  mix->limiter_ = FilterChain::create(limiterChain(), error);
  if (!mix->limiter_) return nullptr;
  mix->music_ = std::move(music);
  mix->musicGain_ = amplitude(musicGain);
  mix->left_.resize(kBlock);
  mix->right_.resize(kBlock);
  return mix;
}

bool SoundMix::mixMore() {
  if (!music_->read(left_.data(), right_.data(), kBlock)) {
    error_ = music_->error();
    return false;
  }
  for (int i = 0; i < kBlock; ++i) {
    left_[i] *= musicGain_;
    right_[i] *= musicGain_;
  }
  const bool pushed = limiter_->push(left_.data(), right_.data(), kBlock, [this](const AVFrame& f) {
    const float* l = reinterpret_cast<const float*>(f.data[0]);
    const float* r = reinterpret_cast<const float*>(f.data[1]);
    outLeft_.insert(outLeft_.end(), l, l + f.nb_samples);
    outRight_.insert(outRight_.end(), r, r + f.nb_samples);
  });
  if (!pushed) error_ = "o limitador falhou: " + limiter_->error();
  return pushed;
}

bool SoundMix::read(float* left, float* right, int count) {
  while (outLeft_.size() < static_cast<size_t>(count))
    if (!mixMore()) return false;
  std::copy_n(outLeft_.begin(), count, left);
  std::copy_n(outRight_.begin(), count, right);
  outLeft_.erase(outLeft_.begin(), outLeft_.begin() + count);
  outRight_.erase(outRight_.begin(), outRight_.begin() + count);
  return true;
}

std::string SoundMix::error() const { return error_; }

std::unique_ptr<SoundFeed> levelledMusic(const std::string& path, double targetLoudness,
                                         std::string* error) {
  std::unique_ptr<SoundSource> music = SoundSource::open(path, error);
  if (!music) return nullptr;
  // Other readers measure, so the first still starts at the beginning.
  std::unique_ptr<SoundSource> probe = SoundSource::open(path, error);
  if (!probe) return nullptr;
  std::optional<double> loudness = integratedLoudness(*probe, *probe, kMeasuredSeconds, error);
  if (!loudness) return nullptr;
  double gain = std::min(kMostGain, targetLoudness - *loudness);
  // Peaks the limiter takes off take loudness with them: measured again
  // through it, the gain is corrected (twice at most, on the first minute).
  for (int pass = 0; pass < 2; ++pass) {
    probe = SoundSource::open(path, error);
    if (!probe) return nullptr;
    const SoundSource& heard = *probe;
    std::unique_ptr<SoundMix> trial = SoundMix::create(std::move(probe), gain, error);
    if (!trial) return nullptr;
    loudness = integratedLoudness(*trial, heard, kCorrectedSeconds, error);
    if (!loudness) return nullptr;
    if (std::abs(targetLoudness - *loudness) < kCloseEnough || *loudness <= kSilence) break;
    gain = std::min(kMostGain, gain + targetLoudness - *loudness);
  }
  return SoundMix::create(std::move(music), gain, error);
}

}  // namespace media
