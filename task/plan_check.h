// The check of a resolved plan: what each crossfade will do, which edit is
// heard where in the destination, and the diagnostics a careful editor would
// give before anything is written (crossfades that cannot be made or that
// blend with silence, edits never heard, gaps, stale tails, sources found
// only beside the task file).
#pragma once

#include <cstdint>
#include <vector>

#include "task/run_state.h"

namespace wavsplice {

enum class CrossfadeOutcome {
  kNone,                 // no crossfade asked for
  kMade,                 // generated and laid over the splice
  kNotPlaced,            // generated, but it would start at the destination's first frame
  kDestinationTooShort,  // "Invalid crossfade for destination file"
  kSourceTooShort,       // "Invalid crossfade for source file"
  kTooLong,              // its width gives more frames than a file can hold
};

// What an edit's crossfade will be, worked out by the functions a run uses.
struct CrossfadePlan {
  CrossfadeOutcome outcome = CrossfadeOutcome::kNone;
  int64_t xfSamples = 0;
  int64_t destStart = 0;  // first destination frame it covers
  int64_t pastEnd = 0;    // its last frames, past the destination's end: not written
};

// For an entry of a planned run (insert points and destLength set).
CrossfadePlan PlanCrossfade(const RunState& run, const EditEntry& entry);

// True when the entry's crossfade is made but blends with silence on either
// side of the splice for most of its half there: no earlier edit covers the
// destination before or after it.
bool BlendsWithSilence(const RunState& run, const EditEntry& entry, const CrossfadePlan& plan);

// The message a run prints for a crossfade that fails, or "" when it is
// made (or not asked for).
const char* CrossfadeMessage(CrossfadeOutcome outcome);

// A stretch of the destination and the entry heard there (-1: silence).
struct HeardSpan {
  int64_t start;
  int64_t end;
  int32_t entry;
};

// The destination from frame 0 to destLength after every edit is written
// over the earlier ones, as consecutive stretches.
std::vector<HeardSpan> HeardMap(const RunState& run);

// Sources given by a relative path that the run would not find, or would
// find in another folder than the task file's. Needs no source read.
void CheckSourcePaths(RunState& run);

// Adds the plan's warnings and notes to run.diagnostics. For a run whose
// plan and write order are resolved.
void CheckPlan(RunState& run);

// A frame count in the task's units, as diagnostics print it: "1.250 s" or
// "55125 samples".
std::string TaskUnits(const RunState& run, int64_t frames);

}  // namespace wavsplice
