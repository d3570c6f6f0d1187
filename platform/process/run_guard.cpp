#include "platform/process/run_guard.h"

#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <new>

#include "common/fail.h"
#include "platform/process/process_tree.h"
#include "platform/process/run_folder.h"

namespace process {

namespace {

// One page both processes see, mapped before the split. Lock-free atomics
// work across processes.
struct SharedState {
  std::atomic_flag ending = ATOMIC_FLAG_INIT;
  std::atomic<uint64_t> progress{0};
};

SharedState unguarded;
SharedState* shared = &unguarded;

// How long a run that has already begun to end (its report or its message
// is on the way out) gets before the guard stops waiting for it.
constexpr double kEndingGraceSeconds = 5;
// How often the run's memory is looked at: a page that allocates a gigabyte a
// second gets a fifth of one past the limit. New processes of the run (a web
// process for another site) are looked for less often.
constexpr double kMemoryPollSeconds = 0.2;
constexpr double kProcessScanSeconds = 1;

double now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

timespec duration(double seconds) {
  seconds = std::max(seconds, 0.0);
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(seconds);
  ts.tv_nsec = static_cast<long>((seconds - static_cast<double>(ts.tv_sec)) * 1e9);
  return ts;
}

sigset_t guardedSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : {SIGCHLD, SIGTERM, SIGINT, SIGHUP, SIGQUIT}) sigaddset(&set, s);
  return set;
}

// The guard's own thread. Libraries start threads of their own before main
// (WebKit's allocator has one), and a signal meant for the process goes to
// whichever thread does not block it: without this one would die of a
// SIGTERM that came while the guard was not waiting, and leave the run's
// files behind.
pid_t guardThread = 0;

void forwardToGuard(int signal) {
  const int saved = errno;
  syscall(SYS_tgkill, getpid(), guardThread, signal);
  errno = saved;
}

void forwardSignalsToGuard() {
  guardThread = static_cast<pid_t>(syscall(SYS_gettid));
  struct sigaction forward {};
  forward.sa_handler = forwardToGuard;
  forward.sa_flags = SA_RESTART;
  sigfillset(&forward.sa_mask);
  for (int s : {SIGCHLD, SIGTERM, SIGINT, SIGHUP, SIGQUIT}) sigaction(s, &forward, nullptr);
}

// Reaps whatever has ended; true once `child` is among it.
bool reaped(pid_t child, int* status) {
  for (;;) {
    int s = 0;
    pid_t pid = waitpid(-1, &s, WNOHANG);
    if (pid <= 0) return false;
    if (pid == child) {
      *status = s;
      return true;
    }
  }
}

// Waits for the run, for a signal, for `deadline` or, with a stall limit,
// for that long without progress, holding the run's processes to `memory`
// meanwhile, if given. Returns the signal that came first, 0 when the run
// ended, -1 at a limit.
int waitForRun(pid_t child, double deadline, double stallLimit, MemoryCeiling* memory,
               int* status) {
  const sigset_t signals = guardedSignals();
  uint64_t progress = shared->progress;
  double lastProgress = now();
  for (;;) {
    if (reaped(child, status)) return 0;
    const double t = now();
    if (shared->progress != progress) {
      progress = shared->progress;
      lastProgress = t;
    }
    const double limit = stallLimit > 0 ? std::min(deadline, lastProgress + stallLimit) : deadline;
    if (t >= limit) return -1;
    if (memory) memory->enforce(t, kProcessScanSeconds);
    // The stall limit is looked at as often as the memory.
    const double poll = memory || stallLimit > 0 ? kMemoryPollSeconds : limit - t;
    timespec wait = duration(std::min(limit, t + poll) - t);
    int signal = sigtimedwait(&signals, nullptr, &wait);
    if (signal > 0 && signal != SIGCHLD) return signal;
  }
}

[[noreturn]] void guard(pid_t child, const GuardSettings& settings, const std::string& folder) {
  forwardSignalsToGuard();
  int status = 0;
  MemoryCeiling memory(child, settings.memoryLimitBytes);
  int signal = waitForRun(child, now() + settings.timeLimitSeconds, settings.stallLimitSeconds,
                          settings.memoryLimitBytes > 0 ? &memory : nullptr, &status);
  bool runEnded = signal == 0;
  if (!runEnded) {
    if (claimEnding()) {
      // The run may have left a progress line on the terminal.
      if (isatty(STDERR_FILENO)) writeAll(STDERR_FILENO, "\r\033[K");
      if (signal < 0) writeAll(STDERR_FILENO, settings.timeLimitMessage + "\n");
    } else {
      // The run spoke first; let it finish saying so.
      runEnded = waitForRun(child, now() + kEndingGraceSeconds, 0, nullptr, &status) == 0;
      if (runEnded) signal = 0;
    }
  }
  killAndReapDescendants(child, runEnded ? nullptr : &status);
  // A movie moved into place is no longer there; anything else of that name
  // is not the run's.
  if (!settings.staging.path.empty()) removeStagingFile(settings.staging);
  removeTree(folder);

  if (signal > 0) {
    // Die of the caller's signal, as the caller expects.
    ::signal(signal, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    raise(signal);
    _exit(128 + signal);
  }
  if (!runEnded) _exit(1);  // the time limit
  if (WIFEXITED(status)) _exit(WEXITSTATUS(status));
  _exit(128 + WTERMSIG(status));
}

}  // namespace

std::string startGuardedRun(const GuardSettings& settings) {
  void* page =
      mmap(nullptr, sizeof(SharedState), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (page == MAP_FAILED)
    fail(std::string("não foi possível iniciar a gravação: ") + std::strerror(errno));
  shared = new (page) SharedState;

  std::string folder, error;
  if (!createRunFolder(settings.folderPrefix, &folder, &error)) {
    if (!settings.staging.path.empty()) removeStagingFile(settings.staging);
    fail("não foi possível criar a pasta da gravação: " + error);
  }

  // Orphans of the run become the guard's children, so none escapes it; a
  // SIGCHLD ignored by whoever started us would have them reaped unseen.
  prctl(PR_SET_CHILD_SUBREAPER, 1);
  signal(SIGCHLD, SIG_DFL);
  const sigset_t signals = guardedSignals();
  sigset_t previous;
  sigprocmask(SIG_BLOCK, &signals, &previous);

  const pid_t guardPid = getpid();
  const pid_t child = fork();
  if (child < 0) {
    removeTree(folder);
    if (!settings.staging.path.empty()) removeStagingFile(settings.staging);
    fail(std::string("não foi possível iniciar a gravação: ") + std::strerror(errno));
  }
  if (child > 0) guard(child, settings, folder);

  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != guardPid) _exit(1);
  sigprocmask(SIG_SETMASK, &previous, nullptr);
  return folder;
}

bool claimEnding() { return !shared->ending.test_and_set(); }

void noteProgress() { shared->progress.fetch_add(1, std::memory_order_relaxed); }

}  // namespace process
