#include "vuzizeri/sound/narration.h"

#include <cstdio>

#include "platform/media/reader/sound_source.h"
#include "platform/media/sound/loudness.h"
#include "platform/process/run_folder.h"
#include "vuzizeri/sound/voice.h"
#include "vuzizeri/storyboard/steps.h"

namespace vuz {

bool narrates(const std::vector<StoryStep>& steps) {
  for (const StoryStep& step : steps)
    if (step.kind->word == "narrar") return true;
  return false;
}

namespace {

// A folder of the run's own for the voices' files, removed with them.
class VoiceFolder {
 public:
  VoiceFolder() {
    std::string error;
    if (!process::createRunFolder("vuzizeri-voz", &path_, &error)) path_.clear();
  }
  ~VoiceFolder() {
    if (!path_.empty()) process::removeTree(path_);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// `step`'s text spoken into `wav`: by --voz's command, or by espeak-ng in
// the language, then in the language without its region.
bool speakLine(const StoryStep& step, const VoiceSettings& settings, const std::string& wav,
               std::string* why) {
  if (settings.command) return speak(*settings.command, step.text, wav, kVoiceSeconds, why);
  if (speak(defaultVoice(settings.language), step.text, wav, kVoiceSeconds, why)) return true;
  const std::string shorter = shorterLanguage(settings.language);
  return !shorter.empty() && speak(defaultVoice(shorter), step.text, wav, kVoiceSeconds, why);
}

// The voice in `wav`, read whole and measured.
std::optional<media::SoundCue> readVoice(const std::string& wav, std::string* why) {
  std::unique_ptr<media::SoundSource> source = media::SoundSource::open(wav, why);
  std::vector<float> samples;
  if (!source || !source->readWhole(&samples)) {
    if (source) *why = source->error();
    return std::nullopt;
  }
  const std::optional<double> loudness = media::integratedLoudness(samples, why);
  if (!loudness) return std::nullopt;
  return media::voiceCue(std::move(samples), *loudness);
}

}  // namespace

bool speakNarrations(std::vector<StoryStep>& steps, const VoiceSettings& settings,
                     std::map<int, media::SoundCue>* voices, std::string* error) {
  if (!narrates(steps)) return true;
  VoiceFolder folder;
  if (folder.path().empty()) {
    *error = "narrar: não foi possível criar uma pasta temporária para a voz\n";
    return false;
  }
  for (StoryStep& step : steps) {
    if (step.kind->word != "narrar") continue;
    const std::string wav = folder.path() + "/linha-" + std::to_string(step.line) + ".wav";
    std::string why;
    std::optional<media::SoundCue> voice;
    if (speakLine(step, settings, wav, &why)) voice = readVoice(wav, &why);
    std::remove(wav.c_str());
    if (!voice) {
      *error = "--roteiro, linha " + std::to_string(step.line) + ": narrar: a voz " + why + "\n";
      return false;
    }
    step.number = static_cast<double>(voice->sound->size()) / media::kSoundRate;
    (*voices)[step.line] = std::move(*voice);
  }
  return true;
}

}  // namespace vuz
