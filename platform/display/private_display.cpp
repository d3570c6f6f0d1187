#include "platform/display/private_display.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace display {

namespace {

constexpr int kStartTimeoutMs = 15000;

[[noreturn]] void execServer(int displayFd, pid_t parent, int width, int height) {
  // The death signal follows the thread that forked us; the caller promises
  // that is the main thread.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(127);

  int devNull = open("/dev/null", O_RDWR);
  if (devNull >= 0) {
    dup2(devNull, STDIN_FILENO);
    dup2(devNull, STDOUT_FILENO);
    dup2(devNull, STDERR_FILENO);
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);

  std::string fd = std::to_string(displayFd);
  std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
  std::vector<const char*> args = {"Xvfb",  "-displayfd", fd.c_str(), "-screen", "0",
                                   screen.c_str(), "-dpi", "96", "-nolisten", "tcp",
                                   "-noreset", nullptr};
  execvp("Xvfb", const_cast<char* const*>(args.data()));
  _exit(127);
}

}  // namespace

bool startPrivateDisplay(int width, int height, std::string* error) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    *error = std::strerror(errno);
    return false;
  }
  pid_t parent = getpid();
  pid_t child = fork();
  if (child < 0) {
    *error = std::strerror(errno);
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  if (child == 0) {
    close(fds[0]);
    fcntl(fds[1], F_SETFD, 0);  // the server writes its display number here
    execServer(fds[1], parent, width, height);
  }
  close(fds[1]);

  // Xvfb writes the display number and a line feed once it accepts clients;
  // end of file first means it died (not installed, or refused the screen).
  std::string number;
  bool complete = false;
  while (!complete) {
    pollfd p{fds[0], POLLIN, 0};
    int ready = poll(&p, 1, kStartTimeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    char buffer[32];
    ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) {
      if (buffer[i] == '\n') complete = true;
      else if (!complete) number += buffer[i];
    }
  }
  close(fds[0]);
  if (!complete || number.empty()) {
    kill(child, SIGKILL);
    *error = "Xvfb não iniciou";
    return false;
  }
  setenv("DISPLAY", (":" + number).c_str(), 1);
  return true;
}

}  // namespace display
