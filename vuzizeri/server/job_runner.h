#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "vuzizeri/agent/json_members.h"
#include "vuzizeri/agent/recorder_process.h"
#include "vuzizeri/agent/storyboard_check.h"
#include "vuzizeri/server/job_store.h"
#include "vuzizeri/server/network_policy.h"
#include "vuzizeri/server/webhook.h"

// The service's workers: at most K recordings at once, each the recorder's
// own sandboxed process, the rest waiting in the order they came.
namespace server {

struct RunnerSettings {
  std::string recorder;  // the vuzizeri binary
  std::string videos;    // where the movies go
  int simultaneous = 1;
  NetworkPolicy policy{false, {}};
  agent::StoryboardRules reach;  // checked again as a job starts: the rules may have changed
};

// A job as the API shows it, with its video's address when given.
vuz::JsonValue jobJson(const Job& job, const std::string& videoLink);

class JobRunner {
 public:
  JobRunner(JobStore& store, RunnerSettings settings, WebhookSender& webhooks);
  ~JobRunner();  // stop() if not stopped
  void start();
  // A job was added.
  void wake();
  // A job being recorded is stopped and removed with its file once its
  // recorder has ended; false when it is not being recorded here.
  bool cancel(const std::string& id);
  // Running recordings get SIGTERM and are waited for; their jobs wait
  // again, first in line, for the next start.
  void stop();

 private:
  struct Running {
    agent::RecorderHandle recorder;
    bool removeWhenDone = false;
  };
  void work();
  struct Ending;
  void record(const Job& job, Running& running);
  static Ending ending(const agent::RecorderOutcome& done, const std::vector<std::string>& refused,
                       const std::vector<std::string>& unreached);
  // A recording stopped for the service's stop (it waits again) or for a
  // DELETE (it goes with its file): true when it was one of those.
  bool settled(const Job& job, const Running& running, const std::string& movie,
               const agent::RecorderOutcome& done);
  // The job's end written, its failed file removed, its webhook called.
  void finish(const Job& job, JsonObject* request, const std::string& movie, const Ending& end);
  // A job another replica's death ended: its webhook called.
  void announce(const Job& job);
  // Writes a state until it sticks, ever more slowly, while the service
  // runs: a full disk neither loses a job's end nor spins. False when the
  // service stopped first.
  bool persist(const std::function<bool(std::string*)>& write);
  // After a failed write: a line to the operator, and a wait of `seconds`
  // (doubled for the next, to a minute); false once the service stops.
  bool backOff(const std::string& why, int* seconds);

  JobStore& store_;
  RunnerSettings settings_;
  WebhookSender& webhooks_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  std::map<std::string, std::shared_ptr<Running>> running_;
  std::vector<std::thread> workers_;
};

}  // namespace server
