// The guard that keeps a run from destroying its own inputs: the destination
// may not be a source or the task file. (The run's temporary files are
// created under names no file has, so they can never be an input.)
#pragma once

#include <string>

#include "task/run_state.h"

namespace wavsplice {

// True when both paths name one file: the same device and inode where both
// exist, otherwise the same absolute, normalised path.
bool SameFile(const std::string& first, const std::string& second);

// Ends the run with exit status 1 when the destination is an input.
void CheckOutputsSpareInputs(const RunState& run);

}  // namespace wavsplice
