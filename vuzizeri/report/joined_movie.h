#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/output_path.h"
#include "platform/media/editing/movie_join.h"

// The parts of one recording put together, for vuzizeri-juntar and for
// --paralelo alike: checked, joined into the staging file, moved into place
// at the output, and told as the recorder tells a run.
namespace vuz {

struct JoinedMovie {
  std::string path;
  int64_t bytes = 0;
  double seconds = 0;  // the joined movie's length
  int64_t frames = 0;
};

// Joins `parts`, in order, checked as `check` says. Nothing, with the
// reason ("não foi possível juntar os trechos: …") in `error`, when they
// cannot be joined; the staging file is then removed and the output left as
// it was.
std::optional<JoinedMovie> joinIntoPlace(const std::vector<std::string>& parts,
                                         const StagingFile& staging, const std::string& output,
                                         media::JoinCheck check, std::string* error);

// The report line of a joined movie, as a run's: "ok <path> <size> bytes, <seconds>s".
std::string joinedReportLine(const JoinedMovie& movie);

}  // namespace vuz
