#include "vuzizeri/launcher/parallel.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "common/fail.h"
#include "common/output_path.h"
#include "common/progress_line.h"
#include "platform/media/av_error.h"
#include "platform/media/editing/movie_join.h"
#include "platform/process/run_guard.h"
#include "vuzizeri/launcher/parts.h"
#include "vuzizeri/report/joined_movie.h"
#include "vuzizeri/report/report.h"

extern char** environ;

namespace vuz {

namespace {

// Whoever ends the run first (this, or the guard at the time limit) is the
// only one heard.
[[noreturn]] void failOnce(const std::string& message) {
  if (!process::claimEnding())
    for (;;) pause();
  fail(message);
}

// The time limit of the whole: a part's own, and the join.
constexpr double kTimeLimitSeconds = 30 * 60 + 60;

struct Part {
  pid_t pid = -1;
  int out = -1, err = -1;  // the read ends of its standard output and error
  std::string report, message;
  int status = -1;
  bool signalled = false;  // status is then 128 + the signal
  std::string path;
};

std::string selfPath() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string("vuzizeri");
}

// Starts the part with its output and error on pipes of ours, its input on
// /dev/null, and `environment`.
bool spawnPart(Part& part, const std::string& program, const std::vector<std::string>& args,
               const std::vector<std::string>& environment) {
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0) return false;
  if (pipe2(err, O_CLOEXEC) != 0) {
    close(out[0]);
    close(out[1]);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  std::vector<char*> argv = {const_cast<char*>(program.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  const int r =
      posix_spawn(&part.pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  part.out = out[0];
  part.err = err[0];
  if (r != 0) {
    errno = r;
    part.pid = -1;
    return false;
  }
  return true;
}

// The environment of every part: ours, with its temporary files in the
// run's folder and the share of memory it may take.
std::vector<std::string> partEnvironment(const std::string& folder, int64_t parts) {
  std::vector<std::string> environment;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    if (entry.starts_with("TMPDIR=") ||
        entry.starts_with(std::string(kPartsOnMachineVariable) + "="))
      continue;
    environment.push_back(entry);
  }
  environment.push_back("TMPDIR=" + folder);
  environment.push_back(std::string(kPartsOnMachineVariable) + "=" + std::to_string(parts));
  return environment;
}

// Reads what the parts say until all have ended; the first to fail stops
// the others. Nothing, or the index of the part that failed first.
std::optional<size_t> waitForParts(std::vector<Part>& parts) {
  std::optional<size_t> failed;
  size_t running = parts.size();
  while (running > 0) {
    std::vector<pollfd> fds;
    std::vector<std::pair<size_t, bool>> owners;  // part, whether it is the error pipe
    for (size_t i = 0; i < parts.size(); ++i) {
      for (bool isErr : {false, true}) {
        const int fd = isErr ? parts[i].err : parts[i].out;
        if (fd < 0) continue;
        fds.push_back({fd, POLLIN, 0});
        owners.emplace_back(i, isErr);
      }
    }
    if (!fds.empty() && poll(fds.data(), fds.size(), 200) < 0 && errno != EINTR) break;
    for (size_t k = 0; k < fds.size(); ++k) {
      if (!(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      Part& part = parts[owners[k].first];
      int& fd = owners[k].second ? part.err : part.out;
      char buffer[4096];
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n > 0) {
        (owners[k].second ? part.message : part.report).append(buffer, static_cast<size_t>(n));
      } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        close(fd);
        fd = -1;
      }
    }
    for (size_t i = 0; i < parts.size(); ++i) {
      Part& part = parts[i];
      if (part.pid < 0 || part.status >= 0) continue;
      int status = 0;
      if (waitpid(part.pid, &status, fds.empty() ? 0 : WNOHANG) != part.pid) continue;
      part.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      part.signalled = WIFSIGNALED(status);
      --running;
      if (part.status != 0 && !failed) {
        failed = i;
        // The others are of no use now; their guards clean up after them.
        for (Part& other : parts)
          if (other.pid > 0 && other.status < 0) kill(other.pid, SIGTERM);
      }
    }
  }
  return failed;
}

// A part that said nothing: how it ended. A part's guard leaves with 128 +
// the signal its run died of, as a shell reports it.
std::string howItEnded(const Part& part) {
  const int signal = part.status - 128;
  if (!part.signalled && !(signal > 0 && signal < NSIG))
    return "terminou com o status " + std::to_string(part.status);
  const char* name = sigabbrev_np(signal);
  return "morto pelo sinal " + std::to_string(signal) +
         (name ? " (SIG" + std::string(name) + ")" : "");
}

std::string firstLine(std::string text) {
  const size_t end = text.find('\n');
  return end == std::string::npos ? text : text.substr(0, end);
}

}  // namespace

void recordInParallel(const std::vector<std::string>& given, const Arguments& a, int64_t count,
                      const StagingFile& staging) {
  const std::string folder =
      process::startGuardedRun({kTimeLimitSeconds, 0, "tempo esgotado", staging, "vuzizeri", 0});
  progress::attach(STDERR_FILENO);
  progress::show("quadro a quadro em " + std::to_string(count) + " trechos ao mesmo tempo", true);
  const std::string program = selfPath();
  const std::vector<std::string> environment = partEnvironment(folder, count);
  std::vector<Part> parts(static_cast<size_t>(count));
  for (int64_t k = 1; k <= count; ++k) {
    Part& part = parts[static_cast<size_t>(k - 1)];
    part.path = folder + "/trecho-" + std::to_string(k) + ".mp4";
    std::vector<std::string> args = partArguments(given, a, k, count, part.path);
    if (a.json) args.insert(args.begin(), "--json");
    if (!spawnPart(part, program, args, environment)) {
      const std::string reason = std::strerror(errno);
      for (Part& started : parts)
        if (started.pid > 0) kill(started.pid, SIGTERM);
      waitForParts(parts);
      failOnce("não foi possível iniciar o trecho " + std::to_string(k) + ": " + reason);
    }
  }
  if (const std::optional<size_t> failed = waitForParts(parts)) {
    const Part& part = parts[*failed];
    const std::string message = firstLine(part.message);
    if (!process::claimEnding())
      for (;;) pause();
    progress::finish();
    writeAll(STDERR_FILENO, "trecho " + std::to_string(*failed + 1) + "/" + std::to_string(count) +
                                ": " + (message.empty() ? howItEnded(part) : message) + "\n");
    _exit(part.status == 2 ? 2 : 1);
  }

  progress::show("juntando os trechos", true);
  media::silenceLibraryLog();
  std::vector<std::string> paths;
  for (const Part& part : parts) paths.push_back(part.path);
  std::string error;
  // The parts' own writers checked every frame they wrote: no need to
  // decode them again.
  const std::optional<JoinedMovie> joined =
      joinIntoPlace(paths, staging, a.outPath, media::JoinCheck::kIndexes, &error);
  if (!joined) failOnce(error);
  if (!process::claimEnding()) _exit(1);
  progress::finish();
  const std::string report =
      a.json ? joinedJsonReport(firstLine(parts.back().report), a.outPath, joined->bytes,
                                joined->seconds, joined->frames) +
                   "\n"
             : joinedReportLine(*joined);
  if (!writeAll(STDOUT_FILENO, report))
    fail(std::string("falha ao escrever o relatório: ") + std::strerror(errno));
  _exit(0);
}

}  // namespace vuz
