#include "task/destination.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "common/failure.h"
#include "common/file_io.h"
#include "common/messages.h"
#include "common/path_text.h"
#include "task/crossfade_plan.h"

namespace wavsplice {

namespace {

// "replace" where a file is there already: a folder, a device, a pipe, or a file this user may not
// write.
[[noreturn]] void FailToCreate(const RunState& run, const std::string& target) {
  struct stat existing = {};
  const bool exists = ::lstat(target.c_str(), &existing) == 0;
  Fail(kExitFile, msg::kCannotMakeDestination, exists ? "replace" : "create", run.destPath.c_str());
}

// A file system with no file left to give cannot hold a temporary file.
bool HasRoomForAFile(const std::string& target) {
  std::string folder = ParentPath(target);
  struct statvfs disk = {};
  if (::statvfs(folder.empty() ? "." : folder.c_str(), &disk) != 0) return true;
  return disk.f_favail != 0;
}

// The files that interrupted runs left for this destination: its staged files and its crossfades'
// scratch files.
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
  if (!MayBeReplaced(target)) FailToCreate(run, target);
  // What interrupted runs left goes first, so that the scan never opens this run's own file.
  for (const AbandonedFile& file : AbandonedFilesOf(run)) RemoveAbandoned(file);
  const std::string name = FileName(target);
  std::optional<StagedFile> staged = StagedFile::Create(target, name);
  if (!staged) FailToCreate(run, target);
  run.destWritePath = staged->path();
  run.destFd = staged->fd();
  return std::move(*staged);
}

void CheckDestinationCanBeStaged(const RunState& run) {
  const std::string target = FollowLinks(run.destPath);
  if (!MayBeStagedBeside(target) || !HasRoomForAFile(target)) FailToCreate(run, target);
}

int64_t BytesTheRunWrites(const RunState& run) {
  constexpr int64_t kHeaderBytes = 128;  // the largest header: RF64, extensible, with fact
  const int64_t frameBytes = run.format.FrameBytes();
  int64_t largestScratch = 0;
  for (const EditEntry& entry : run.entries) {
    const CrossfadePlan plan = PlanCrossfade(run, entry);
    int64_t bytes = 0;
    if (plan.outcome == CrossfadeOutcome::kMade &&
        !__builtin_mul_overflow(plan.xfSamples, frameBytes, &bytes) && bytes > largestScratch) {
      largestScratch = bytes;
    }
  }
  int64_t total = 0;
  if (__builtin_mul_overflow(run.destLength, frameBytes, &total) ||
      __builtin_add_overflow(total, largestScratch + 2 * kHeaderBytes, &total)) {
    return INT64_MAX;
  }
  return total;
}

void WarnOfDiskRoom(RunState& run, int64_t bytes) {
  std::string folder = ParentPath(FollowLinks(run.destPath));
  uint64_t available = 0;
  if (!AvailableBytes(folder.empty() ? "." : folder, available) ||
      available >= static_cast<uint64_t>(bytes)) {
    return;
  }
  // The failure's message up to the file's name.
  const std::string failure(msg::kCannotWriteToFile, std::strlen(msg::kCannotWriteToFile) - 4);
  Warn(run.diagnostics, run.destLine,
       "the destination's file system has %llu bytes free, but the run writes up to %lld bytes "
       "there: it will fail with \"%s\"",
       static_cast<unsigned long long>(available), static_cast<long long>(bytes), failure.c_str());
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
  if (!destination.Commit()) Fail(kExitFile, msg::kCannotWriteToFile, run.destPath.c_str());
}

}  // namespace wavsplice
