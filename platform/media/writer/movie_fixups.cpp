#include "platform/media/writer/movie_fixups.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

namespace media {

namespace {

uint64_t be(const uint8_t* p, int n) {
  uint64_t v = 0;
  for (int i = 0; i < n; ++i) v = v << 8 | p[i];
  return v;
}

struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

bool readAt(int fd, void* data, size_t size, off_t offset) {
  auto* p = static_cast<uint8_t*>(data);
  while (size > 0) {
    ssize_t n = ::pread(fd, p, size, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
    offset += n;
  }
  return true;
}

// Calls `visit(type, bodyOffset, bodySize)` for each box in [begin, end).
template <typename Visit>
bool forEachBox(const std::vector<uint8_t>& data, size_t begin, size_t end, Visit visit) {
  size_t at = begin;
  while (at + 8 <= end) {
    uint64_t size = be(&data[at], 4);
    size_t header = 8;
    if (size == 1) {
      if (at + 16 > end) return false;
      size = be(&data[at + 8], 8);
      header = 16;
    } else if (size == 0) {
      size = end - at;
    }
    if (size < header || size > end - at) return false;
    visit(std::string(reinterpret_cast<const char*>(&data[at + 4]), 4), at + header,
          static_cast<size_t>(size) - header);
    at += size;
  }
  return true;
}

}  // namespace

bool setSampleDescriptionVendor(const std::string& path, const char (&vendor)[5],
                                std::string* error) {
  Fd file{::open(path.c_str(), O_RDWR | O_CLOEXEC)};
  auto systemError = [&] {
    *error = std::strerror(errno);
    return false;
  };
  if (file.fd < 0) return systemError();

  // Find the movie box among the top-level boxes without reading the media.
  off_t at = 0;
  off_t moovAt = -1;
  uint64_t moovSize = 0;
  for (;;) {
    uint8_t head[16];
    ssize_t n = ::pread(file.fd, head, 8, at);
    if (n < 0) return systemError();
    if (n < 8) break;
    uint64_t size = be(head, 4);
    if (size == 1) {
      if (!readAt(file.fd, head + 8, 8, at + 8)) return systemError();
      size = be(head + 8, 8);
    }
    if (std::memcmp(head + 4, "moov", 4) == 0) {
      moovAt = at;
      moovSize = size;
      break;
    }
    if (size < 8) break;
    at += static_cast<off_t>(size);
  }
  if (moovAt < 0 || moovSize < 8 || moovSize > (64u << 20)) {
    *error = "no movie box in the file";
    return false;
  }

  std::vector<uint8_t> moov(moovSize);
  if (!readAt(file.fd, moov.data(), moov.size(), moovAt)) return systemError();

  std::vector<size_t> vendorOffsets;
  auto descend = [&](auto&& self, size_t begin, size_t end, int depth) -> void {
    static const char* const kPath[] = {"moov", "trak", "mdia", "minf", "stbl", "stsd"};
    forEachBox(moov, begin, end, [&](const std::string& type, size_t body, size_t size) {
      if (type != kPath[depth]) return;
      if (depth < 5) {
        self(self, body, body + size, depth + 1);
        return;
      }
      // stsd: version/flags, entry count, then sample entries whose video
      // part starts with version, revision and the vendor code.
      if (size < 8) return;
      forEachBox(moov, body + 8, body + size,
                 [&](const std::string&, size_t entry, size_t entrySize) {
                   if (entrySize >= 16) vendorOffsets.push_back(entry + 12);
                 });
    });
  };
  descend(descend, 0, moov.size(), 0);
  if (vendorOffsets.empty()) {
    *error = "no sample description in the movie";
    return false;
  }
  for (size_t offset : vendorOffsets) {
    off_t where = moovAt + static_cast<off_t>(offset);
    if (::pwrite(file.fd, vendor, 4, where) != 4) return systemError();
  }
  int fd = file.fd;
  file.fd = -1;
  if (::close(fd) != 0) return systemError();
  return true;
}

}  // namespace media
