// Cut lists: an edit with `cut`, `cuts` or `keeps` lines is split into pieces, one entry each,
// before the write order. The pieces are the parts of the edit's span that the cuts leave (or the
// regions it keeps), in source order; they follow one another in the destination without a gap, the
// first where the edit goes, and every later one appended to the one before, joined by the task's
// default crossfade with handles taken from the cut region (or a hard cut without one). Everything
// after the split sees the pieces as it sees edits.
#pragma once

#include <cstdint>
#include <string>

#include "task/run_state.h"

namespace wavsplice {

// The report's line for a piece after the first: the region cut before it in source time, and the
// line (or label) it comes from.
constexpr char kPieceCutSeconds[] = "\tCut %.3f to %.3f sec%s\n";
constexpr char kPieceCutSamples[] = "\tCut %lld to %lld samples%s\n";
// The report's line for a join without a crossfade.
constexpr char kHardJoin[] = "\tJoin without crossfade\n";

// Splits every entry with cuts or keeps into its pieces and numbers every entry by its task. For a
// run whose spans are resolved and whose format is known; adds the warnings of regions it ignores
// and a note with what each edit loses. A task without such lines is left as it is. Ends the run
// with exit status 1 when the cuts leave nothing of an edit or make more than MAX_EDITS entries.
void ExpandCuts(RunState& run);

// The task number (1-based) of the entry at index, and its name in the report: "2", or "2 piece 3"
// for a piece of an edit with cuts.
int32_t TaskNumber(const RunState& run, int32_t index);
std::string TaskName(const RunState& run, int32_t index);

// The index of the last piece of the edit whose piece is at index (index itself for an entry that
// is no piece).
int32_t LastPieceOf(const RunState& run, int32_t index);

// Where the cut before a piece comes from, for the report: " (line 7)" or " (ums.txt:3)".
std::string CutOrigin(const SourceRegion& region);

// For a check: a warning, at the cut's line, for every join whose cut is shorter than the join's
// crossfade needs, which then shrinks.
void CheckCutJoins(RunState& run);

}  // namespace wavsplice
