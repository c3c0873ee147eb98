// Resolving the edit table into sample positions: every source's format is read and compared with
// the first, unsupported audio is refused, and each entry's xin/xout/trim become the span copied
// from its source.
#pragma once

#include "task/run_state.h"

namespace wavsplice {

// Reads the sources with GET_ATTRIBUTES, sets the run format from entry 0, and fills readStart,
// readEnd and readLength of every entry (writing the stop as asked for back into xout). Ends the
// run with exit status 1 on a format mismatch, an unsupported format or a span outside its source,
// and with exit status 2 on a source that cannot be read. Writes no file.
void ResolveEditPlan(RunState& run);

// The steps of ResolveEditPlan, in the order it runs them. ReadSources fills every entry's
// attributes, reading each distinct source path once however many entries name it, with the
// messages of reading it for each entry in turn.
void ReadSources(RunState& run);
void CompareSourceFormats(RunState& run);
void CheckSupportedFormats(RunState& run);
void ResolveSpans(RunState& run);

}  // namespace wavsplice
