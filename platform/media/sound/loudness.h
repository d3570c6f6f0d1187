#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/media/reader/sound_source.h"

namespace media {

// The integrated loudness of `feed` (EBU R128, in LUFS) up to where
// `source`, read through it, starts over, or over its first `maxSeconds`:
// libavfilter's ebur128. Nothing when the sound or the library fails, with
// the reason in `error`; a sound quieter than the meter's gate gives its
// floor, −70.
std::optional<double> integratedLoudness(SoundFeed& feed, const SoundSource& source,
                                         double maxSeconds, std::string* error);

// The same of `mono` played in both channels, whole.
std::optional<double> integratedLoudness(const std::vector<float>& mono, std::string* error);

}  // namespace media
