#pragma once

// Runs the real binaries the way a user would, and serves them local pages.

#include <sys/resource.h>
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace test_runs {

struct Options {
  std::vector<std::string> env{};  // NAME=value, added to the child's environment
  std::vector<uint8_t> input{};    // standard input, through a pipe
  size_t piece = 1 << 20;          // bytes per write into that pipe
  int pauseMs = 0;                 // between pieces
  bool nonBlockingInput = false;
  std::string stdoutPath{};   // instead of a file in the run's folder
  int closedDescriptor = -1;  // 0, 1 or 2: the child starts without it
  rlim_t fileSizeLimit = RLIM_INFINITY;
};

struct Outcome {
  int status = -1;  // exit status, or 128 + signal
  std::string out, err;
};

// Starts `binary`; its output goes to files in `dir` named after `tag`. The
// write end of its input pipe goes to `input`, or is closed without one.
// run() also feeds options.input and waits.
pid_t start(const std::string& binary, const std::vector<std::string>& args,
            const std::filesystem::path& dir, const Options& options = {},
            const std::string& tag = "run", int* input = nullptr);
Outcome wait(pid_t pid, const std::filesystem::path& dir, const std::string& tag = "run");
Outcome run(const std::string& binary, const std::vector<std::string>& args,
            const std::filesystem::path& dir, const Options& options = {});

std::string slurp(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& content);

// The recorder as a user runs it: in a decimal-comma locale, with HOME and
// TMPDIR pointing at `dir`/home and `dir`/tmp.
Options recorderOptions(const std::filesystem::path& dir);
// What a recorder run with recorderOptions(dir) left behind, "" if nothing:
// files under its HOME or TMPDIR, live processes that carry its environment.
std::string leftovers(const std::filesystem::path& dir);
// file:// URL of a page under tests/pages, with an optional query.
std::string pageUrl(const std::string& name, const std::string& query = "");

// A movie's sound from `from` seconds for `seconds`, as FFmpeg's own EBU
// R128 meter hears it: integrated loudness (LUFS) and true peak (dBTP).
struct Loudness {
  double integrated = 0, truePeak = 0;
};
Loudness measuredLoudness(const std::filesystem::path& movie, double from, double seconds);

// An HTTP server on 127.0.0.1 with fixed responses per path.
class PageServer {
 public:
  struct Response {
    std::string status = "200 OK";
    std::string headers = "Content-Type: text/html\r\n";
    std::string body{};
    // Lines the request must hold ("X-Token: 1"); a request without all of
    // them gets a red 401 that asks for Basic credentials.
    std::vector<std::string> needs{};
    int delayMs = 0;  // before the answer: a slow server
  };
  explicit PageServer(std::map<std::string, Response> routes);
  ~PageServer();
  std::string url(const std::string& path = "/", const std::string& host = "127.0.0.1") const;
  int port() const { return port_; }
  void route(const std::string& path, Response response);  // added or replaced
  std::string request(const std::string& path);  // the last one's head and body, "" if none
  bool delivered(const std::string& path);       // a whole body was sent to a client

 private:
  void serve(int client);
  std::map<std::string, Response> routes_;
  int listener_ = -1;
  int port_ = 0;
  std::thread acceptor_;
  std::vector<std::thread> clients_;
  std::mutex mutex_;
  std::map<std::string, std::string> requests_;
  std::map<std::string, bool> delivered_;
};

}  // namespace test_runs
