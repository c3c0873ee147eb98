// Reading an audio editor's label file: one label a line, START, a tab, END, a tab and its text,
// the times in seconds with a period. Lines that start with a backslash carry a label's frequency
// range and are skipped. The regions become the cuts (or the kept regions) of an edit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "task/diagnostics.h"
#include "task/run_state.h"

namespace wavsplice {

// A label of the file: its times in seconds and its line (1-based).
struct Label {
  double start = 0;
  double end = 0;
  int32_t line = 0;
};

// The labels of text, read with the task file's own rules for numbers. On a line that is no label,
// returns false with errorLine set and error holding the reason (the text after "error: ").
bool ParseLabels(const std::string& text, std::vector<Label>& labels, int32_t& errorLine,
                 std::string& error);

// Adds a region in seconds to regions for every label of the file at path that the task-file line
// taskLine names; a label whose start equals its end marks a point, not a region: a note, and it is
// left out. Ends the run with exit status 1 when the file cannot be read ("TASK:LINE: error: ...")
// or holds a line that is no label ("LABELFILE:LINE: error: ...").
void AddLabelRegions(const std::string& path, const std::string& taskPath, int32_t taskLine,
                     std::vector<SourceRegion>& regions, Diagnostics& diagnostics);

}  // namespace wavsplice
