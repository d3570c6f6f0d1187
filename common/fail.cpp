#include "common/fail.h"

#include <unistd.h>

#include <cerrno>
#include <string>

namespace {

int failDescriptor = STDERR_FILENO;

}  // namespace

void writeAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    text.remove_prefix(static_cast<size_t>(n));
  }
}

void setFailDescriptor(int fd) { failDescriptor = fd; }

void fail(std::string_view message) {
  std::string line(message);
  line += '\n';
  writeAll(failDescriptor, line);
  _exit(1);
}
