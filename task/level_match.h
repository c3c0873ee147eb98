// The task's `loudness` line: each edit without its own `lvl` is given the level that brings its
// span, measured alone, to the loudness asked for.
#pragma once

#include "task/run_state.h"

namespace wavsplice {

// The level change (dB, rounded to 0.01 dB) that brings spanLufs to targetLufs, kept below the +24
// dB ceiling of `lvl`.
double MatchedLevel(double spanLufs, double targetLufs);

// For a planned run with a `loudness` line: measures the span of each entry without a `lvl` line
// and sets its level, adding a warning for a span too quiet to measure (its level stays 0 dB), one
// whose level is held below +24 dB, and one whose peak the level takes past full scale. When
// printWarnings, the warnings of the first two kinds are also printed (and recorded as messages),
// for a run that prints no diagnostics (neither --check nor --strict). Ends the run with "Cannot
// read file NAME" (exit status 2) for a source that cannot be read back.
void MatchSpanLevels(RunState& run, bool printWarnings);

}  // namespace wavsplice
