#pragma once

// Runs the real vuzizeri binary the way a user would, for end-to-end tests.

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace recorder_run {

struct Outcome {
  int status = -1;  // exit status, or 128 + signal
  std::string out;
  std::string err;
};

// Starts the recorder with `args` (without the program name) in a Brazilian
// Portuguese locale; output goes to files in `dir`. Returns the child's pid.
pid_t start(const std::vector<std::string>& args, const std::filesystem::path& dir,
            const std::string& tag = "run");
// Waits for a child started with start() and collects its output.
Outcome wait(pid_t pid, const std::filesystem::path& dir, const std::string& tag = "run");
Outcome run(const std::vector<std::string>& args, const std::filesystem::path& dir);

std::string slurp(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& content);

// A TCP socket bound to a free port on 127.0.0.1, not yet listening; the
// port goes to `port`.
int bindLoopback(int* port);

// Process ids of the running Xvfb servers.
std::vector<pid_t> xvfbServers();

// file:// URL of a page under tests/pages, with an optional query.
std::string pageUrl(const std::string& name, const std::string& query = "");

}  // namespace recorder_run
