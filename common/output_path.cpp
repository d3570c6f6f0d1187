#include "common/output_path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string_view>

bool isInsideSystemFolder(const std::string& path) {
  // The entry itself may be a link to anywhere; only its folder decides.
  std::string folder = path;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  size_t slash = folder.rfind('/');
  folder = slash == std::string::npos ? "." : slash == 0 ? "/" : folder.substr(0, slash);
  char resolved[PATH_MAX];
  if (!realpath(folder.c_str(), resolved)) return false;  // nothing there to remove
  std::string_view real = resolved;
  for (std::string_view system : {"/dev", "/proc", "/sys"}) {
    if (real.substr(0, system.size()) == system &&
        (real.size() == system.size() || real[system.size()] == '/'))
      return true;
  }
  return false;
}

void removeOldOutput(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return;
  if (!S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode) && !S_ISFIFO(info.st_mode) &&
      !S_ISSOCK(info.st_mode))
    return;
  if (isInsideSystemFolder(path)) return;
  ::unlink(path.c_str());
}

std::optional<FileIdentity> createNewFile(const std::string& path) {
  int fd =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  ::close(fd);
  if (!ok) return std::nullopt;
  return FileIdentity{info.st_dev, info.st_ino};
}
