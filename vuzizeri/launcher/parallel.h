#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/output_path.h"
#include "vuzizeri/command_line/arguments.h"
#include "vuzizeri/launcher/parts.h"

// --paralelo N: one frame-by-frame recording made in N parts at once on this
// machine, each a run of the recorder of its own (its display, its web
// process) with --trecho K/N, then joined as vuzizeri-juntar joins them.
namespace vuz {

// Records the parts, joins them into `staging` and moves that to
// arguments.outPath, reports as one run does and ends the process, with the
// status of the first part that failed and its message when one does.
[[noreturn]] void recordInParallel(const std::vector<std::string>& given,
                                   const Arguments& arguments, int64_t parts,
                                   const StagingFile& staging);

}  // namespace vuz
