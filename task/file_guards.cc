#include "task/file_guards.h"

#include <filesystem>
#include <system_error>

#include "common/failure.h"
#include "common/file_io.h"

namespace wavsplice {

namespace fs = std::filesystem;

namespace {

// Links are followed as far as they lead, also a link to a file not yet
// there, so that a destination the run will create through a link is
// recognised as the input it would replace.
fs::path Normalised(const std::string& path) {
  std::error_code error;
  fs::path absolute = fs::absolute(path, error);
  if (error) absolute = path;
  absolute = FollowLinks(absolute.string());
  const fs::path resolved = fs::weakly_canonical(absolute, error);
  return error ? absolute.lexically_normal() : resolved;
}

}  // namespace

bool SameFile(const std::string& first, const std::string& second) {
  std::error_code error;
  if (fs::exists(first, error) && fs::exists(second, error)) {
    const bool same = fs::equivalent(first, second, error);
    if (!error) return same;
  }
  return Normalised(first) == Normalised(second);
}

void CheckOutputsSpareInputs(const RunState& run) {
  bool clash = SameFile(run.destPath, run.taskPath);
  for (int32_t j = 0; j < run.entryCount && !clash; ++j) {
    clash = SameFile(run.destPath, run.entries[static_cast<size_t>(j)].sourcePath);
  }
  if (clash) Fail(kExitTask, "Destination file %s is also an input file\n", run.destPath.c_str());
}

}  // namespace wavsplice
