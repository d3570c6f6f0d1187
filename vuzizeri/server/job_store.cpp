#include "vuzizeri/server/job_store.h"

#include <sqlite3.h>

#include <ctime>
#include <mutex>

namespace server {
namespace {

constexpr char kSchema[] =
    "CREATE TABLE IF NOT EXISTS gravacoes ("
    " seq INTEGER PRIMARY KEY AUTOINCREMENT,"
    " id TEXT UNIQUE NOT NULL,"
    " estado TEXT NOT NULL,"
    " pedido TEXT NOT NULL,"
    " progresso REAL NOT NULL DEFAULT 0,"
    " erro TEXT NOT NULL DEFAULT '',"
    " relatorio TEXT NOT NULL DEFAULT '',"
    " arquivo TEXT NOT NULL DEFAULT '',"
    " criada INTEGER NOT NULL,"
    " terminada INTEGER NOT NULL DEFAULT 0);"
    "CREATE INDEX IF NOT EXISTS por_estado ON gravacoes (estado, seq);";

#define JOB_COLUMNS "id, estado, pedido, progresso, erro, relatorio, arquivo, criada, terminada"
constexpr char kColumns[] = "SELECT " JOB_COLUMNS " FROM gravacoes ";

using Statement = std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>;

Statement prepare(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr);
  return Statement(statement, sqlite3_finalize);
}

std::string text(sqlite3_stmt* s, int column) {
  const unsigned char* t = sqlite3_column_text(s, column);
  return t ? reinterpret_cast<const char*>(t) : "";
}

Job rowJob(sqlite3_stmt* s) {
  Job job;
  job.id = text(s, 0);
  job.state = text(s, 1);
  job.request = text(s, 2);
  job.progress = sqlite3_column_double(s, 3);
  job.error = text(s, 4);
  job.report = text(s, 5);
  job.file = text(s, 6);
  job.created = sqlite3_column_int64(s, 7);
  job.finished = sqlite3_column_int64(s, 8);
  return job;
}

void bind(sqlite3_stmt* s, int at, const std::string& value) {
  sqlite3_bind_text(s, at, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
}

// The queue of one service, in SQLite in its folder.
class SqliteJobStore final : public JobStore {
 public:
  explicit SqliteJobStore(sqlite3* db) : db_(db) {}
  ~SqliteJobStore() override { sqlite3_close(db_); }
  bool exec(const char* sql, std::string* why);
  bool add(const Job& job, std::string* why) override;
  std::optional<Job> find(const std::string& id) override;
  std::vector<Job> all() override;
  std::vector<Job> page(const std::string& after, int64_t count) override;
  int64_t waiting() override;
  std::optional<Job> claimNext(std::string* why) override;
  void setProgress(const std::string& id, double seconds) override;
  bool finish(const std::string& id, const std::string& state, const std::string& error,
              const std::string& report, double seconds, std::string* why = nullptr) override;
  bool remove(const std::string& id, std::string* why = nullptr) override;
  void requeue(const std::string& id) override;
  std::vector<Job> failInterrupted(const std::string& why) override;
  std::vector<Job> finishedBefore(int64_t before) override;

 private:
  bool done(sqlite3_stmt* statement, std::string* why);
  std::vector<Job> select(const char* where, const std::string& value = "", int64_t number = 0);
  std::mutex mutex_;
  sqlite3* db_;
};

}  // namespace

std::unique_ptr<JobStore> JobStore::open(const std::string& path, std::string* why) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                      nullptr) != SQLITE_OK) {
    *why = path + ": " + (db ? sqlite3_errmsg(db) : "sem memória");
    sqlite3_close(db);
    return nullptr;
  }
  auto store = std::make_unique<SqliteJobStore>(db);
  // WAL with full sync: a commit is on disk before its answer goes out, and
  // readers do not wait for the writer. Another service on the same file
  // waits for a lock rather than failing.
  sqlite3_busy_timeout(db, 10'000);
  if (!store->exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;", why) ||
      !store->exec(kSchema, why)) {
    *why = path + ": " + *why;
    return nullptr;
  }
  return store;
}

bool JobStore::holdsJobs(const std::string& path) {
  sqlite3* db = nullptr;
  bool holds = false;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    Statement s =
        prepare(db, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'gravacoes'");
    holds = s && sqlite3_step(s.get()) == SQLITE_ROW;
  }
  sqlite3_close(db);
  return holds;
}

bool SqliteJobStore::exec(const char* sql, std::string* why) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) == SQLITE_OK) return true;
  if (why) *why = error ? error : sqlite3_errmsg(db_);
  sqlite3_free(error);
  return false;
}

// Whether `statement` ran to its end and was committed.
bool SqliteJobStore::done(sqlite3_stmt* statement, std::string* why) {
  if (statement && sqlite3_step(statement) == SQLITE_DONE) return true;
  if (why) *why = sqlite3_errmsg(db_);
  return false;
}

bool SqliteJobStore::add(const Job& job, std::string* why) {
  std::lock_guard lock(mutex_);
  Statement s = prepare(
      db_, "INSERT INTO gravacoes (id, estado, pedido, arquivo, criada) VALUES (?, ?, ?, ?, ?)");
  bind(s.get(), 1, job.id);
  bind(s.get(), 2, job.state);
  bind(s.get(), 3, job.request);
  bind(s.get(), 4, job.file);
  sqlite3_bind_int64(s.get(), 5, job.created);
  return done(s.get(), why);
}

std::vector<Job> SqliteJobStore::select(const char* where, const std::string& value,
                                        int64_t number) {
  std::lock_guard lock(mutex_);
  Statement s = prepare(db_, std::string(kColumns) + where);
  if (!value.empty()) bind(s.get(), 1, value);
  if (number) sqlite3_bind_int64(s.get(), 1, number);
  std::vector<Job> jobs;
  while (sqlite3_step(s.get()) == SQLITE_ROW) jobs.push_back(rowJob(s.get()));
  return jobs;
}

std::optional<Job> SqliteJobStore::find(const std::string& id) {
  std::vector<Job> jobs = select("WHERE id = ?", id);
  if (jobs.empty()) return std::nullopt;
  return jobs.front();
}

std::vector<Job> SqliteJobStore::all() { return select("ORDER BY seq"); }

std::vector<Job> SqliteJobStore::page(const std::string& after, int64_t count) {
  std::lock_guard lock(mutex_);
  Statement s = prepare(db_, std::string(kColumns) +
                                 "WHERE seq > COALESCE((SELECT seq FROM gravacoes WHERE id = ?), 0)"
                                 " ORDER BY seq LIMIT ?");
  bind(s.get(), 1, after);
  sqlite3_bind_int64(s.get(), 2, count);
  std::vector<Job> jobs;
  while (sqlite3_step(s.get()) == SQLITE_ROW) jobs.push_back(rowJob(s.get()));
  return jobs;
}

int64_t SqliteJobStore::waiting() {
  std::lock_guard lock(mutex_);
  Statement s =
      prepare(db_, std::string("SELECT COUNT(*) FROM gravacoes WHERE estado = '") + kWaiting + "'");
  return sqlite3_step(s.get()) == SQLITE_ROW ? sqlite3_column_int64(s.get(), 0) : 0;
}

std::optional<Job> SqliteJobStore::claimNext(std::string* why) {
  std::lock_guard lock(mutex_);
  // One statement: no worker can take the job between the look and the mark.
  Statement s = prepare(db_, std::string("UPDATE gravacoes SET estado = '") + kRecording +
                                 "' WHERE seq = (SELECT seq FROM gravacoes WHERE estado = '" +
                                 kWaiting + "' ORDER BY seq LIMIT 1) RETURNING " JOB_COLUMNS);
  std::optional<Job> job;
  int step = sqlite3_step(s.get());
  if (step == SQLITE_ROW) job = rowJob(s.get());
  while (step == SQLITE_ROW) step = sqlite3_step(s.get());
  // The row comes before the commit: a job whose mark did not stick is
  // still waiting, and must not be recorded.
  if (step == SQLITE_DONE) return job;
  *why = sqlite3_errmsg(db_);
  return std::nullopt;
}

void SqliteJobStore::setProgress(const std::string& id, double seconds) {
  std::lock_guard lock(mutex_);
  Statement s = prepare(db_, "UPDATE gravacoes SET progresso = ? WHERE id = ?");
  sqlite3_bind_double(s.get(), 1, seconds);
  bind(s.get(), 2, id);
  sqlite3_step(s.get());
}

bool SqliteJobStore::finish(const std::string& id, const std::string& state,
                            const std::string& error, const std::string& report, double seconds,
                            std::string* why) {
  std::lock_guard lock(mutex_);
  Statement s = prepare(db_,
                        "UPDATE gravacoes SET estado = ?, erro = ?, relatorio = ?, progresso = ?,"
                        " arquivo = CASE WHEN ? = 'pronta' THEN arquivo ELSE '' END,"
                        " terminada = ? WHERE id = ?");
  bind(s.get(), 1, state);
  bind(s.get(), 2, error);
  bind(s.get(), 3, report);
  sqlite3_bind_double(s.get(), 4, seconds);
  bind(s.get(), 5, state);
  sqlite3_bind_int64(s.get(), 6, static_cast<int64_t>(std::time(nullptr)));
  bind(s.get(), 7, id);
  return done(s.get(), why);
}

bool SqliteJobStore::remove(const std::string& id, std::string* why) {
  std::lock_guard lock(mutex_);
  Statement s = prepare(db_, "DELETE FROM gravacoes WHERE id = ?");
  bind(s.get(), 1, id);
  return done(s.get(), why);
}

void SqliteJobStore::requeue(const std::string& id) {
  std::lock_guard lock(mutex_);
  Statement s = prepare(db_, std::string("UPDATE gravacoes SET estado = '") + kWaiting +
                                 "', progresso = 0 WHERE id = ?");
  bind(s.get(), 1, id);
  sqlite3_step(s.get());
}

std::vector<Job> SqliteJobStore::failInterrupted(const std::string& why) {
  std::vector<Job> interrupted =
      select(("WHERE estado = '" + std::string(kRecording) + "'").c_str());
  for (const Job& job : interrupted) finish(job.id, kFailed, why, "", 0);
  return interrupted;
}

std::vector<Job> SqliteJobStore::finishedBefore(int64_t before) {
  return select("WHERE terminada > 0 AND terminada < ? ORDER BY seq", "", before);
}

}  // namespace server
