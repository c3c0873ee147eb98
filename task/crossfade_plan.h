// The plan's facts about crossfades and about what is heard where, worked out by the functions a
// run uses, for the check, the report, the timeline and the render path alike; and the words each
// outcome is given in them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/crossfade_fit.h"
#include "task/run_state.h"

namespace wavsplice {

// What an edit's crossfade will be.
struct CrossfadePlan {
  CrossfadeOutcome outcome = CrossfadeOutcome::kNone;
  int64_t xfSamples = 0;
  int64_t destStart = 0;  // first destination frame it covers
  int64_t pastEnd = 0;    // its last frames, past the destination's end: not written
};

// For an entry of a planned run (insert points and destLength set).
CrossfadePlan PlanCrossfade(const RunState& run, const EditEntry& entry);

// Frames of [start, end) that no entry written before position k of the write order covers.
int64_t UncoveredBefore(const RunState& run, int32_t k, int64_t start, int64_t end);

// True when the entry's crossfade is made but blends with silence on either side of the splice for
// most of its half there: no earlier edit covers the destination before or after it.
bool BlendsWithSilence(const RunState& run, const EditEntry& entry, const CrossfadePlan& plan);

// The words of a crossfade's outcome, wherever the program gives them.
struct CrossfadeWords {
  const char* cause;    // what a run prints before "Could not generate crossfade"; "" for none
  const char* json;     // the JSON report's outcome
  const char* check;    // the end of the check's crossfade line
  const char* label;    // the timeline lane's label
  const char* tooltip;  // the timeline crossfade's tooltip
};
const CrossfadeWords& WordsOf(CrossfadeOutcome outcome);
// The same for a planned crossfade, "made, with silence" when it blends with silence.
const CrossfadeWords& WordsOf(const RunState& run, const EditEntry& entry,
                              const CrossfadePlan& plan);

// A stretch of the destination and the entry heard there (-1: silence).
struct HeardSpan {
  int64_t start;
  int64_t end;
  int32_t entry;
};

// The destination from frame 0 to destLength after every edit is written over the earlier ones, as
// consecutive stretches.
std::vector<HeardSpan> HeardMap(const RunState& run);

// A frame count in the task's units, as diagnostics print it: "1.250 s" or "55125 samples".
std::string TaskUnits(const RunState& run, int64_t frames);

}  // namespace wavsplice
