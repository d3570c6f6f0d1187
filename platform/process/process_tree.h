#pragma once

#include <sys/types.h>

#include <cstdint>
#include <vector>

namespace process {

// Kills every child of this process with SIGKILL and reaps them, again and
// again until none is left. In a subreaper that takes every descendant: each
// orphan becomes our child as its parent dies. The exit status of `watched`,
// if it is reaped here, goes to `watchedStatus`.
void killAndReapDescendants(pid_t watched, int* watchedStatus);

// Holds every process below `root` (not `root` itself) to a resident-memory
// limit, from outside, so that it holds even for a process too busy to
// check itself.
class MemoryCeiling {
 public:
  MemoryCeiling(pid_t root, int64_t bytes) : root_(root), bytes_(bytes) {}
  // Kills (SIGKILL) every known process above the limit. Looks for new
  // processes at most once a `rescanSeconds`: a scan reads every process of
  // the machine, a check only the few of the run.
  void enforce(double now, double rescanSeconds);

  // A process as /proc knows it; the start time tells a reused pid apart.
  struct Known {
    pid_t pid;
    uint64_t startTime;
  };

 private:
  pid_t root_;
  int64_t bytes_;
  double nextScan_ = 0;
  std::vector<Known> known_;
};

}  // namespace process
