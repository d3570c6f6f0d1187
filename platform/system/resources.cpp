#include "platform/system/resources.h"

#include <sched.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <vector>

namespace sys {

namespace {

std::optional<std::string> firstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) return std::nullopt;
  return line;
}

std::optional<int64_t> number(const std::string& path) {
  std::optional<std::string> line = firstLine(path);
  if (!line) return std::nullopt;
  std::istringstream in(*line);
  int64_t value = 0;
  if (!(in >> value)) return std::nullopt;
  return value;
}

// Each cgroup the process is in, for one hierarchy, from its own up to the
// hierarchy's root: the folders to look in. v2 is the "0::" line, mounted at
// /sys/fs/cgroup; v1 names its controllers, mounted at /sys/fs/cgroup/<list>.
std::vector<std::string> cgroupFolders(const std::string& root, const std::string& controller) {
  std::ifstream in(root + "/proc/self/cgroup");
  std::string line;
  while (std::getline(in, line)) {
    const size_t first = line.find(':');
    const size_t second = line.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    const std::string controllers = line.substr(first + 1, second - first - 1);
    std::string path = line.substr(second + 1);
    std::string mount;
    if (controller.empty()) {
      if (line.compare(0, first, "0") != 0 || !controllers.empty()) continue;
      mount = root + "/sys/fs/cgroup";
    } else {
      std::string list = "," + controllers + ",";
      if (list.find("," + controller + ",") == std::string::npos) continue;
      mount = root + "/sys/fs/cgroup/" + controllers;
    }
    std::vector<std::string> folders;
    for (;;) {
      folders.push_back(mount + (path == "/" ? "" : path));
      if (path.empty() || path == "/") break;
      path.resize(path.rfind('/'));
      if (path.empty()) path = "/";
    }
    return folders;
  }
  return {};
}

// The smallest of `limit` over the cgroups of both kinds of hierarchy.
template <typename T>
std::optional<T> smallest(const std::string& root, const std::string& v1Controller,
                          const std::function<std::optional<T>(const std::string&, bool)>& limit) {
  std::optional<T> least;
  for (bool v2 : {true, false})
    for (const std::string& folder : cgroupFolders(root, v2 ? "" : v1Controller))
      if (std::optional<T> here = limit(folder, v2); here && (!least || *here < *least))
        least = here;
  return least;
}

}  // namespace

int affinityCpus() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return std::max(1, CPU_COUNT(&set));
}

int usableCpus(int affinity, const std::string& root) {
  std::optional<double> quota = smallest<double>(
      root, "cpu", [](const std::string& folder, bool v2) -> std::optional<double> {
        double share = 0;
        if (v2) {
          std::optional<std::string> line = firstLine(folder + "/cpu.max");
          std::istringstream in(line.value_or(""));
          std::string limit;
          double period = 0;
          if (!(in >> limit >> period) || limit == "max" || period <= 0) return std::nullopt;
          share = std::atof(limit.c_str()) / period;
        } else {
          std::optional<int64_t> limit = number(folder + "/cpu.cfs_quota_us");
          std::optional<int64_t> period = number(folder + "/cpu.cfs_period_us");
          if (!limit || !period || *limit <= 0 || *period <= 0) return std::nullopt;
          share = static_cast<double>(*limit) / static_cast<double>(*period);
        }
        return share > 0 ? std::optional(share) : std::nullopt;
      });
  int cpus = std::max(1, affinity);
  if (quota) cpus = std::min(cpus, std::max(1, static_cast<int>(std::ceil(*quota - 1e-9))));
  return cpus;
}

int64_t usableMemory(const std::string& root) {
  int64_t usable = INT64_MAX;
  std::ifstream meminfo(root + "/proc/meminfo");
  std::string key, unit;
  int64_t kib = 0;
  while (meminfo >> key >> kib >> unit)
    if (key == "MemAvailable:") usable = kib * 1024;
  std::optional<int64_t> left = smallest<int64_t>(
      root, "memory", [](const std::string& folder, bool v2) -> std::optional<int64_t> {
        std::optional<int64_t> limit =
            number(folder + (v2 ? "/memory.max" : "/memory.limit_in_bytes"));
        std::optional<int64_t> used =
            number(folder + (v2 ? "/memory.current" : "/memory.usage_in_bytes"));
        // "max" does not parse; v1 says "no limit" with a number near 2^63.
        if (!limit || !used || *limit >= (INT64_C(1) << 62)) return std::nullopt;
        return std::max<int64_t>(0, *limit - *used);
      });
  return left ? std::min(usable, *left) : usable;
}

}  // namespace sys
