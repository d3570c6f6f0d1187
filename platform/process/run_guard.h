#pragma once

#include <cstdint>
#include <string>

#include "common/output_path.h"

// A run of the recorder under a guard: the process that the caller started
// stays behind as a small supervisor while a child does the work, so that
// whatever the work does (a blocked main loop, a crash, processes of its own
// that outlive it) the caller gets its answer on time and nothing is left
// behind.
namespace process {

struct GuardSettings {
  // Counted from the split. The guard enforces it even when the run cannot:
  // it ends the run, says `timeLimitMessage` and exits with status 1.
  double timeLimitSeconds = 0;
  // When set, the run ends the same way once it has not reported progress
  // (noteProgress) for this long, counted from the split or the last report.
  double stallLimitSeconds = 0;
  std::string timeLimitMessage;
  // Where the run writes its movie until it is complete (see
  // createStagingFile()); removed when the run ends before moving it into
  // place. Empty path: none.
  StagingFile staging;
  // Names the run's private folder, made under $TMPDIR (or /tmp).
  std::string folderPrefix;
  // A process the run starts (not the run itself) whose resident memory
  // grows past this is killed; 0 for no limit.
  int64_t memoryLimitBytes = 0;
};

// Splits the process. In the caller's process it never returns: it waits for
// the run, then kills every process the run left (the guard adopts orphans
// as a subreaper), removes the unfinished output and the private folder, and
// exits as the run did. When the caller is signalled (SIGTERM, SIGINT,
// SIGHUP, SIGQUIT) it does the same and then dies of that signal. In the
// child it returns the path of the run's private folder (mode 0700); the
// child dies with the guard. Call before the program starts threads of its
// own (a library's, started as it loads, are no matter).
std::string startGuardedRun(const GuardSettings& settings);

// True for exactly one caller across the guard and the run: whoever ends the
// run first (report, failure, time limit, signal) is the only one heard.
bool claimEnding();

// The run made progress: it is not stalled. Cheap enough for every frame.
void noteProgress();

}  // namespace process
