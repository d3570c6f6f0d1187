#include "vuzizeri/report/joined_movie.h"

#include "vuzizeri/report/report.h"

namespace vuz {

std::optional<JoinedMovie> joinIntoPlace(const std::vector<std::string>& parts,
                                         const StagingFile& staging, const std::string& output,
                                         media::JoinCheck check, std::string* error) {
  std::vector<media::MovieContents> contents;
  JoinedMovie joined{output, 0, 0, 0};
  std::string why;
  if (!media::checkJoinable(parts, &contents, &why, check) ||
      !media::joinMovies(parts, staging.path, &joined.seconds, &why) ||
      !moveIntoPlace(staging, output, &why)) {
    removeStagingFile(staging);  // half a movie is no movie
    *error = "não foi possível juntar os trechos: " + why;
    return std::nullopt;
  }
  for (const media::MovieContents& c : contents)
    joined.frames += static_cast<int64_t>(c.frameTimes.size());
  joined.bytes = fileSizeOrZero(output);
  return joined;
}

std::string joinedReportLine(const JoinedMovie& movie) {
  return "ok " + outPathInfo(movie.path, movie.bytes, movie.seconds) + "\n";
}

}  // namespace vuz
