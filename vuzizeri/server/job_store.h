#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The service's jobs, in SQLite in its folder: each change is committed
// before it is answered for, so that a restart, even after SIGKILL, finds
// every job the service ever said it had.
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
};

class JobStore {
 public:
  // Nothing, with the reason, when the database cannot be opened or made.
  static std::unique_ptr<JobStore> open(const std::string& path, std::string* why);
  // Whether the database at `path` is there and holds the jobs' table: not
  // missing, emptied, damaged, or another file.
  static bool holdsJobs(const std::string& path);
  ~JobStore();
  JobStore(const JobStore&) = delete;
  JobStore& operator=(const JobStore&) = delete;

  // Each change says whether it was committed, with why not (a full disk).
  bool add(const Job& job, std::string* why);
  std::optional<Job> find(const std::string& id);
  std::vector<Job> all();  // in the order they were posted
  // At most `count` jobs posted after the job `after` ("": from the first).
  std::vector<Job> page(const std::string& after, int64_t count);
  int64_t waiting();  // how many jobs wait
  // The oldest waiting job, now marked recording; nothing when none waits,
  // or with `why` when the mark was not committed.
  std::optional<Job> claimNext(std::string* why);
  void setProgress(const std::string& id, double seconds);
  // A job's end: pronta with its report and file, or falhou with why.
  bool finish(const std::string& id, const std::string& state, const std::string& error,
              const std::string& report, double seconds, std::string* why = nullptr);
  bool remove(const std::string& id, std::string* why = nullptr);
  // Back to waiting, first in line again: the service stopped it.
  void requeue(const std::string& id);
  // What a restart does with the jobs a stopped service was recording:
  // they end falhou, with why. Their ids, so their files can go.
  std::vector<Job> failInterrupted(const std::string& why);
  // The finished jobs that ended before `before` (Unix seconds).
  std::vector<Job> finishedBefore(int64_t before);

 private:
  explicit JobStore(sqlite3* db) : db_(db) {}
  bool done(sqlite3_stmt* statement, std::string* why);
  bool exec(const char* sql, std::string* why);
  std::vector<Job> select(const char* where, const std::string& value = "", int64_t number = 0);
  std::mutex mutex_;
  sqlite3* db_;
};

}  // namespace server
