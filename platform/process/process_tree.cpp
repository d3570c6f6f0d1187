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
#include <optional>

namespace process {

namespace {

struct Stat {
  pid_t parent;
  uint64_t startTime;  // clock ticks after boot
  int64_t residentPages;
};

// Fields of /proc/<pid>/stat. The command name, second, may itself hold
// spaces and parentheses; the rest follow its closing parenthesis.
std::optional<Stat> readStat(pid_t pid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  char text[1024];
  ssize_t n = read(fd, text, sizeof text - 1);
  close(fd);
  if (n <= 0) return std::nullopt;
  text[n] = '\0';
  const char* end = std::strrchr(text, ')');
  if (!end) return std::nullopt;
  Stat stat{};
  long long parent = 0, startTime = 0, resident = 0;
  // state ppid pgrp session tty tpgid flags minflt cminflt majflt cmajflt
  // utime stime cutime cstime priority nice threads itrealvalue starttime
  // vsize rss
  if (std::sscanf(end + 1,
                  " %*c %lld %*d %*d %*d %*d %*u %*u %*u %*u %*u %*u %*u %*d %*d %*d %*d %*d "
                  "%*d %lld %*u %lld",
                  &parent, &startTime, &resident) != 3)
    return std::nullopt;
  stat.parent = static_cast<pid_t>(parent);
  stat.startTime = static_cast<uint64_t>(startTime);
  stat.residentPages = resident;
  return stat;
}

template <typename Visit>
void forEachProcess(Visit visit) {
  DIR* proc = opendir("/proc");
  if (!proc) return;
  while (dirent* entry = readdir(proc)) {
    if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
    pid_t pid = static_cast<pid_t>(std::strtol(entry->d_name, nullptr, 10));
    if (std::optional<Stat> stat = readStat(pid)) visit(pid, *stat);
  }
  closedir(proc);
}

}  // namespace

void killAndReapDescendants(pid_t watched, int* watchedStatus) {
  const pid_t self = getpid();
  for (;;) {
    // A child's pid cannot be reused before we reap it, so these kills only
    // ever reach our own children.
    forEachProcess([self](pid_t pid, const Stat& stat) {
      if (stat.parent == self) kill(pid, SIGKILL);
    });
    int status = 0;
    pid_t reaped = waitpid(-1, &status, 0);
    if (reaped < 0) {
      if (errno == EINTR) continue;
      return;  // ECHILD: nothing is left
    }
    if (reaped == watched && watchedStatus) *watchedStatus = status;
  }
}

void MemoryCeiling::enforce(double now, double rescanSeconds) {
  if (now >= nextScan_) {
    nextScan_ = now + rescanSeconds;
    std::vector<std::pair<pid_t, Stat>> all;
    forEachProcess([&all](pid_t pid, const Stat& stat) { all.emplace_back(pid, stat); });
    std::vector<pid_t> below{root_};
    known_.clear();
    for (size_t next = 0; next < below.size(); ++next) {
      for (const auto& [pid, stat] : all) {
        if (stat.parent != below[next]) continue;
        below.push_back(pid);
        known_.push_back({pid, stat.startTime});
      }
    }
  }
  const int64_t pageSize = sysconf(_SC_PAGESIZE);
  for (const Known& process : known_) {
    std::optional<Stat> stat = readStat(process.pid);
    if (stat && stat->startTime == process.startTime && stat->residentPages * pageSize > bytes_)
      kill(process.pid, SIGKILL);
  }
}

}  // namespace process
