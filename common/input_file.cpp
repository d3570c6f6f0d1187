#include "common/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string notRegular(mode_t mode) {
  if (S_ISDIR(mode)) return "é uma pasta";
  return "não é um arquivo comum (um FIFO, um dispositivo?)";
}

}  // namespace

std::string notAnInputFile(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return std::strerror(errno);
  return S_ISREG(info.st_mode) ? std::string() : notRegular(info.st_mode);
}

std::optional<std::string> readInputFile(const std::string& path, size_t maxBytes,
                                         std::string* reason) {
  // O_NONBLOCK: a FIFO without a writer opens at once, and is then refused.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    *reason = std::strerror(errno);
    return std::nullopt;
  }
  struct stat info {};
  std::optional<std::string> text;
  if (fstat(fd, &info) != 0) {
    *reason = std::strerror(errno);
  } else if (!S_ISREG(info.st_mode)) {
    *reason = notRegular(info.st_mode);
  } else {
    // One byte past the bound tells a file that is too long, even one that
    // grows while it is read.
    std::string content;
    char buffer[1 << 16];
    for (;;) {
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        *reason = std::strerror(errno);
        break;
      }
      if (n == 0) {
        text = std::move(content);
        break;
      }
      content.append(buffer, static_cast<size_t>(n));
      if (content.size() > maxBytes) {
        *reason = "tem mais de " + byteCountText(maxBytes);
        break;
      }
    }
  }
  close(fd);
  return text;
}

std::string byteCountText(size_t bytes) {
  if (bytes >= (1 << 20) && bytes % (1 << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
  if (bytes >= (1 << 10) && bytes % (1 << 10) == 0) return std::to_string(bytes >> 10) + " KiB";
  return std::to_string(bytes) + " bytes";
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat x {
  }, y{};
  return stat(a.c_str(), &x) == 0 && stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
         x.st_ino == y.st_ino;
}
