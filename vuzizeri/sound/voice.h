#pragma once

#include <optional>
#include <string>
#include <vector>

// narrar's voice: a command that reads a line on its standard input and
// writes it as a WAV file, run without a shell and given a time limit.
namespace vuz {

// The place in a command's words where the WAV's path goes.
inline constexpr char kVoiceOutput[] = "{saida}";
// How long a line may take to be spoken into its file.
inline constexpr double kVoiceSeconds = 30;

// --voz's text as the command's words, split as a shell would split them
// (quotes and backslashes) but never run by one; nothing, with the reason,
// when it names no program or no {saida}.
std::optional<std::vector<std::string>> voiceCommand(const std::string& text, std::string* error);
// espeak-ng in `language` (a tag such as pt-BR), the voice with no --voz.
std::vector<std::string> defaultVoice(const std::string& language);
// The same voice's language alone (pt for pt-BR), when espeak-ng has no
// voice of the region; empty when there is no shorter tag.
std::string shorterLanguage(const std::string& language);

// `text` spoken by `command` into `wavPath` ({saida} replaced by it); false,
// with the reason (after "a voz"), when the command cannot start, fails,
// outlasts `limitSeconds` or writes no file there.
bool speak(const std::vector<std::string>& command, const std::string& text,
           const std::string& wavPath, double limitSeconds, std::string* error);

}  // namespace vuz
