#include "common/output_path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
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

namespace {

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The system's reason, in the words a user acts on for the usual ones.
std::string creationError(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return "a pasta não existe";
    case EACCES:
    case EPERM:
      return "sem permissão para escrever na pasta";
    case EROFS:
      return "o sistema de arquivos é só de leitura";
    case ENOSPC:
    case EDQUOT:
      return "o disco está cheio";
    default:
      return std::strerror(error);
  }
}

}  // namespace

std::optional<StagingFile> createStagingFile(const std::string& output, std::string* reason) {
  struct stat info {};
  if (output.empty() || output.back() == '/') {
    *reason = "é uma pasta";
    return std::nullopt;
  }
  if (isInsideSystemFolder(output)) {
    *reason = "fica em /dev, /proc ou /sys";
    return std::nullopt;
  }
  const std::string folder = folderOf(output);
  if (lstat(output.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) {
      *reason = "é uma pasta";
      return std::nullopt;
    }
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) {
      *reason = "é um dispositivo";
      return std::nullopt;
    }
    // In a sticky folder only the owner of an entry, or of the folder, may
    // replace it: say so now, not after the whole recording.
    struct stat parent {};
    const uid_t me = geteuid();
    if (stat(folder.c_str(), &parent) == 0 && (parent.st_mode & S_ISVTX) && me != 0 &&
        info.st_uid != me && parent.st_uid != me) {
      *reason = "pertence a outro usuário numa pasta compartilhada";
      return std::nullopt;
    }
  }
  const size_t slash = output.rfind('/');
  const std::string name = slash == std::string::npos ? output : output.substr(slash + 1);
  const std::string stem =
      (slash == std::string::npos ? "" : output.substr(0, slash + 1)) + "." + name + ".parcial-";
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[9];
    std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
    const std::string path = stem + suffix;
    if (std::optional<FileIdentity> file = createNewFile(path)) return StagingFile{path, *file};
    if (errno != EEXIST) break;
  }
  *reason = creationError(errno);
  return std::nullopt;
}

bool moveIntoPlace(const StagingFile& staging, const std::string& output, std::string* reason) {
  if (::rename(staging.path.c_str(), output.c_str()) == 0) return true;
  *reason = creationError(errno);
  return false;
}

void removeStagingFile(const StagingFile& staging) {
  struct stat info {};
  if (::lstat(staging.path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
      info.st_dev == staging.identity.device && info.st_ino == staging.identity.inode)
    ::unlink(staging.path.c_str());
}
