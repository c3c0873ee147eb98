// The render loop: every edit, in write order, copied into the silent
// destination with its level change and crossfade, with a report block each.
#pragma once

#include "task/run_state.h"

namespace wavsplice {

// Writes every entry of run.writeOrder into the destination and prints its
// report block. Ends the run (exit status 2) when a copy cannot be made.
void RenderEdits(RunState& run);

// The report's time value: frames / sampleRate, divided in 32-bit floating
// point and widened for printing.
double ReportSeconds(int32_t frames, int32_t sampleRate);

}  // namespace wavsplice
