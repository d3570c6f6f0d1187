#include "vuzizeri/server/pg_job_store.h"

#include <glib.h>
#include <libpq-fe.h>

#include <poll.h>
#include <condition_variable>
#include <ctime>
#include <map>
#include <mutex>
#include <regex>
#include <thread>

namespace server {
namespace {

// Later columns are added where an older schema lacks them: replicas of
// two versions may share the database while one rolls out.
constexpr char kSchema[] =
    "CREATE TABLE IF NOT EXISTS gravacoes ("
    " seq BIGSERIAL PRIMARY KEY,"
    " id TEXT UNIQUE NOT NULL,"
    " estado TEXT NOT NULL,"
    " pedido TEXT NOT NULL,"
    " progresso DOUBLE PRECISION NOT NULL DEFAULT 0,"
    " erro TEXT NOT NULL DEFAULT '',"
    " relatorio TEXT NOT NULL DEFAULT '',"
    " arquivo TEXT NOT NULL DEFAULT '',"
    " criada BIGINT NOT NULL,"
    " terminada BIGINT NOT NULL DEFAULT 0);"
    "ALTER TABLE gravacoes ADD COLUMN IF NOT EXISTS replica TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE gravacoes ADD COLUMN IF NOT EXISTS tentativas INTEGER NOT NULL DEFAULT 0;"
    "ALTER TABLE gravacoes ADD COLUMN IF NOT EXISTS prazo TIMESTAMPTZ;"
    "CREATE INDEX IF NOT EXISTS por_estado ON gravacoes (estado, seq);";
// Held while the schema is made, so that replicas starting together do
// not race on it.
constexpr char kSchemaLock[] = "SELECT pg_advisory_lock(5275627)";
constexpr char kSchemaUnlock[] = "SELECT pg_advisory_unlock(5275627)";

#define PG_JOB_COLUMNS                                                                    \
  "id, estado, pedido, progresso, erro, relatorio, arquivo, criada, terminada, replica, " \
  "tentativas"
constexpr char kColumns[] = "SELECT " PG_JOB_COLUMNS " FROM gravacoes ";
// A job a replica is recording: a lease it renews.
constexpr char kLease[] = "prazo = now() + make_interval(secs => $2::int)";

using Result = std::unique_ptr<PGresult, void (*)(PGresult*)>;

std::string trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// A connection to `url`; nothing, with why, when it cannot be made.
PGconn* connect(const std::string& url, std::string* why) {
  // The URL's own connect_timeout, when it has one, comes after and wins.
  const char* keys[] = {"connect_timeout", "application_name", "dbname", nullptr};
  const char* values[] = {"4", "vuzizeri-servidor", url.c_str(), nullptr};
  PGconn* db = PQconnectdbParams(keys, values, 1);
  if (PQstatus(db) == CONNECTION_OK) return db;
  *why = trimmed(PQerrorMessage(db));
  PQfinish(db);
  return nullptr;
}

// Numbers as PostgreSQL writes and reads them, whatever the locale.
std::string number(double value) {
  char buffer[G_ASCII_DTOSTR_BUF_SIZE];
  return g_ascii_dtostr(buffer, sizeof buffer, value);
}

Job rowJob(const PGresult* r, int row) {
  auto text = [&](int column) { return std::string(PQgetvalue(r, row, column)); };
  Job job;
  job.id = text(0);
  job.state = text(1);
  job.request = text(2);
  job.progress = g_ascii_strtod(PQgetvalue(r, row, 3), nullptr);
  job.error = text(4);
  job.report = text(5);
  job.file = text(6);
  job.created = g_ascii_strtoll(PQgetvalue(r, row, 7), nullptr, 10);
  job.finished = g_ascii_strtoll(PQgetvalue(r, row, 8), nullptr, 10);
  job.replica = text(9);
  job.attempts = static_cast<int>(g_ascii_strtoll(PQgetvalue(r, row, 10), nullptr, 10));
  return job;
}

class PgJobStore final : public JobStore {
 public:
  PgJobStore(PGconn* db, std::string url, Replica replica)
      : db_(db),
        url_(std::move(url)),
        replica_(std::move(replica)),
        renewer_([this] { renew(); }) {}
  ~PgJobStore() override;
  // The schema made or brought up to date, under the advisory lock.
  bool migrate(std::string* why);
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
  // Leases end them instead: another replica's jobs are not this one's to fail.
  std::vector<Job> failInterrupted(const std::string&) override { return {}; }
  std::vector<Job> failLapsed(const std::string& why) override;
  std::vector<Job> finishedBefore(int64_t before) override;
  void onQueued(std::function<void()> wake) override;

 private:
  // `sql` run with `params`; nothing, with why, when it failed.
  Result run(const std::string& sql, const std::vector<std::string>& params, std::string* why);
  std::vector<Job> jobs(const std::string& sql, const std::vector<std::string>& params,
                        std::string* why = nullptr);
  // Every third of a lease, the leases of the jobs recorded here renewed.
  void renew();
  void release(const std::string& id);
  // Tells the other replicas a job waits.
  void announce();
  // The other replicas' announcements, until the store goes: `wake` called.
  void listen();
  bool stopped();

  std::mutex mutex_;  // one statement at a time on the connection
  PGconn* db_;
  const std::string url_;
  const Replica replica_;
  std::mutex wakeMutex_;
  std::function<void()> wake_;
  PGconn* listener_ = nullptr;
  std::thread listening_;
  std::mutex heldMutex_;
  std::condition_variable stopping_;
  bool stopped_ = false;
  std::map<std::string, int> held_;  // the jobs recorded here, with their attempt
  std::thread renewer_;
};

PgJobStore::~PgJobStore() {
  {
    std::lock_guard lock(heldMutex_);
    stopped_ = true;
  }
  stopping_.notify_all();
  renewer_.join();
  if (listening_.joinable()) listening_.join();
  PQfinish(listener_);
  PQfinish(db_);
}

Result PgJobStore::run(const std::string& sql, const std::vector<std::string>& params,
                       std::string* why) {
  std::vector<const char*> values;
  for (const std::string& p : params) values.push_back(p.c_str());
  std::lock_guard lock(mutex_);
  // A connection lost (the database restarted, a failover) is made again.
  if (PQstatus(db_) == CONNECTION_BAD) PQreset(db_);
  Result r(PQexecParams(db_, sql.c_str(), static_cast<int>(values.size()), nullptr, values.data(),
                        nullptr, nullptr, 0),
           PQclear);
  const ExecStatusType status = PQresultStatus(r.get());
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return r;
  if (why) *why = trimmed(PQerrorMessage(db_));
  return Result(nullptr, PQclear);
}

std::vector<Job> PgJobStore::jobs(const std::string& sql, const std::vector<std::string>& params,
                                  std::string* why) {
  std::vector<Job> found;
  if (Result r = run(sql, params, why))
    for (int row = 0; row < PQntuples(r.get()); ++row) found.push_back(rowJob(r.get(), row));
  return found;
}

bool PgJobStore::migrate(std::string* why) {
  if (!run(kSchemaLock, {}, why)) return false;
  std::lock_guard lock(mutex_);
  Result r(PQexec(db_, kSchema), PQclear);
  const bool made = PQresultStatus(r.get()) == PGRES_COMMAND_OK;
  if (!made) *why = trimmed(PQerrorMessage(db_));
  PQclear(PQexec(db_, kSchemaUnlock));
  return made;
}

void PgJobStore::renew() {
  std::unique_lock lock(heldMutex_);
  const auto every = std::chrono::seconds(std::max(1, replica_.leaseSeconds / 3));
  while (!stopping_.wait_for(lock, every, [this] { return stopped_; })) {
    if (held_.empty()) continue;
    std::string ids = "{";
    for (const auto& [id, attempt] : held_) ids += (ids.size() > 1 ? "," : "") + id;
    lock.unlock();
    run(std::string("UPDATE gravacoes SET ") + kLease +
            " WHERE replica = $1 AND estado = 'gravando' AND id = ANY($3::text[])",
        {replica_.name, std::to_string(replica_.leaseSeconds), ids + "}"}, nullptr);
    lock.lock();
  }
}

void PgJobStore::release(const std::string& id) {
  std::lock_guard lock(heldMutex_);
  held_.erase(id);
}

bool PgJobStore::stopped() {
  std::lock_guard lock(heldMutex_);
  return stopped_;
}

void PgJobStore::announce() { run("NOTIFY vuzizeri_fila", {}, nullptr); }

void PgJobStore::onQueued(std::function<void()> wake) {
  {
    std::lock_guard lock(wakeMutex_);
    wake_ = std::move(wake);
  }
  if (listener_ || !wake_) return;
  std::string why;
  listener_ = connect(url_, &why);
  // Without it, the replicas still look every few seconds.
  if (!listener_) return;
  PQclear(PQexec(listener_, "LISTEN vuzizeri_fila"));
  listening_ = std::thread([this] { listen(); });
}

void PgJobStore::listen() {
  while (!stopped()) {
    pollfd p{PQsocket(listener_), POLLIN, 0};
    if (poll(&p, 1, 1000) <= 0) continue;
    if (!PQconsumeInput(listener_)) {  // lost: made again, a second later
      std::this_thread::sleep_for(std::chrono::seconds(1));
      PQreset(listener_);
      PQclear(PQexec(listener_, "LISTEN vuzizeri_fila"));
      continue;
    }
    bool heard = false;
    while (PGnotify* n = PQnotifies(listener_)) {
      PQfreemem(n);
      heard = true;
    }
    std::lock_guard lock(wakeMutex_);
    if (heard && wake_) wake_();
  }
}

bool PgJobStore::add(const Job& job, std::string* why) {
  if (!run("INSERT INTO gravacoes (id, estado, pedido, arquivo, criada)"
           " VALUES ($1, $2, $3, $4, $5::bigint)",
           {job.id, job.state, job.request, job.file, std::to_string(job.created)}, why))
    return false;
  announce();
  return true;
}

std::optional<Job> PgJobStore::find(const std::string& id) {
  std::vector<Job> found = jobs(std::string(kColumns) + "WHERE id = $1", {id});
  if (found.empty()) return std::nullopt;
  return found.front();
}

std::vector<Job> PgJobStore::all() { return jobs(std::string(kColumns) + "ORDER BY seq", {}); }

std::vector<Job> PgJobStore::page(const std::string& after, int64_t count) {
  return jobs(std::string(kColumns) +
                  "WHERE seq > COALESCE((SELECT seq FROM gravacoes WHERE id = $1), 0)"
                  " ORDER BY seq LIMIT $2::bigint",
              {after, std::to_string(count)});
}

int64_t PgJobStore::waiting() {
  Result r = run("SELECT COUNT(*) FROM gravacoes WHERE estado = 'na-fila'", {}, nullptr);
  return r ? g_ascii_strtoll(PQgetvalue(r.get(), 0, 0), nullptr, 10) : 0;
}

std::optional<Job> PgJobStore::claimNext(std::string* why) {
  // The row locked as it is taken, and the ones other replicas are taking
  // passed over: no job starts on two at once.
  std::vector<Job> claimed = jobs(
      std::string("WITH proxima AS (SELECT seq FROM gravacoes WHERE estado = 'na-fila'"
                  " OR (estado = 'gravando' AND prazo < now() AND tentativas < $3::int)"
                  " ORDER BY seq LIMIT 1 FOR UPDATE SKIP LOCKED)"
                  " UPDATE gravacoes g SET estado = 'gravando', replica = $1, progresso = 0,"
                  " tentativas = g.tentativas + 1, ") +
          kLease + " FROM proxima WHERE g.seq = proxima.seq RETURNING " PG_JOB_COLUMNS,
      {replica_.name, std::to_string(replica_.leaseSeconds), std::to_string(replica_.attempts)},
      why);
  if (claimed.empty()) return std::nullopt;
  std::lock_guard lock(heldMutex_);
  held_[claimed.front().id] = claimed.front().attempts;
  return claimed.front();
}

void PgJobStore::setProgress(const std::string& id, double seconds) {
  run("UPDATE gravacoes SET progresso = $1::float8 WHERE id = $2 AND replica = $3",
      {number(seconds), id, replica_.name}, nullptr);
}

bool PgJobStore::finish(const std::string& id, const std::string& state, const std::string& error,
                        const std::string& report, double seconds, std::string* why) {
  std::string attempt = "0";
  {
    std::lock_guard lock(heldMutex_);
    if (const auto held = held_.find(id); held != held_.end())
      attempt = std::to_string(held->second);
  }
  // A job whose lease lapsed and that another replica took is that one's to end.
  const bool written = bool(
      run("UPDATE gravacoes SET estado = $1, erro = $2, relatorio = $3, progresso = $4::float8,"
          " arquivo = CASE WHEN $1 = 'pronta' THEN arquivo ELSE '' END,"
          " terminada = $5::bigint, prazo = NULL WHERE id = $6 AND ($8::int = 0 OR"
          " (replica = $7 AND tentativas = $8::int AND estado = 'gravando'))",
          {state, error, report, number(seconds), std::to_string(std::time(nullptr)), id,
           replica_.name, attempt},
          why));
  if (written) release(id);
  return written;
}

bool PgJobStore::remove(const std::string& id, std::string* why) {
  const bool removed = bool(run("DELETE FROM gravacoes WHERE id = $1", {id}, why));
  if (removed) release(id);
  return removed;
}

void PgJobStore::requeue(const std::string& id) {
  // Put back by a replica that stops: not an attempt that failed.
  run("UPDATE gravacoes SET estado = 'na-fila', progresso = 0, replica = '', prazo = NULL,"
      " tentativas = GREATEST(tentativas - 1, 0)"
      " WHERE id = $1 AND replica = $2 AND estado = 'gravando'",
      {id, replica_.name}, nullptr);
  release(id);
  announce();
}

std::vector<Job> PgJobStore::failLapsed(const std::string& why) {
  return jobs(
      "UPDATE gravacoes SET estado = 'falhou', arquivo = '', prazo = NULL,"
      " erro = $2 || ' (' || replica || ', ' || tentativas || ' tentativas)',"
      " terminada = $3::bigint WHERE seq IN (SELECT seq FROM gravacoes WHERE estado = 'gravando'"
      " AND prazo < now() AND tentativas >= $1::int FOR UPDATE SKIP LOCKED)"
      " RETURNING " PG_JOB_COLUMNS,
      {std::to_string(replica_.attempts), why, std::to_string(std::time(nullptr))});
}

std::vector<Job> PgJobStore::finishedBefore(int64_t before) {
  return jobs(std::string(kColumns) + "WHERE terminada > 0 AND terminada < $1::bigint ORDER BY seq",
              {std::to_string(before)});
}

}  // namespace

std::string databaseName(const std::string& url) {
  char* error = nullptr;
  PQconninfoOption* options = PQconninfoParse(url.c_str(), &error);
  PQfreemem(error);
  if (!options)  // not one libpq reads: shown without what looks like a password
    return std::regex_replace(url, std::regex("(://[^:/@]*):[^@]*@"), "$1@");
  std::map<std::string, std::string> got;
  for (PQconninfoOption* o = options; o->keyword; ++o)
    if (o->val) got[o->keyword] = o->val;
  PQconninfoFree(options);
  std::string name = "postgresql://";
  if (!got["user"].empty()) name += got["user"] + "@";
  name += got["host"].empty() ? got["hostaddr"] : got["host"];
  if (!got["port"].empty()) name += ":" + got["port"];
  return name + "/" + got["dbname"];
}

std::unique_ptr<JobStore> openPostgres(const std::string& url, const Replica& replica,
                                       std::string* why) {
  PGconn* db = connect(url, why);
  if (!db) {
    *why = databaseName(url) + ": " + *why;
    return nullptr;
  }
  auto store = std::make_unique<PgJobStore>(db, url, replica);
  if (!store->migrate(why)) {
    *why = databaseName(url) + ": " + *why;
    return nullptr;
  }
  return store;
}

}  // namespace server
