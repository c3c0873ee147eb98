#include "task/report_files.h"

#include <optional>
#include <utility>

#include "common/file_io.h"
#include "common/path_text.h"

namespace wavsplice {

namespace {

// The text in a file staged beside the file path leads to (a symbolic link stays a link); empty
// when the place may not be replaced or the write fails.
std::optional<StagedFile> StageText(const std::string& path, const std::string& text) {
  const std::string target = FollowLinks(path);
  if (!MayBeReplaced(target)) return std::nullopt;
  std::optional<StagedFile> staged = StagedFile::Create(target, FileName(target));
  if (!staged || !WriteAt(staged->fd(), 0, text.data(), text.size())) return std::nullopt;
  return staged;
}

}  // namespace

std::vector<StagedReport> StageReports(const std::vector<ReportText>& reports,
                                       std::string& failedPath) {
  std::vector<StagedReport> staged;
  for (const ReportText& report : reports) {
    std::optional<StagedFile> file = StageText(report.path, report.text);
    if (!file) {
      failedPath = report.path;
      return {};
    }
    staged.push_back({report.path, std::move(*file)});
  }
  return staged;
}

}  // namespace wavsplice
