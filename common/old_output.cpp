#include "common/old_output.h"

#include <sys/stat.h>
#include <unistd.h>

void removeOldOutput(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return;
  if (S_ISREG(info.st_mode) || S_ISLNK(info.st_mode)) ::unlink(path.c_str());
}
