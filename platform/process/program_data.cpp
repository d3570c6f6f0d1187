#include "platform/process/program_data.h"

#include <unistd.h>

#include <climits>

namespace process {

namespace {

// Two levels up from the executable: from <prefix>/bin/<program> to <prefix>.
std::string programPrefix() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  std::string executable = n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
  for (int level = 0; level < 2; ++level) {
    size_t slash = executable.rfind('/');
    executable.resize(slash == std::string::npos ? 0 : slash);
  }
  return executable;
}

}  // namespace

std::string programDataFolder(const std::string& name) {
  return programPrefix() + "/share/" + name;
}

std::string programLibraryFolder(const std::string& name) {
  return programPrefix() + "/lib/" + name;
}

}  // namespace process
