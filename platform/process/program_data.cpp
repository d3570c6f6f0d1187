#include "platform/process/program_data.h"

#include <unistd.h>

#include <climits>

namespace process {

std::string programDataFolder(const std::string& name) {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  std::string executable = n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
  // Two levels up: from <prefix>/bin/<program> to <prefix>.
  for (int level = 0; level < 2; ++level) {
    size_t slash = executable.rfind('/');
    executable.resize(slash == std::string::npos ? 0 : slash);
  }
  return executable + "/share/" + name;
}

}  // namespace process
