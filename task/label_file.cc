#include "task/label_file.h"

#include <cmath>
#include <cstdio>

#include "common/failure.h"
#include "common/file_io.h"
#include "common/messages.h"
#include "task/task_values.h"

namespace wavsplice {

namespace {

constexpr char kNotALabel[] =
    "this line is no label: write START, a tab, END and a tab before the text, in seconds";
constexpr char kNotATime[] = "'%s' is no time in seconds: write it with a period, as 12.5";
constexpr char kPointNote[] = "%s:%i marks a point at %.6f s, not a region: it is left out";

// A time of a label: wholly a number (no clock time, no comma), finite and not negative.
bool LabelTime(const std::string& field, double& seconds, std::string& error) {
  seconds = LeadingNumber(field.c_str());
  if (!field.empty() && WhollyNumber(field.c_str(), false) && std::isfinite(seconds) &&
      seconds >= 0) {
    return true;
  }
  char text[160];
  std::snprintf(text, sizeof text, kNotATime, field.substr(0, 40).c_str());
  error = text;
  return false;
}

}  // namespace

bool ParseLabels(const std::string& text, std::vector<Label>& labels, int32_t& errorLine,
                 std::string& error) {
  int32_t line = 0;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string row = text.substr(at, end - at);
    at = end + 1;
    ++line;
    if (!row.empty() && row.back() == '\r') row.pop_back();
    // Blank lines, and the frequency lines of spectral labels.
    if (row.empty() || row[0] == '\\') continue;
    const size_t firstTab = row.find('\t');
    errorLine = line;
    if (firstTab == std::string::npos) {
      error = kNotALabel;
      return false;
    }
    const size_t secondTab = row.find('\t', firstTab + 1);
    Label label;
    label.line = line;
    if (!LabelTime(row.substr(0, firstTab), label.start, error) ||
        !LabelTime(row.substr(firstTab + 1, secondTab - firstTab - 1), label.end, error)) {
      return false;
    }
    labels.push_back(label);
  }
  return true;
}

void AddLabelRegions(const std::string& path, const std::string& taskPath, int32_t taskLine,
                     std::vector<SourceRegion>& regions, Diagnostics& diagnostics) {
  std::string text;
  if (!ReadWholeFile(path, text))
    Fail(kExitTask, msg::kLabelFileUnreadable, taskPath.c_str(), taskLine, path.c_str());
  std::vector<Label> labels;
  int32_t errorLine = 0;
  std::string error;
  if (!ParseLabels(text, labels, errorLine, error)) {
    Fail(kExitTask, msg::kLabelFileLineError, path.c_str(), errorLine, error.c_str());
  }
  for (const Label& label : labels) {
    if (label.start == label.end) {
      Note(diagnostics, taskLine, kPointNote, path.c_str(), label.line, label.start);
      continue;
    }
    SourceRegion region;
    region.from = label.start;
    region.to = label.end;
    region.inSeconds = true;
    region.line = taskLine;
    region.labelFile = path;
    region.labelLine = label.line;
    regions.push_back(region);
  }
}

}  // namespace wavsplice
