// The check of a resolved plan: the diagnostics a careful editor would give before anything is
// written (crossfades that cannot be made or that blend with silence, edits never heard, gaps,
// stale tails, sources found only beside the task file).
#pragma once

#include <cstdint>
#include <vector>

#include "task/crossfade_plan.h"
#include "task/run_state.h"

namespace wavsplice {

// Sources given by a relative path that the run would not find, or would find in another folder
// than the task file's. Needs no source read.
void CheckSourcePaths(RunState& run);

// Adds the plan's warnings and notes to run.diagnostics. For a run whose plan and write order are
// resolved.
void CheckPlan(RunState& run);

}  // namespace wavsplice
