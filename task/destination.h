// The destination's life: built under a temporary name beside the file the task names, and put in
// that file's place whole only when the run has succeeded. Until then a destination that existed
// stays as it was.
#pragma once

#include <cstdint>

#include "common/staged_file.h"
#include "task/run_state.h"

namespace wavsplice {

// Creates the destination's temporary file beside the file run.destPath leads to (through symbolic
// links, so that a link stays a link) and sets run.destWritePath to it. Ends the run with "Cannot
// replace destination file" (exit status 2) when the destination exists and is not a regular file
// this user may write, and "Cannot create destination file" when no file can be created in its
// folder. Then removes the files that interrupted runs left for this destination.
StagedFile StageDestination(RunState& run);

// What StageDestination would refuse, found without writing anything: for a check, which must end
// as the run would. Ends the run with "Cannot create destination file" or, where a file is there,
// "Cannot replace destination file" (exit status 2) when the destination may not be replaced, or
// its folder is missing, may not be written or has no file left to give.
void CheckDestinationCanBeStaged(const RunState& run);

// The most bytes a planned run writes beside its destination at once: the destination and the
// largest crossfade's scratch file.
int64_t BytesTheRunWrites(const RunState& run);

// Adds a warning to the run's diagnostics when the destination's file system has less room than the
// bytes the run will write there.
void WarnOfDiskRoom(RunState& run, int64_t bytes);

// Adds a note to the run's diagnostics for each file an interrupted run left for this destination
// (its staged file or a crossfade's scratch file, held by no live run), with its size. Removes
// nothing.
void NoteAbandonedFiles(RunState& run);

// Puts the finished destination in place. Ends the run with "Cannot write to file" (exit status 2)
// when it cannot be renamed there.
void CommitDestination(StagedFile& destination, const RunState& run);

}  // namespace wavsplice
