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

// The recorder's last line on a failure, without its newline.
std::string lastLine(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  const size_t newline = text.rfind('\n');
  return newline == std::string::npos ? text : text.substr(newline + 1);
}

}  // namespace

std::string jobJson(const Job& job, const std::string& videoLink) {
  agent::ParsedObject report;
  std::string why;
  const bool hasReport = !job.report.empty() && agent::parseObject(job.report, &report, &why);
  agent::ParsedObject request;
  agent::parseObject(job.request, &request, &why);
  const std::string url = agent::stringMember(request.object, "url").value_or("");
  std::string text = "{\"id\": " + vuz::jsonString(job.id) + ", \"url\": " + vuz::jsonString(url) +
                     ", \"estado\": " + vuz::jsonString(job.state) +
                     ", \"progresso\": " + vuz::jsonNumber(job.progress) +
                     ", \"erro\": " + (job.error.empty() ? "null" : vuz::jsonString(job.error)) +
                     ", \"relatorio\": " + (hasReport ? job.report : "null") +
                     ", \"criada\": " + std::to_string(job.created);
  if (!videoLink.empty()) text += ", \"video\": " + vuz::jsonString(videoLink);
  return text + "}";
}

JobRunner::JobRunner(JobStore& store, RunnerSettings settings, WebhookSender& webhooks)
    : store_(store), settings_(std::move(settings)), webhooks_(webhooks) {}

JobRunner::~JobRunner() { stop(); }

void JobRunner::start() {
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
  const std::optional<agent::RecorderWords> words =
      agent::recorderWords(request.object, agent::Front::kHttp, &why);
  const std::string url = agent::stringMember(request.object, "url").value_or("");
  const std::string movie = settings_.videos + "/" + job.file;

  std::vector<std::string> argv = {settings_.recorder, "--json"};
  if (words) argv.insert(argv.end(), words->options.begin(), words->options.end());
  agent::StoryboardFile storyboard;
  bool ready = words.has_value();
  if (const std::optional<std::string> text = agent::stringMember(request.object, "roteiro")) {
    if (ready) why = agent::storyboardRefusal(*text, url, settings_.reach);
    ready = ready && why.empty() && storyboard.write(*text, &why);
    argv.insert(argv.end(), {"--roteiro", storyboard.path()});
  }
  std::unique_ptr<EgressProxy> proxy;
  if (ready && !settings_.policy.localAllowed()) {
    proxy = EgressProxy::start(settings_.policy, &why);
    ready = proxy != nullptr;
    if (proxy) argv.insert(argv.end(), {"--proxy", proxy->url()});
  }
  argv.insert(argv.end(), {"--", url});
  if (words) argv.insert(argv.end(), words->sizes.begin(), words->sizes.end());
  argv.push_back(movie);

  agent::RecorderOutcome done;
  if (ready) {
    done = agent::runRecorder(
        argv, {[&running](pid_t pid) { running.recorder.set(pid); },
               [this, &job](double seconds) { store_.setProgress(job.id, seconds); }});
  } else {
    done.err = why;
  }
  const std::vector<std::string> refused = proxy ? proxy->refusals() : std::vector<std::string>{};
  const std::vector<std::string> unreached =
      proxy ? proxy->unreached() : std::vector<std::string>{};
  proxy.reset();

  bool remove;
  {
    std::lock_guard lock(mutex_);
    remove = running.removeWhenDone;
    // A recording the service's own stop ended runs again at its next start.
    if (stopping_ && !remove && done.status != 0 && done.status != 3) {
      std::error_code ignored;
      fs::remove(movie, ignored);
      store_.requeue(job.id);
      return;
    }
  }
  // Removed while it was being claimed: its DELETE found it waiting.
  if (remove || !store_.find(job.id)) {
    std::error_code ignored;
    fs::remove(movie, ignored);
    persist([&](std::string* why) { return store_.remove(job.id, why); });
    return;
  }
  std::string report = done.out;
  while (!report.empty() && report.back() == '\n') report.pop_back();
  agent::ParsedObject parsed;
  const bool made =
      (done.status == 0 || done.status == 3) && agent::parseObject(report, &parsed, &why);
  std::string error;
  if (!made) {
    error = lastLine(done.err);
    if (error.empty()) error = "a gravação terminou com o estado " + std::to_string(done.status);
    // The page's own failure says little when the way out refused it.
    if (!refused.empty())
      error = "recusado: " + refused.front() + " (" + error + ")";
    else if (!unreached.empty())
      error = "não alcançou " + unreached.front() + " (" + error + ")";
  } else if (done.status == 3) {
    error = lastLine(done.err);  // off the target: made, with the findings
  }
  const double seconds = made ? agent::numberMember(parsed.object, "segundos").value_or(0) : 0;
  // Not written before the service stopped: the next start ends it as
  // interrupted, and sweeps its file.
  if (!persist([&](std::string* why) {
        return store_.finish(job.id, made ? kDone : kFailed, error, made ? report : "", seconds,
                             why);
      }))
    return;
  if (!made) {
    std::error_code ignored;
    fs::remove(movie, ignored);
  }
  if (const std::optional<std::string> hook = agent::stringMember(request.object, "webhook"))
    if (const std::optional<Job> now = store_.find(job.id))
      webhooks_.send(*hook, jobJson(*now, ""));
}

}  // namespace server
