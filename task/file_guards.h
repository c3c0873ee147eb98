// Guards that keep a run from destroying its own inputs: the destination
// may not be a source or the task file, and the crossfade temp file may not
// be either when a crossfade will write and delete it.
#pragma once

#include <string>

#include "task/run_state.h"

namespace wavsplice {

// True when both paths name one file: the same device and inode where both
// exist, otherwise the same absolute, normalised path.
bool SameFile(const std::string& first, const std::string& second);

// Ends the run with exit status 1 when the destination is an input, or when
// a crossfade is asked for and a source or the destination is the temp file.
void CheckOutputsSpareInputs(const RunState& run);

}  // namespace wavsplice
