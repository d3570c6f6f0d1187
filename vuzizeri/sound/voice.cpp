#include "vuzizeri/sound/voice.h"

#include <fcntl.h>
#include <glib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

#include "common/shown_text.h"

extern char** environ;

namespace vuz {

std::optional<std::vector<std::string>> voiceCommand(const std::string& text, std::string* error) {
  gint count = 0;
  gchar** words = nullptr;
  GError* parseError = nullptr;
  if (!g_shell_parse_argv(text.c_str(), &count, &words, &parseError)) {
    *error = "--voz precisa de um comando: " + shownText(text);
    g_clear_error(&parseError);
    return std::nullopt;
  }
  std::vector<std::string> command(words, words + count);
  g_strfreev(words);
  if (std::none_of(command.begin(), command.end(), [](const std::string& w) {
        return w.find(kVoiceOutput) != std::string::npos;
      })) {
    *error = "--voz precisa de {saida} onde vai o arquivo WAV: " + shownText(text);
    return std::nullopt;
  }
  return command;
}

std::vector<std::string> defaultVoice(const std::string& language) {
  std::string voice = language;
  std::transform(voice.begin(), voice.end(), voice.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return {"espeak-ng", "-v", voice, "-w", kVoiceOutput, "--stdin"};
}

std::string shorterLanguage(const std::string& language) {
  const size_t dash = language.find('-');
  return dash == std::string::npos ? std::string() : language.substr(0, dash);
}

namespace {

// What the command said last on its standard error, for the reason.
std::string lastLine(const std::string& path) {
  std::ifstream in(path);
  std::string line, last;
  while (std::getline(in, line))
    if (line.find_first_not_of(" \t\r") != std::string::npos) last = line;
  return last;
}

// Waits for `pid` until `limitSeconds` have passed; then ends its group.
// Its status, or nothing when it was ended.
std::optional<int> waitWithin(pid_t pid, double limitSeconds) {
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(static_cast<int64_t>(limitSeconds * 1000));
  int status = 0;
  while (true) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid || (done < 0 && errno != EINTR)) return status;
    if (std::chrono::steady_clock::now() > deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(-pid, SIGKILL);
  waitpid(pid, &status, 0);
  return std::nullopt;
}

// The command's words with {saida} replaced by `wavPath`.
std::vector<std::string> withOutput(std::vector<std::string> command, const std::string& wavPath) {
  for (std::string& word : command)
    for (size_t at; (at = word.find(kVoiceOutput)) != std::string::npos;)
      word.replace(at, std::strlen(kVoiceOutput), wavPath);
  return command;
}

}  // namespace

bool speak(const std::vector<std::string>& command, const std::string& text,
           const std::string& wavPath, double limitSeconds, std::string* error) {
  // The text and what the command says go through files beside the WAV:
  // no pipe to fill, and nothing left open in the recorder.
  const std::string textPath = wavPath + ".txt", errorPath = wavPath + ".err";
  std::ofstream(textPath, std::ios::binary) << text << "\n";
  std::remove(wavPath.c_str());
  const std::vector<std::string> words = withOutput(command, wavPath);
  std::vector<char*> argv;
  for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, textPath.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // A group of its own, so a command that starts others is ended whole.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  std::optional<int> status;
  if (spawned == 0) status = waitWithin(pid, limitSeconds);
  const std::string said = shownText(lastLine(errorPath), 160);
  std::remove(textPath.c_str());
  std::remove(errorPath.c_str());
  struct stat file {};
  if (spawned != 0)
    *error = "não pôde ser rodada: " + shownText(words[0]) + ": " + std::strerror(spawned);
  else if (!status)
    *error = "não terminou em " + std::to_string(static_cast<int>(limitSeconds)) + " s";
  else if (!WIFEXITED(*status) || WEXITSTATUS(*status) != 0)
    *error = (WIFEXITED(*status) ? "saiu com o status " + std::to_string(WEXITSTATUS(*status))
                                 : std::string("foi interrompida por um sinal")) +
             (said.empty() ? "" : ": " + said);
  else if (stat(wavPath.c_str(), &file) != 0 || !S_ISREG(file.st_mode))
    *error = "não gravou o arquivo WAV em {saida}";
  else
    return true;
  return false;
}

}  // namespace vuz
