#include "task/file_guards.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>
#include <vector>

#include "common/failure.h"
#include "common/file_io.h"
#include "common/messages.h"
#include "common/path_text.h"
#include "task/task_reader.h"

namespace wavsplice {

namespace {

// A path that leads nowhere, rather than one that cannot be looked at.
bool NotFound(int error) { return error == ENOENT || error == ENOTDIR; }

// A relative path taken from the working folder; false for an empty path or an unknown working
// folder.
bool MakeAbsolute(const std::string& path, std::string& absolute) {
  if (path.empty()) return false;
  if (path[0] == '/') {
    absolute = path;
    return true;
  }
  char* folder = ::getcwd(nullptr, 0);
  if (folder == nullptr) return false;
  absolute = JoinPath(folder, path);
  std::free(folder);
  return true;
}

// The absolute path of an existing file with every link, "." and ".." resolved; false when it
// cannot be resolved.
bool Canonical(const std::string& path, std::string& canonical) {
  std::string absolute;
  if (!MakeAbsolute(path, absolute)) return false;
  char* resolved = ::realpath(absolute.c_str(), nullptr);
  if (resolved == nullptr) return false;
  canonical = resolved;
  std::free(resolved);
  return true;
}

// The longest leading part of the path that exists, canonical, with the rest of the path after it,
// in lexical normal form. False when a part of the path cannot be looked at.
bool WeaklyCanonical(const std::string& path, std::string& result) {
  struct stat status = {};
  if (::stat(path.c_str(), &status) == 0) return Canonical(path, result);
  if (!NotFound(errno)) return false;
  const std::vector<std::string> elements = PathElements(path);
  std::string existing;
  size_t next = 0;
  for (; next < elements.size(); ++next) {
    const std::string longer = JoinPath(existing, elements[next]);
    if (::stat(longer.c_str(), &status) != 0) {
      if (!NotFound(errno)) return false;
      break;
    }
    existing = longer;
  }
  std::string resolved = existing;
  if (!existing.empty() && !Canonical(existing, resolved)) return false;
  for (; next < elements.size(); ++next) resolved = JoinPath(resolved, elements[next]);
  result = LexicallyNormal(resolved);
  return true;
}

// True when the file at path begins as a RIFF, RF64 or BW64 WAVE file.
bool BeginsAsWav(const std::string& path) {
  FileHandle file = OpenFile(path, "rb");
  unsigned char head[12] = {};
  if (!file || ReadAt(file.get(), 0, head, sizeof head) != sizeof head) return false;
  const std::string form(reinterpret_cast<const char*>(head), 4);
  return (form == "RIFF" || form == "RF64" || form == "BW64") &&
         std::string(reinterpret_cast<const char*>(head) + 8, 4) == "WAVE";
}

bool Exists(const std::string& path) {
  struct stat status = {};
  return ::lstat(path.c_str(), &status) == 0;
}

std::string RefusalText(const char* rule, const std::string& path) {
  return "Report file " + path + " " + rule + "\n";
}

}  // namespace

std::string NormalisedPath(const std::string& path) {
  std::string absolute;
  if (!MakeAbsolute(path, absolute)) absolute = path;
  absolute = FollowLinks(absolute);
  std::string resolved;
  return WeaklyCanonical(absolute, resolved) ? resolved : LexicallyNormal(absolute);
}

FileIdentity::FileIdentity(std::string path) : path_(std::move(path)) {
  struct stat status = {};
  exists_ = ::stat(path_.c_str(), &status) == 0;
  if (!exists_) return;
  special_ = !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
  device_ = status.st_dev;
  inode_ = status.st_ino;
}

const std::string& FileIdentity::Normalised() const {
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
  if (clash) Fail(kExitTask, msg::kDestinationIsInput, run.destPath.c_str());
}

std::string ReportFileRefusal(const std::string& path, const std::string& otherReport,
                              const RunState& run) {
  const FileIdentity report(path);
  std::vector<const std::string*> runFiles = {&run.taskPath, &run.destPath};
  for (const EditEntry& entry : run.entries) runFiles.push_back(&entry.sourcePath);
  if (!otherReport.empty()) runFiles.push_back(&otherReport);
  for (const std::string* file : runFiles) {
    if (!file->empty() && report.Same(FileIdentity(*file))) {
      return RefusalText("is also a file of the run", path);
    }
  }
  std::vector<std::string> named;
  if (!NamesInTaskFile(run.taskPath, named)) {
    if (Exists(path)) return RefusalText("exists and the task file cannot be read", path);
  }
  for (const std::string& name : named) {
    if (report.Same(FileIdentity(name))) return RefusalText("is named in the task file", path);
  }
  if (BeginsAsWav(path)) return RefusalText("is a WAV file", path);
  return std::string();
}

}  // namespace wavsplice
