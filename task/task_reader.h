// Reading the task file into the edit table: one entry per `src`, with the values of the commands
// that follow it, the destination name and the sample mode. Values are stored as written; units and
// ranges are resolved later.
#pragma once

#include <string>
#include <vector>

#include "task/run_state.h"

namespace wavsplice {

// Reads run.taskPath whole and fills run.entries, run.entryCount, run.destPath, run.sampleMode and
// the `loudness` line's value. Tokens are separated by tabs and newlines; a zero byte ends the
// text. Ends the run with exit status 1 on a task file that cannot be opened, a missing or short
// path, a value command before the first `src` or without its value, a 513th `src`, and a
// `loudness` line after a `src`, given twice or whose value is no level from -70 to 0 LUFS.
void ReadTaskFile(RunState& run);

// Adds to names the value after every `src` and `dest` word of the task file at path, tokenised as
// ReadTaskFile does but without reading any further meaning into it, so that it holds even for a
// task the reader gives up on. False when the file cannot be read.
bool NamesInTaskFile(const std::string& path, std::vector<std::string>& names);

}  // namespace wavsplice
