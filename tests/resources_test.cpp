// What the process may use, read from cgroup and meminfo files laid out under
// a scratch root as a container would show them; and the writer's threads.

#include <gtest/gtest.h>
#include <climits>
#include <map>

#include "platform/media/thread_budget.h"
#include "platform/system/resources.h"
#include "scratch_dir.h"

namespace {

const std::string kMeminfo = "MemTotal: 65536000 kB\nMemAvailable: 60000000 kB\n";

TEST(Resources, CpusAndMemoryFromCgroupV1V2OrNone) {
  struct Case {
    const char* name;
    std::map<std::string, std::string> files;
    int cpus;        // of 64 the affinity allows
    int64_t memory;  // bytes
  };
  const int64_t available = 60000000LL * 1024;
  const Case cases[] = {
      {"no cgroup files", {{"proc/meminfo", kMeminfo}}, 64, available},
      {"v2, 2 CPUs and 3 GiB, 1 GiB used",
       {{"proc/meminfo", kMeminfo},
        {"proc/self/cgroup", "0::/pod/run\n"},
        {"sys/fs/cgroup/pod/run/cpu.max", "200000 100000\n"},
        {"sys/fs/cgroup/pod/run/memory.max", "3221225472\n"},
        {"sys/fs/cgroup/pod/run/memory.current", "1073741824\n"}},
       2,
       2147483648},
      {"v2 \"max\" here, a parent's 1.5 CPUs and 1 GiB count",
       {{"proc/meminfo", kMeminfo},
        {"proc/self/cgroup", "0::/pod/run\n"},
        {"sys/fs/cgroup/pod/run/cpu.max", "max 100000\n"},
        {"sys/fs/cgroup/pod/run/memory.max", "max\n"},
        {"sys/fs/cgroup/pod/run/memory.current", "5\n"},
        {"sys/fs/cgroup/pod/cpu.max", "150000 100000\n"},
        {"sys/fs/cgroup/pod/memory.max", "1073741824\n"},
        {"sys/fs/cgroup/pod/memory.current", "73741824\n"}},
       2,
       1000000000},
      {"v1, a quarter CPU, 2 GiB",
       {{"proc/meminfo", kMeminfo},
        {"proc/self/cgroup", "4:memory:/docker/x\n2:cpu,cpuacct:/docker/x\n1:name=systemd:/\n"},
        {"sys/fs/cgroup/cpu,cpuacct/docker/x/cpu.cfs_quota_us", "25000\n"},
        {"sys/fs/cgroup/cpu,cpuacct/docker/x/cpu.cfs_period_us", "100000\n"},
        {"sys/fs/cgroup/memory/docker/x/memory.limit_in_bytes", "2147483648\n"},
        {"sys/fs/cgroup/memory/docker/x/memory.usage_in_bytes", "147483648\n"}},
       1,
       2000000000},
      {"v1 without limits (-1, 2^63 less a page), less available than allowed",
       {{"proc/meminfo", "MemAvailable: 1000 kB\n"},
        {"proc/self/cgroup", "4:memory:/\n2:cpu,cpuacct:/\n"},
        {"sys/fs/cgroup/cpu,cpuacct/cpu.cfs_quota_us", "-1\n"},
        {"sys/fs/cgroup/cpu,cpuacct/cpu.cfs_period_us", "100000\n"},
        {"sys/fs/cgroup/memory/memory.limit_in_bytes", "9223372036854771712\n"},
        {"sys/fs/cgroup/memory/memory.usage_in_bytes", "1\n"}},
       64,
       1024000},
      {"unreadable and malformed files",
       {{"proc/self/cgroup", "0::/a\n"},
        {"sys/fs/cgroup/a/cpu.max", "lots\n"},
        {"sys/fs/cgroup/a/memory.max", "\n"}},
       64,
       INT64_MAX},
  };
  for (const Case& c : cases) {
    const test_runs::ScratchDir root("resources", c.files);
    EXPECT_EQ(sys::usableCpus(64, root.path), c.cpus) << c.name;
    EXPECT_EQ(sys::usableMemory(root.path), c.memory) << c.name;
  }
}

// One coder thread per CPU while memory lasts: 1080p ProRes needs about
// 17 MB a thread beside 58 MB of fixed buffers.
TEST(ThreadBudget, CoderThreadsFollowCpusThenMemory) {
  const int64_t fixed = media::writerMemory(true, 1920, 1080, 0);
  const int64_t perThread = media::writerMemory(true, 1920, 1080, 1) - fixed;
  EXPECT_EQ(perThread, 1920 * 1080 * 17);
  EXPECT_EQ(media::coderThreads(true, 16, INT64_MAX, 1920, 1080), 16);
  EXPECT_EQ(media::coderThreads(true, 16, fixed + 5 * perThread, 1920, 1080), 5);
  EXPECT_EQ(media::coderThreads(true, 16, fixed + perThread - 1, 1920, 1080), 0);
  EXPECT_EQ(media::coderThreads(false, 0, INT64_MAX, 1170, 2532), 1);
  for (auto [coders, converters] : {std::pair{1, 1}, {12, 1}, {13, 2}, {64, 6}})
    EXPECT_EQ(media::conversionThreads(coders), converters) << coders;
}

}  // namespace
