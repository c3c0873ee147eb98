#include "task/destination.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

// A device, a pipe, a socket or a folder is never replaced by a file, and a
// file this user may not write is not replaced behind their back.
bool MayReplace(const std::string& target) {
  struct stat existing = {};
  if (::lstat(target.c_str(), &existing) != 0) return errno == ENOENT;
  return S_ISREG(existing.st_mode) && ::access(target.c_str(), W_OK) == 0;
}

}  // namespace

StagedFile StageDestination(RunState& run) {
  const std::string target = FollowLinks(run.destPath);
  if (!MayReplace(target)) FailToCreate(run);
  const std::string name = FileName(target);
  std::optional<StagedFile> staged = StagedFile::Create(target, name);
  if (!staged) FailToCreate(run);
  run.destWritePath = staged->path();
  return std::move(*staged);
}

void CommitDestination(StagedFile& destination, const RunState& run) {
  if (!destination.Commit()) Fail(kExitFile, "Cannot write to file %s\n", run.destPath.c_str());
}

}  // namespace wavsplice
