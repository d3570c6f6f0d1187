#include "platform/process/run_folder.h"

#include <ftw.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace process {

bool createRunFolder(const std::string& prefix, std::string* folder, std::string* error) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
  std::vector<char> path(pattern.begin(), pattern.end());
  path.push_back('\0');
  if (!mkdtemp(path.data())) {
    *error = std::strerror(errno);
    return false;
  }
  *folder = path.data();
  return true;
}

void removeTree(const std::string& folder) {
  nftw(
      folder.c_str(),
      [](const char* path, const struct stat*, int type, FTW*) {
        if (type == FTW_DP)
          rmdir(path);
        else
          unlink(path);
        return 0;
      },
      16, FTW_DEPTH | FTW_PHYS | FTW_MOUNT);
}

void confineUserFolders(const std::string& folder) {
  setenv("HOME", folder.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
  setenv("XDG_CACHE_HOME", (folder + "/cache").c_str(), 1);
  setenv("XDG_DATA_HOME", (folder + "/data").c_str(), 1);
  setenv("XDG_STATE_HOME", (folder + "/state").c_str(), 1);
  // The web engine's sandbox keeps its per-instance files here; unset, it
  // falls back to the cache folder and never removes them.
  const std::string runtime = folder + "/runtime", temporary = folder + "/tmp";
  mkdir(runtime.c_str(), 0700);
  mkdir(temporary.c_str(), 0700);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  setenv("TMPDIR", temporary.c_str(), 1);
  // The desktop's bus and settings belong to the desktop, not to a page.
  unsetenv("DBUS_SESSION_BUS_ADDRESS");
  setenv("GSETTINGS_BACKEND", "memory", 1);
}

}  // namespace process
