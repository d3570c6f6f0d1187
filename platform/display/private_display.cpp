#include "platform/display/private_display.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace display {

namespace {

constexpr int kStartTimeoutMs = 15000;

// An authority file with one MIT-MAGIC-COOKIE-1 entry of 16 random bytes.
// Its address and display number are wildcards: the server reads only the
// cookie, and clients match it whatever display number the server takes.
bool writeAuthority(const std::string& path, std::string* error) {
  unsigned char cookie[16];
  if (getrandom(cookie, sizeof cookie, 0) != static_cast<ssize_t>(sizeof cookie)) {
    *error = std::strerror(errno);
    return false;
  }
  static const char kName[] = "MIT-MAGIC-COOKIE-1";
  std::string entry;
  auto field = [&entry](const void* data, size_t size) {
    entry += static_cast<char>(size >> 8);
    entry += static_cast<char>(size & 0xff);
    entry.append(static_cast<const char*>(data), size);
  };
  entry += "\xff\xff";  // FamilyWild
  field("", 0);         // address
  field("", 0);         // display number
  field(kName, sizeof kName - 1);
  field(cookie, sizeof cookie);
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  bool written =
      fd >= 0 && write(fd, entry.data(), entry.size()) == static_cast<ssize_t>(entry.size());
  if (!written) *error = std::strerror(errno);
  if (fd >= 0) close(fd);
  return written;
}

[[noreturn]] void execServer(int displayFd, pid_t parent, int width, int height,
                             const std::string& authority) {
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
  std::vector<const char*> args = {
      "Xvfb", "-displayfd", fd.c_str(), "-screen",  "0",     screen.c_str(),    "-dpi",
      "96",   "-nolisten",  "tcp",      "-noreset", "-auth", authority.c_str(), nullptr};
  execvp("Xvfb", const_cast<char* const*>(args.data()));
  _exit(127);
}

}  // namespace

bool startPrivateDisplay(int width, int height, const std::string& authority, std::string* error) {
  if (!writeAuthority(authority, error)) return false;
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
    execServer(fds[1], parent, width, height, authority);
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
      if (buffer[i] == '\n')
        complete = true;
      else if (!complete)
        number += buffer[i];
    }
  }
  close(fds[0]);
  if (!complete || number.empty()) {
    kill(child, SIGKILL);
    *error = "Xvfb não iniciou";
    return false;
  }
  setenv("DISPLAY", (":" + number).c_str(), 1);
  setenv("XAUTHORITY", authority.c_str(), 1);
  return true;
}

}  // namespace display
