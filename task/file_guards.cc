#include "task/file_guards.h"

#include <sys/stat.h>

#include <system_error>
#include <utility>

#include "common/failure.h"
#include "common/file_io.h"

namespace wavsplice {

namespace fs = std::filesystem;

namespace {

// Links are followed as far as they lead, also a link to a file not yet
// there, so that a destination the run will create through a link is
// recognised as the input it would replace.
fs::path NormalisedPath(const std::string& path) {
  std::error_code error;
  fs::path absolute = fs::absolute(path, error);
  if (error) absolute = path;
  absolute = FollowLinks(absolute.string());
  const fs::path resolved = fs::weakly_canonical(absolute, error);
  return error ? absolute.lexically_normal() : resolved;
}

}  // namespace

FileIdentity::FileIdentity(std::string path) : path_(std::move(path)) {
  struct stat status = {};
  exists_ = ::stat(path_.c_str(), &status) == 0;
  if (!exists_) return;
  special_ = !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
  device_ = status.st_dev;
  inode_ = status.st_ino;
}

const fs::path& FileIdentity::Normalised() const {
  if (!normalisedKnown_) {
    normalised_ = NormalisedPath(path_);
    normalisedKnown_ = true;
  }
  return normalised_;
}

bool FileIdentity::Same(const FileIdentity& other) const {
  if (exists_ && other.exists_ && !(special_ && other.special_)) {
    return !special_ && !other.special_ && device_ == other.device_ && inode_ == other.inode_;
  }
  return Normalised() == other.Normalised();
}

bool SameFile(const std::string& first, const std::string& second) {
  return FileIdentity(first).Same(FileIdentity(second));
}

void CheckOutputsSpareInputs(const RunState& run) {
  const FileIdentity dest(run.destPath);
  bool clash = dest.Same(FileIdentity(run.taskPath));
  for (int32_t j = 0; j < run.entryCount && !clash; ++j) {
    const EditEntry& entry = run.entries[static_cast<size_t>(j)];
    if (&FirstEntryNaming(run, j) == &entry) clash = dest.Same(FileIdentity(entry.sourcePath));
  }
  if (clash) Fail(kExitTask, "Destination file %s is also an input file\n", run.destPath.c_str());
}

}  // namespace wavsplice
