#include "platform/media/sound/sound_mix.h"

#include <algorithm>
#include <cmath>

#include "platform/media/reader/sound_source.h"
#include "platform/media/sound/loudness.h"

namespace media {

namespace {

constexpr int kBlock = 1024;
// The music gives way to a voice by this much (dB), starting this many
// samples before it and coming back over as many after it.
constexpr double kDuck = 12;
constexpr int64_t kDuckLead = kSoundRate / 5, kDuckRelease = kSoundRate * 2 / 5;
// How much of the music is measured, and measured again through the
// limiter; how near the target is near enough.
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

// The gain (dB) that levels `path`'s sound to `targetLoudness`, measured on
// readers of its own, so the one that plays still starts at the beginning.
std::optional<double> levellingGain(const std::string& path, double targetLoudness,
                                    std::string* error) {
  std::unique_ptr<SoundSource> probe = SoundSource::open(path, error);
  if (!probe) return std::nullopt;
  std::optional<double> loudness = integratedLoudness(*probe, *probe, kMeasuredSeconds, error);
  if (!loudness) return std::nullopt;
  double gain = std::min(kMostGain, targetLoudness - *loudness);
  // Peaks the limiter takes off take loudness with them: measured again
  // through it, the gain is corrected (twice at most, on the first minute).
  for (int pass = 0; pass < 2; ++pass) {
    probe = SoundSource::open(path, error);
    if (!probe) return std::nullopt;
    const SoundSource& heard = *probe;
    std::unique_ptr<SoundMix> trial =
        SoundMix::create(std::move(probe), gain, nullptr, targetLoudness, error);
    if (!trial) return std::nullopt;
    loudness = integratedLoudness(*trial, heard, kCorrectedSeconds, error);
    if (!loudness) return std::nullopt;
    if (std::abs(targetLoudness - *loudness) < kCloseEnough || *loudness <= kSilence) break;
    gain = std::min(kMostGain, gain + targetLoudness - *loudness);
  }
  return gain;
}

}  // namespace

std::unique_ptr<SoundMix> SoundMix::create(std::unique_ptr<SoundFeed> music, double musicGain,
                                           std::shared_ptr<SoundCues> cues, double targetLoudness,
                                           std::string* error) {
  std::unique_ptr<SoundMix> mix(new SoundMix);
  mix->limiter_ = FilterChain::create(limiterChain(), error);
  if (!mix->limiter_) return nullptr;
  mix->music_ = std::move(music);
  mix->musicGain_ = amplitude(musicGain);
  mix->cues_ = std::move(cues);
  mix->targetLoudness_ = targetLoudness;
  mix->left_.resize(kBlock);
  mix->right_.resize(kBlock);
  return mix;
}

bool SoundMix::mixMore() {
  if (!music_->read(left_.data(), right_.data(), kBlock)) {
    error_ = music_->error();
    return false;
  }
  const int64_t end = mixed_ + kBlock;
  // A voice's cue comes early enough for the music to start giving way.
  if (cues_)
    for (SoundCue& cue : cues_->takeBefore(end + kDuckLead)) playing_.push_back(std::move(cue));
  for (int i = 0; i < kBlock; ++i) {
    const float gain = musicGain_ * duckGain(mixed_ + i);
    left_[i] *= gain;
    right_[i] *= gain;
  }
  addCues();
  const bool pushed = limiter_->push(left_.data(), right_.data(), kBlock, [this](const AVFrame& f) {
    const float* l = reinterpret_cast<const float*>(f.data[0]);
    const float* r = reinterpret_cast<const float*>(f.data[1]);
    outLeft_.insert(outLeft_.end(), l, l + f.nb_samples);
    outRight_.insert(outRight_.end(), r, r + f.nb_samples);
  });
  if (!pushed) error_ = "o limitador falhou: " + limiter_->error();
  return pushed;
}

float SoundMix::duckGain(int64_t at) const {
  double decibels = 0;
  for (const SoundCue& cue : playing_) {
    if (!cue.ducks) continue;
    const int64_t start = cue.start, end = cue.start + static_cast<int64_t>(cue.sound->size());
    if (at < start - kDuckLead || at >= end + kDuckRelease) continue;
    // Down over the lead, held under the voice, back up over the release.
    const double share = at < start ? static_cast<double>(at - (start - kDuckLead)) / kDuckLead
                         : at < end ? 1
                                    : 1 - static_cast<double>(at - end) / kDuckRelease;
    decibels = std::min(decibels, -kDuck * share);
  }
  return decibels == 0 ? 1 : amplitude(decibels);
}

void SoundMix::addCues() {
  const int64_t end = mixed_ + kBlock;
  for (const SoundCue& cue : playing_) {
    const std::vector<float>& sound = *cue.sound;
    const float gain = amplitude(targetLoudness_ + cue.level);
    // A cue that came late plays what is left of it.
    const int64_t from = std::max(mixed_, cue.start);
    const int64_t to = std::min(end, cue.start + static_cast<int64_t>(sound.size()));
    for (int64_t at = from; at < to; ++at) {
      const float v = gain * sound[static_cast<size_t>(at - cue.start)];
      left_[static_cast<size_t>(at - mixed_)] += v;
      right_[static_cast<size_t>(at - mixed_)] += v;
    }
  }
  std::erase_if(playing_, [end](const SoundCue& cue) {
    return cue.start + static_cast<int64_t>(cue.sound->size()) + (cue.ducks ? kDuckRelease : 0) <=
           end;
  });
  mixed_ = end;
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

std::unique_ptr<SoundFeed> openMix(const std::string& musicPath, double targetLoudness,
                                   std::shared_ptr<SoundCues> cues, std::string* error) {
  if (musicPath.empty())
    return SoundMix::create(SoundSource::silence(), 0, std::move(cues), targetLoudness, error);
  std::unique_ptr<SoundSource> music = SoundSource::open(musicPath, error);
  if (!music) return nullptr;
  std::optional<double> gain = levellingGain(musicPath, targetLoudness, error);
  if (!gain) return nullptr;
  return SoundMix::create(std::move(music), *gain, std::move(cues), targetLoudness, error);
}

}  // namespace media
