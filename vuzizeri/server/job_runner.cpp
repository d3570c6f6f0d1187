#include "vuzizeri/server/job_runner.h"

#include <cstdio>
#include <filesystem>

#include "vuzizeri/agent/json_members.h"
#include "vuzizeri/agent/recording_request.h"
#include "vuzizeri/report/json.h"
#include "vuzizeri/server/egress_proxy.h"

namespace fs = std::filesystem;

namespace server {
namespace {

// A job's end when the replica recording it died after its last attempt.
constexpr char kLapsed[] = "interrompida: a réplica que a gravava parou";

// The recorder's last line on a failure, without its newline.
std::string lastLine(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  const size_t newline = text.rfind('\n');
  return newline == std::string::npos ? text : text.substr(newline + 1);
}

// The recorder's command for a job, and what it needs while it runs.
struct Launch {
  std::vector<std::string> argv;
  agent::StoryboardFile storyboard;
  std::unique_ptr<EgressProxy> proxy;
};

// The command for `request`, with its storyboard written and its way out
// opened; false, with the reason, when the job cannot run.
bool prepare(JsonObject* request, const std::string& movie, const RunnerSettings& settings,
             Launch* launch, std::string* why) {
  const std::optional<agent::RecorderWords> words =
      agent::recorderWords(request, agent::Front::kHttp, why);
  const std::string url = agent::stringMember(request, "url").value_or("");
  if (!words) return false;
  std::vector<std::string>& argv = launch->argv;
  argv = {settings.recorder, "--json"};
  argv.insert(argv.end(), words->options.begin(), words->options.end());
  if (const std::optional<std::string> text = agent::stringMember(request, "roteiro")) {
    *why = agent::storyboardRefusal(*text, url, settings.reach);
    if (!why->empty() || !launch->storyboard.write(*text, why)) return false;
    argv.insert(argv.end(), {"--roteiro", launch->storyboard.path()});
  }
  if (!settings.policy.localAllowed()) {
    launch->proxy = EgressProxy::start(settings.policy, why);
    if (!launch->proxy) return false;
    argv.insert(argv.end(), {"--proxy", launch->proxy->url()});
  }
  argv.insert(argv.end(), {"--", url});
  argv.insert(argv.end(), words->sizes.begin(), words->sizes.end());
  argv.push_back(movie);
  return true;
}

}  // namespace

// What a recording came to: a movie with its report, or why not.
struct JobRunner::Ending {
  bool made = false;
  std::string report, error;  // the report only when made
  double seconds = 0;
};

JobRunner::Ending JobRunner::ending(const agent::RecorderOutcome& done,
                                    const std::vector<std::string>& refused,
                                    const std::vector<std::string>& unreached) {
  Ending end;
  std::string report = done.out;
  while (!report.empty() && report.back() == '\n') report.pop_back();
  agent::ParsedObject parsed;
  std::string why;
  end.made = (done.status == 0 || done.status == 3) && agent::parseObject(report, &parsed, &why);
  if (end.made) {
    end.report = report;
    end.seconds = agent::numberMember(parsed.object, "segundos").value_or(0);
    if (done.status == 3)
      end.error = lastLine(done.err);  // off the target: made, with the findings
    return end;
  }
  end.error = lastLine(done.err);
  if (end.error.empty())
    end.error = "a gravação terminou com o estado " + std::to_string(done.status);
  // The page's own failure says little when the way out refused it.
  if (!refused.empty())
    end.error = "recusado: " + refused.front() + " (" + end.error + ")";
  else if (!unreached.empty())
    end.error = "não alcançou " + unreached.front() + " (" + end.error + ")";
  return end;
}

vuz::JsonValue jobJson(const Job& job, const std::string& videoLink) {
  agent::ParsedObject request;
  std::string why;
  agent::parseObject(job.request, &request, &why);
  return vuz::JsonObjectWriter()
      .add("id", job.id)
      .add("url", agent::stringMember(request.object, "url").value_or(""))
      .add("estado", job.state)
      .add("progresso", job.progress)
      .add("erro", job.error.empty() ? vuz::JsonValue() : vuz::JsonValue(job.error))
      .add("relatorio", agent::objectValue(job.report).value_or(vuz::JsonValue()))
      .add("criada", job.created)
      .addIf(!job.replica.empty(), "replica", job.replica)
      .addIf(job.attempts > 0, "tentativas", job.attempts)
      .addIf(!videoLink.empty(), "video", videoLink)
      .done();
}

JobRunner::JobRunner(JobStore& store, RunnerSettings settings, WebhookSender& webhooks)
    : store_(store), settings_(std::move(settings)), webhooks_(webhooks) {}

JobRunner::~JobRunner() {
  store_.onQueued({});
  stop();
}

void JobRunner::start() {
  store_.onQueued([this] { wake(); });
  for (int i = 0; i < settings_.simultaneous; ++i) workers_.emplace_back([this] { work(); });
}

void JobRunner::wake() {
  { std::lock_guard lock(mutex_); }
  changed_.notify_all();
}

bool JobRunner::cancel(const std::string& id) {
  std::lock_guard lock(mutex_);
  const auto found = running_.find(id);
  if (found == running_.end()) return false;
  found->second->removeWhenDone = true;
  found->second->recorder.stop();
  return true;
}

void JobRunner::stop() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_ && workers_.empty()) return;
    stopping_ = true;
    for (auto& [id, running] : running_) running->recorder.stop();
  }
  changed_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  workers_.clear();
}

bool JobRunner::backOff(const std::string& why, int* seconds) {
  std::fprintf(stderr, "vuzizeri-servidor: banco de dados: %s; de novo em %d s\n", why.c_str(),
               *seconds);
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, std::chrono::seconds(*seconds), [this] { return stopping_; });
  *seconds = std::min(*seconds * 2, 60);
  return !stopping_;
}

bool JobRunner::persist(const std::function<bool(std::string*)>& write) {
  std::string why;
  for (int seconds = 1; !write(&why);)
    if (!backOff(why, &seconds)) return false;
  return true;
}

void JobRunner::work() {
  int seconds = 5;
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    lock.unlock();
    for (const Job& lapsed : store_.failLapsed(kLapsed)) announce(lapsed);
    std::string why;
    std::optional<Job> job = store_.claimNext(&why);
    if (!why.empty() && !backOff(why, &seconds)) return;
    lock.lock();
    if (!why.empty()) continue;
    seconds = 5;
    if (!job) {
      // Woken by a new job, or every few seconds for one another service
      // on the same database added.
      changed_.wait_for(lock, std::chrono::seconds(5));
      continue;
    }
    if (stopping_) {  // claimed as the service stops: it waits for the next start
      store_.requeue(job->id);
      break;
    }
    auto running = std::make_shared<Running>();
    running_[job->id] = running;
    lock.unlock();
    record(*job, *running);
    lock.lock();
    running_.erase(job->id);
  }
}

void JobRunner::record(const Job& job, Running& running) {
  agent::ParsedObject request;
  std::string why;
  agent::parseObject(job.request, &request, &why);
  const std::string movie = settings_.videos + "/" + job.file;
  Launch launch;
  agent::RecorderOutcome done;
  if (prepare(request.object, movie, settings_, &launch, &why)) {
    done = agent::runRecorder(
        launch.argv, {[&running](pid_t pid) { running.recorder.set(pid); },
                      [this, &job](double seconds) { store_.setProgress(job.id, seconds); }});
  } else {
    done.err = why;
  }
  const Ending end = launch.proxy
                         ? ending(done, launch.proxy->refusals(), launch.proxy->unreached())
                         : ending(done, {}, {});
  launch.proxy.reset();
  if (!settled(job, running, movie, done)) finish(job, request.object, movie, end);
}

bool JobRunner::settled(const Job& job, const Running& running, const std::string& movie,
                        const agent::RecorderOutcome& done) {
  bool remove;
  {
    std::lock_guard lock(mutex_);
    remove = running.removeWhenDone;
    // A recording the service's own stop ended runs again at its next start.
    if (stopping_ && !remove && done.status != 0 && done.status != 3) {
      std::error_code ignored;
      fs::remove(movie, ignored);
      store_.requeue(job.id);
      return true;
    }
  }
  // Removed while it was being claimed: its DELETE found it waiting.
  if (remove || !store_.find(job.id)) {
    std::error_code ignored;
    fs::remove(movie, ignored);
    persist([&](std::string* why) { return store_.remove(job.id, why); });
    return true;
  }
  return false;
}

void JobRunner::finish(const Job& job, JsonObject* request, const std::string& movie,
                       const Ending& end) {
  // Not written before the service stopped: the next start ends it as
  // interrupted, and sweeps its file.
  if (!persist([&](std::string* why) {
        return store_.finish(job.id, end.made ? kDone : kFailed, end.error, end.report, end.seconds,
                             why);
      }))
    return;
  const std::optional<Job> now = store_.find(job.id);
  // Its lease lapsed and another replica took it: that one ends it, and
  // publishes its movie.
  if (now && (now->replica != job.replica || now->attempts != job.attempts)) return;
  if (!end.made) {
    std::error_code ignored;
    fs::remove(movie, ignored);
  }
  if (const std::optional<std::string> hook = agent::stringMember(request, "webhook"))
    if (now) webhooks_.send(*hook, jobJson(*now, "").text());
}

void JobRunner::announce(const Job& job) {
  agent::ParsedObject request;
  std::string why;
  agent::parseObject(job.request, &request, &why);
  if (const std::optional<std::string> hook = agent::stringMember(request.object, "webhook"))
    webhooks_.send(*hook, jobJson(job, "").text());
}

}  // namespace server
