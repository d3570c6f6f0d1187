#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace media {

// A sound placed on the video's clock: where it starts (samples at
// kSoundRate), what it is (mono, played in both channels) and its peak in dB
// above the loudness the track is levelled to.
struct SoundCue {
  int64_t start = 0;
  std::shared_ptr<const std::vector<float>> sound;
  double level = 0;
  // A voice: the music gives way to it.
  bool ducks = false;
};

// Sounds placed while the video is made, for the mix to play once its
// samples come: they are added on the recorder's thread and taken on the
// encoder's, which runs seconds behind.
class SoundCues {
 public:
  void add(SoundCue cue);
  // The cues that start before sample `end`, taken off the list.
  std::vector<SoundCue> takeBefore(int64_t end);

 private:
  std::mutex mutex_;
  std::vector<SoundCue> cues_;
};

// The sounds a finger makes, synthesised here: a soft click as it touches,
// a shorter, brighter tick for a key. Mono, at kSoundRate, peaking at 1.
const std::shared_ptr<const std::vector<float>>& touchClick();
const std::shared_ptr<const std::vector<float>>& keyTick();
// The one or the other at `seconds` on the video's clock, at a level that
// sits under a voice at the track's loudness.
SoundCue fingerCue(double seconds, bool key);
// A voice line (mono at kSoundRate) levelled to the track's loudness from
// its own, `loudness` (LUFS), for its start to be set.
SoundCue voiceCue(std::vector<float> samples, double loudness);

}  // namespace media
