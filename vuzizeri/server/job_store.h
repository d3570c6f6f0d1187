#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The service's jobs: in SQLite in its folder for one service, or in
// PostgreSQL for replicas that share it. Each change is committed before it
// is answered for, so that a restart, even after SIGKILL, finds every job
// the service ever said it had.
namespace server {

// The states a job goes through, as the API names them.
inline constexpr char kWaiting[] = "na-fila";
inline constexpr char kRecording[] = "gravando";
inline constexpr char kDone[] = "pronta";
inline constexpr char kFailed[] = "falhou";

struct Job {
  std::string id;
  std::string state;
  std::string request;  // the JSON the job was posted with
  double progress = 0;  // seconds recorded so far; the movie's length once done
  std::string error;
  std::string report;                 // the recorder's JSON report, once done
  std::string file;                   // the movie's name in the videos folder
  int64_t created = 0, finished = 0;  // Unix seconds; 0 while not finished
  std::string replica;                // who records it, among replicas
  int attempts = 0;                   // recordings begun, among replicas
};

class JobStore {
 public:
  // The SQLite queue at `path`; nothing, with the reason, when the database
  // cannot be opened or made.
  static std::unique_ptr<JobStore> open(const std::string& path, std::string* why);
  // Whether the database at `path` is there and holds the jobs' table: not
  // missing, emptied, damaged, or another file.
  static bool holdsJobs(const std::string& path);
  JobStore() = default;
  virtual ~JobStore() = default;
  JobStore(const JobStore&) = delete;
  JobStore& operator=(const JobStore&) = delete;

  // Each change says whether it was committed, with why not (a full disk).
  virtual bool add(const Job& job, std::string* why) = 0;
  virtual std::optional<Job> find(const std::string& id) = 0;
  virtual std::vector<Job> all() = 0;  // in the order they were posted
  // At most `count` jobs posted after the job `after` ("": from the first).
  virtual std::vector<Job> page(const std::string& after, int64_t count) = 0;
  virtual int64_t waiting() = 0;  // how many jobs wait
  // The oldest waiting job, now marked recording; nothing when none waits,
  // or with `why` when the mark was not committed.
  virtual std::optional<Job> claimNext(std::string* why) = 0;
  virtual void setProgress(const std::string& id, double seconds) = 0;
  // A job's end: pronta with its report and file, or falhou with why.
  virtual bool finish(const std::string& id, const std::string& state, const std::string& error,
                      const std::string& report, double seconds, std::string* why = nullptr) = 0;
  virtual bool remove(const std::string& id, std::string* why = nullptr) = 0;
  // Back to waiting, first in line again: the service stopped it.
  virtual void requeue(const std::string& id) = 0;
  // What a restart does with the jobs a stopped service was recording:
  // they end falhou, with why. Their ids, so their files can go.
  virtual std::vector<Job> failInterrupted(const std::string& why) = 0;
  // Jobs whose replica stopped renewing their lease after their last
  // attempt, now ended falhou with why; none where leases are not kept.
  virtual std::vector<Job> failLapsed(const std::string& /*why*/) { return {}; }
  // The finished jobs that ended before `before` (Unix seconds).
  virtual std::vector<Job> finishedBefore(int64_t before) = 0;
  // `wake` is called when another service on the same database queues a
  // job, until it is replaced ({}: no more calls once this returns); never
  // where no other service can share the queue.
  virtual void onQueued(std::function<void()> /*wake*/) {}
};

}  // namespace server
