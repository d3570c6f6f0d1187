#include "vuzizeri/agent/recorder_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

extern char** environ;

namespace agent {
namespace {

// The child's side, between fork and exec: async-signal-safe calls only.
[[noreturn]] void becomeRecorder(char* const* args, int out, int err, pid_t parent) {
  setpgid(0, 0);
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != parent) _exit(127);  // the parent died before prctl
  const int input = open("/dev/null", O_RDONLY);
  if (input < 0 || dup2(input, STDIN_FILENO) < 0 || dup2(out, STDOUT_FILENO) < 0 ||
      dup2(err, STDERR_FILENO) < 0)
    _exit(127);
  // Neither the front end's mask nor its ignored SIGPIPE is the recorder's.
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  signal(SIGPIPE, SIG_DFL);
  execve(args[0], args, environ);
  const char* why = strerror(errno);
  (void)!write(STDERR_FILENO, args[0], strlen(args[0]));
  (void)!write(STDERR_FILENO, ": ", 2);
  (void)!write(STDERR_FILENO, why, strlen(why));
  _exit(127);
}

}  // namespace

void RecorderHandle::set(pid_t pid) {
  std::lock_guard lock(mutex_);
  pid_ = pid;
  if (pid_ > 0 && stopAsked_ && !signalled_) {
    kill(pid_, SIGTERM);
    signalled_ = true;
  }
}

void RecorderHandle::stop() {
  std::lock_guard lock(mutex_);
  stopAsked_ = true;
  if (pid_ > 0 && !signalled_) {
    kill(pid_, SIGTERM);
    signalled_ = true;
  }
}

bool RecorderHandle::stopAsked() {
  std::lock_guard lock(mutex_);
  return stopAsked_;
}

RecorderOutcome runRecorder(const std::vector<std::string>& argv, const RecorderHooks& hooks) {
  RecorderOutcome f;
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    f.err = std::strerror(errno);
    return f;
  }
  if (pipe2(err, O_CLOEXEC) != 0) {
    f.err = std::strerror(errno);
    close(out[0]);
    close(out[1]);
    return f;
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) becomeRecorder(args.data(), out[1], err[1], parent);
  close(out[1]);
  close(err[1]);
  if (pid < 0) {
    f.err = std::strerror(errno);
    close(out[0]);
    close(err[0]);
    return f;
  }
  if (hooks.pid) hooks.pid(pid);
  const auto began = std::chrono::steady_clock::now();
  auto lastTick = began;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* into[2] = {&f.out, &f.err};
  for (int open = 2; open > 0;) {
    const int ready = poll(fds, 2, 1000);
    const auto now = std::chrono::steady_clock::now();
    if (hooks.tick && now - lastTick >= std::chrono::seconds(1)) {
      lastTick = now;
      hooks.tick(std::chrono::duration<double>(now - began).count());
    }
    if (ready <= 0) {
      if (ready < 0 && errno != EINTR) break;
      continue;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        into[i]->append(buffer, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (const pollfd& p : fds)
    if (p.fd >= 0) close(p.fd);
  // Reaped only once nobody can signal it by its pid any more.
  if (hooks.pid) hooks.pid(0);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  f.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return f;
}

}  // namespace agent
