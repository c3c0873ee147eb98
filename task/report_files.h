// The report files a run writes beside its destination (--json, --timeline). Each is written as the
// destination is: staged beside the file it replaces and renamed into place only when every one was
// written, so that a report that cannot be written leaves the old one as it was.
#pragma once

#include <string>
#include <vector>

#include "common/staged_file.h"

namespace wavsplice {

struct ReportText {
  std::string path;  // as the user named it; messages use it
  std::string text;
};

struct StagedReport {
  std::string path;
  StagedFile file;
};

// Stages every report. Returns the staged files in the order given, or sets failedPath to the first
// report that cannot be written (its place may not be replaced, no file can be created beside it,
// or the write fails: a full disk, a file size limit) and returns none: the files staged so far are
// removed.
std::vector<StagedReport> StageReports(const std::vector<ReportText>& reports,
                                       std::string& failedPath);

}  // namespace wavsplice
