// The report's loudness block: the destination's measured loudness after the closing block of a
// run, and the verdict of its delivery target.
#pragma once

#include <string>

#include "task/run_state.h"

namespace wavsplice {

// A level as the block prints it: one decimal, no "-0.0", "-inf" for the level of silence.
std::string Tenths(double decibels);

// "Loudness\t%s" and the destination's integrated loudness, loudness range, true peak and sample
// peak, one a line; with a target, the RMS level and noise floor when it sets limits on them, then
// "Target NAME met" or a line per value that misses it. Nothing when the destination was not
// measured.
void PrintLoudnessReport(const RunState& run);

// For a missed target under --strict: prints the block and ends the run with exit status 1 ("Target
// NAME missed: DEST left as it was") before the destination is put in place.
[[noreturn]] void RefuseDelivery(const RunState& run);

}  // namespace wavsplice
