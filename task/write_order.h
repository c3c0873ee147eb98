// Where every edit lands in the destination and in which order the edits are written; the
// destination's length, and its creation as silence.
#pragma once

#include <cstdint>
#include <vector>

#include "task/run_state.h"

namespace wavsplice {

// Fills order[0 .. count-1] with the entry indices in writing order: a leading run of appended
// entries first, then each entry with an `ins`, by ascending `ins` (the earlier entry on a tie),
// followed by the entries appended after it in the table. Does nothing for count <= 0.
void FindOrder(int32_t count, const std::vector<EditEntry>& entries, std::vector<int32_t>& order);

// Orders the entries, sets every insertPoint (and `ins` of appended entries, in task units) and
// destLength. Ends the run with exit status 1 ("Insert point set incorrectly") for an `ins` that is
// not finite, an insert point below 0, or an edit whose end lies beyond any file offset.
void PlanWriteOrder(RunState& run);

// Writes the destination through its staged file (run.destFd): the header for destLength frames
// (with the markers and metadata the plan gives it), then silence; sets destAudioStart. Ends the
// run with exit status 2 ("Cannot write to file", naming run.destPath) when it cannot be written.
void CreateDestination(RunState& run);

}  // namespace wavsplice
