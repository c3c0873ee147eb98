#include "task/destination.h"

#include <optional>
#include <utility>

#include "common/failure.h"
#include "common/file_io.h"
#include "common/path_text.h"

namespace wavsplice {

namespace {

[[noreturn]] void FailToCreate(const RunState& run) {
  Fail(kExitFile, "Cannot create destination file %s\n", run.destPath.c_str());
}

}  // namespace

StagedFile StageDestination(RunState& run) {
  const std::string target = FollowLinks(run.destPath);
  if (!MayBeReplaced(target)) FailToCreate(run);
  const std::string name = FileName(target);
  std::optional<StagedFile> staged = StagedFile::Create(target, name);
  if (!staged) FailToCreate(run);
  run.destWritePath = staged->path();
  return std::move(*staged);
}

void CheckDestinationCanBeStaged(const RunState& run) {
  if (!MayBeStagedBeside(FollowLinks(run.destPath))) FailToCreate(run);
}

void CommitDestination(StagedFile& destination, const RunState& run) {
  if (!destination.Commit()) Fail(kExitFile, "Cannot write to file %s\n", run.destPath.c_str());
}

}  // namespace wavsplice
