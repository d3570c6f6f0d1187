#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/media/sound/sound_cues.h"
#include "vuzizeri/storyboard/storyboard.h"

// narrar's lines spoken before the recording starts, so that a voice that
// fails fails at once, and so that the storyboard knows how long each holds.
namespace vuz {

struct VoiceSettings {
  // --voz's words; nothing: espeak-ng in `language`.
  std::optional<std::vector<std::string>> command;
  std::string language = "en-US";
};

// Whether any of `steps` is a narrar.
bool narrates(const std::vector<StoryStep>& steps);

// Each narrar of `steps` spoken and measured: its length (seconds) becomes
// the step's number, its voice levelled in `voices` under the step's line.
// False, with "--roteiro, linha N: narrar: …" in `error`, at the first line
// whose voice fails.
bool speakNarrations(std::vector<StoryStep>& steps, const VoiceSettings& settings,
                     std::map<int, media::SoundCue>* voices, std::string* error);

}  // namespace vuz
