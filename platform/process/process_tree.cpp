#include "platform/process/process_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace process {

namespace {

// The parent's pid from /proc/<pid>/stat: the fourth field, after the
// command name, which may itself hold spaces and parentheses.
pid_t parentOf(const char* pid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%s/stat", pid);
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  char text[512];
  ssize_t n = read(fd, text, sizeof text - 1);
  close(fd);
  if (n <= 0) return -1;
  text[n] = '\0';
  const char* end = std::strrchr(text, ')');
  if (!end || end[1] != ' ' || !end[2] || end[3] != ' ') return -1;
  return static_cast<pid_t>(std::strtol(end + 4, nullptr, 10));
}

struct Process {
  pid_t pid;
  pid_t parent;
};

std::vector<Process> allProcesses() {
  std::vector<Process> all;
  DIR* proc = opendir("/proc");
  if (!proc) return all;
  while (dirent* entry = readdir(proc)) {
    if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
    all.push_back({static_cast<pid_t>(std::strtol(entry->d_name, nullptr, 10)),
                   parentOf(entry->d_name)});
  }
  closedir(proc);
  return all;
}

std::vector<pid_t> childrenOf(pid_t parent) {
  std::vector<pid_t> children;
  for (const Process& p : allProcesses())
    if (p.parent == parent) children.push_back(p.pid);
  return children;
}

std::vector<pid_t> descendantsOf(pid_t root) {
  const std::vector<Process> all = allProcesses();
  std::vector<pid_t> found{root};
  for (size_t next = 0; next < found.size(); ++next)
    for (const Process& p : all)
      if (p.parent == found[next]) found.push_back(p.pid);
  found.erase(found.begin());
  return found;
}

int64_t residentBytes(pid_t pid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/statm", static_cast<int>(pid));
  FILE* file = std::fopen(path, "re");
  if (!file) return 0;
  long long size = 0, resident = 0;
  int fields = std::fscanf(file, "%lld %lld", &size, &resident);
  std::fclose(file);
  return fields == 2 ? resident * sysconf(_SC_PAGESIZE) : 0;
}

}  // namespace

void killAndReapDescendants(pid_t watched, int* watchedStatus) {
  const pid_t self = getpid();
  for (;;) {
    // A child's pid cannot be reused before we reap it, so these kills only
    // ever reach our own children.
    for (pid_t child : childrenOf(self)) kill(child, SIGKILL);
    int status = 0;
    pid_t reaped = waitpid(-1, &status, 0);
    if (reaped < 0) {
      if (errno == EINTR) continue;
      return;  // ECHILD: nothing is left
    }
    if (reaped == watched && watchedStatus) *watchedStatus = status;
  }
}

void killDescendantsAbove(pid_t root, int64_t bytes) {
  for (pid_t pid : descendantsOf(root))
    if (residentBytes(pid) > bytes) kill(pid, SIGKILL);
}

}  // namespace process
