#include "common/fail.h"

#include <unistd.h>

#include <cerrno>
#include <string>

namespace {

void writeAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
}

int failDescriptor = STDERR_FILENO;

}  // namespace

void setFailDescriptor(int fd) { failDescriptor = fd; }

void fail(std::string_view message) {
  std::string line(message);
  line += '\n';
  writeAll(failDescriptor, line.data(), line.size());
  _exit(1);
}
