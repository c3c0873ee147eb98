#include "task/destination.h"

#include <optional>
#include <utility>
#include <vector>

#include "common/failure.h"
#include "common/file_io.h"
#include "common/path_text.h"

namespace wavsplice {

namespace {

[[noreturn]] void FailToCreate(const RunState& run) {
  Fail(kExitFile, "Cannot create destination file %s\n", run.destPath.c_str());
}

// The files that interrupted runs left for this destination: its staged
// files and its crossfades' scratch files.
std::vector<AbandonedFile> AbandonedFilesOf(const RunState& run) {
  const std::string target = FollowLinks(run.destPath);
  std::vector<AbandonedFile> files = FindAbandoned(target, FileName(target));
  for (AbandonedFile& scratch : FindAbandoned(target, ScratchLabel(run.destPath))) {
    files.push_back(std::move(scratch));
  }
  return files;
}

}  // namespace

StagedFile StageDestination(RunState& run) {
  const std::string target = FollowLinks(run.destPath);
  if (!MayBeReplaced(target)) FailToCreate(run);
  const std::string name = FileName(target);
  std::optional<StagedFile> staged = StagedFile::Create(target, name);
  if (!staged) FailToCreate(run);
  run.destWritePath = staged->path();
  for (const AbandonedFile& file : AbandonedFilesOf(run)) RemoveAbandoned(file);
  return std::move(*staged);
}

void CheckDestinationCanBeStaged(const RunState& run) {
  if (!MayBeStagedBeside(FollowLinks(run.destPath))) FailToCreate(run);
}

void NoteAbandonedFiles(RunState& run) {
  for (const AbandonedFile& file : AbandonedFilesOf(run)) {
    Note(run.diagnostics, run.destLine,
         "an interrupted run left %s (%lld bytes) beside the destination; the next run of this "
         "task removes it",
         file.path.c_str(), static_cast<long long>(file.bytes));
  }
}

void CommitDestination(StagedFile& destination, const RunState& run) {
  if (!destination.Commit()) Fail(kExitFile, "Cannot write to file %s\n", run.destPath.c_str());
}

}  // namespace wavsplice
