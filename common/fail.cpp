#include "common/fail.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "common/progress_line.h"

namespace {

int failDescriptor = STDERR_FILENO;

}  // namespace

bool writeAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

void setFailDescriptor(int fd) { failDescriptor = fd; }

void fail(std::string_view message) {
  progress::finish();
  std::string line(message);
  line += '\n';
  writeAll(failDescriptor, line);
  _exit(1);
}

void reopenClosedStandardDescriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
    // open() takes the lowest free number, which is this one.
    int opened = open("/dev/null", O_RDWR);
    if (opened >= 0 && opened != fd) {
      dup2(opened, fd);
      close(opened);
    }
  }
}
