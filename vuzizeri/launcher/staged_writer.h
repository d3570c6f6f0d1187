#pragma once

#include <memory>
#include <string>

#include "common/output_path.h"
#include "vuzizeri/movie/recording_writer.h"

namespace vuz {

// The recorder's writer over the run's staging file: once the movie is
// complete it is moved into place at `output`, before the report is made of
// it; a move that fails is the writer's failure.
std::unique_ptr<RecordingWriter> writeThroughStaging(std::unique_ptr<RecordingWriter> writer,
                                                     StagingFile staging, std::string output);

// The staging file for `output`, created before anything else of the run:
// a folder that is missing or cannot be written is said at once,
// "não abriu o writer: <output>: <reason>", and the run ends with status 1.
StagingFile stageOutputOrFail(const std::string& output);

}  // namespace vuz
