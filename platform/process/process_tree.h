#pragma once

#include <sys/types.h>

#include <cstdint>

namespace process {

// Kills every child of this process with SIGKILL and reaps them, again and
// again until none is left. In a subreaper that takes every descendant: each
// orphan becomes our child as its parent dies. The exit status of `watched`,
// if it is reaped here, goes to `watchedStatus`.
void killAndReapDescendants(pid_t watched, int* watchedStatus);

// Kills (SIGKILL) every process below `root`, not `root` itself, whose
// resident memory exceeds `bytes`. Enforced from outside, it holds even for
// a process whose own memory checks never get to run.
void killDescendantsAbove(pid_t root, int64_t bytes);

}  // namespace process
