#include "task/file_guards.h"

#include <filesystem>
#include <system_error>

#include "common/failure.h"

namespace wavsplice {

namespace fs = std::filesystem;

namespace {

// Links are followed as far as they lead, also a link to a file not yet
// there, so that the crossfade temp file is recognised under another name.
fs::path Normalised(const std::string& path) {
  std::error_code error;
  fs::path absolute = fs::absolute(path, error);
  if (error) absolute = path;
  // 40 hops, as the system allows, so that a loop of links ends.
  for (int hop = 0; hop < 40 && fs::is_symlink(absolute, error); ++hop) {
    const fs::path target = fs::read_symlink(absolute, error);
    if (error) break;
    absolute = target.is_absolute() ? target : absolute.parent_path() / target;
  }
  const fs::path resolved = fs::weakly_canonical(absolute, error);
  return error ? absolute.lexically_normal() : resolved;
}

bool AnyCrossfade(const RunState& run) {
  for (int32_t j = 0; j < run.entryCount; ++j) {
    if (run.entries[static_cast<size_t>(j)].xfType != 0) return true;
  }
  return false;
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

  if (!AnyCrossfade(run)) return;
  for (int32_t j = 0; j < run.entryCount; ++j) {
    const std::string& source = run.entries[static_cast<size_t>(j)].sourcePath;
    if (SameFile(source, run.xfadeTempPath)) {
      Fail(kExitTask, "File %s is reserved for crossfades\n", source.c_str());
    }
  }
  if (SameFile(run.destPath, run.xfadeTempPath)) {
    Fail(kExitTask, "File %s is reserved for crossfades\n", run.destPath.c_str());
  }
}

}  // namespace wavsplice
