#pragma once

#include <sys/types.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

// The recorder run for a front end (an agent's call, a service's job): its
// own process, its own process group, its output kept.
namespace agent {

struct RecorderOutcome {
  int status = -1;  // exit status, or 128 + signal; -1 when it did not start
  std::string out, err;
};

// The running recorder as someone who may want it stopped sees it. Its pid
// is held under a lock, so that a stop never signals a pid reaped and given
// to another process; a stop asked before the recorder runs reaches it as
// soon as it does. The recorder gets one SIGTERM, however often it is asked.
class RecorderHandle {
 public:
  void set(pid_t pid);  // 0 once it is about to be reaped
  void stop();
  bool stopAsked();

 private:
  std::mutex mutex_;
  pid_t pid_ = 0;
  bool stopAsked_ = false;
  bool signalled_ = false;
};

struct RecorderHooks {
  // The running recorder's pid, then 0 once it is about to be reaped: a
  // signal sent by this pid must be sent under the same lock that takes it.
  std::function<void(pid_t)> pid;
  // About once a second while it runs, with the seconds since it started.
  std::function<void(double)> tick;
};

// Runs `argv` (argv[0] a path) with standard input from /dev/null in a
// process group of its own, so that a signal to the front end's terminal
// is not the recording's. The recorder gets SIGTERM when the thread that
// started it dies (its guard then ends the rest of the run and removes the
// unfinished file), so that a front end killed outright leaves no recording
// running behind it.
RecorderOutcome runRecorder(const std::vector<std::string>& argv, const RecorderHooks& hooks);

}  // namespace agent
