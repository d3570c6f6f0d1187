#pragma once

#include "vuzizeri/recorder/recorder.h"

namespace vuz {

// The run's progress as one line on the terminal, redrawn in place; a new
// line when the phase changes.
void showProgress(const Progress& progress);

}  // namespace vuz
