// The report of a run, in one place: the edit blocks and the closing block that a run prints, the
// same with each crossfade's predicted outcome and the diagnostics for a check, and the JSON
// document of either.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "task/run_state.h"

namespace wavsplice {

// The report's time value: frames / sampleRate, divided in 32-bit floating point and widened for
// printing; for frame counts beyond the signed 32-bit range, divided in 64-bit floating point.
double ReportSeconds(int64_t frames, int32_t sampleRate);

// "Task %i" and the lines of the entry's position, source and level.
void PrintEditBlock(const RunState& run, int32_t entryIndex);

// A check's line for an entry's crossfade: width, frames, type, the span of the destination it
// covers and its predicted outcome. Nothing without one.
void PrintCrossfadeLine(const RunState& run, const EditEntry& entry);

// For an entry whose crossfade takes its material from the sources (`handles`): one line with its
// width, frames, type, the destination it covers, the frames it takes on each side of the splice,
// and whether it moved, shrank or vanished. A run and a check print it alike. Returns false,
// printing nothing, for any other entry.
bool PrintHandlesLine(const RunState& run, const EditEntry& entry);

// "Built\t%s" (a run) or "Would build\t%s" (a check) and the destination's length, bits, channels
// and sample rate.
void PrintFinalReport(const RunState& run, const char* heading);

// For a task that asks for markers or metadata, what the destination will carry: "Markers N" and a
// line per marker (its time and label), then which source's metadata it takes. Nothing for any
// other task.
void PrintMetadataPlan(const RunState& run);

// Every diagnostic, by line, as "TASKFILE:LINE: warning: TEXT", then "%i warnings, %i notes".
void PrintDiagnostics(const RunState& run);

// For a check that ends with a refusal of the plan: the task-file line it concerns, as
// "TASKFILE:LINE: error: ...", before the run's own message (empty: the format listing printed
// already). Nothing when no line is known.
void PrintRefusedLine(const RunState& run, const std::string& message);

// For a plain run that a person watches: the check's warnings (not its notes) on standard error, in
// the form a check prints them, before the render; and after the report one line on standard error
// with their count and the command that shows the plan (nothing when there are none).
void PrintWarningsToStderr(const RunState& run);
void PrintWarningCountToStderr(const RunState& run);

// What a run or a check did, beyond the run state, for the JSON report.
struct RunRecord {
  std::string version;
  bool check = false;
  bool planned = false;  // the plan and write order were resolved
  int exitStatus = 0;
};

// The report as one JSON document (see docs/report-json.md). Text that is not valid UTF-8 has its
// invalid bytes replaced, with a note added.
std::string ReportJson(const RunState& run, const RunRecord& record);

}  // namespace wavsplice
