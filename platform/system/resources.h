#pragma once

#include <cstdint>
#include <string>

// What the process may use of the machine it runs on: the CPUs and the
// memory, as narrowed by its CPU affinity and by the cgroup (v1 or v2) of a
// container or a service. Everything under `root`, which is "/" in the
// programs and a scratch folder in tests.
namespace sys {

// The CPUs sched_getaffinity lets the process run on, at least 1.
int affinityCpus();

// The smaller of `affinity` and the CPU quota of the process's cgroup and
// of each cgroup above it (v2 cpu.max, v1 cpu.cfs_quota_us over
// cpu.cfs_period_us), rounded up; `affinity` when no quota is set or none
// can be read. At least 1.
int usableCpus(int affinity, const std::string& root = "/");

// Bytes the process may still take: the smaller of what the machine has
// available (MemAvailable in /proc/meminfo) and what its cgroup, or one
// above it, still allows (v2 memory.max − memory.current, v1
// memory.limit_in_bytes − memory.usage_in_bytes). INT64_MAX when nothing
// can be read.
int64_t usableMemory(const std::string& root = "/");

}  // namespace sys
