// The owner of one file a run writes: created exclusively under a private name in the folder of the
// file it stands beside, removed on every path (a failure, an exception, a signal) unless
// committed, and committed by renaming it over that file, so that a reader sees the old file or the
// whole new one and never a part.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace wavsplice {

// True when a staged file may take target's place: nothing is there yet, or a regular file this
// user may write. A folder, a device, a pipe or a socket is never replaced by a file, and a file
// this user may not write is not replaced behind their back.
bool MayBeReplaced(const std::string& target);

// True when a staged file could be created beside target and put in its place, as far as can be
// told without writing: target may be replaced and its folder exists and may be written. (A full
// disk shows only on writing.)
bool MayBeStagedBeside(const std::string& target);

// The label of a destination's crossfade scratch files, from the name the task gives the
// destination: ".out.wav.xfade.wavsplice-XXXXXX" for out.wav.
std::string ScratchLabel(const std::string& destPath);

// A staged file that its run left behind (killed by SIGKILL, or by a power cut): named by the
// pattern for beside and label, held by no live run.
struct AbandonedFile {
  std::string path;
  int64_t bytes = 0;
};

// The abandoned files of the pattern ".<label>.wavsplice-XXXXXX" in the folder of beside. A live
// run holds an advisory lock (flock) on its file from the moment it creates it; a file that nobody
// holds and that has not changed for a second is abandoned. (The second covers the instant between
// a file's creation and its lock.)
std::vector<AbandonedFile> FindAbandoned(const std::string& beside, const std::string& label);

// Removes an abandoned file, unless a run has taken hold of it since it was found. Never touches
// any other file.
void RemoveAbandoned(const AbandonedFile& file);

class StagedFile {
 public:
  // Creates "<folder of beside>/.<label>.wavsplice-XXXXXX", empty and readable by its owner only,
  // with a name no other file has, and holds its advisory lock for its life. Empty when no file can
  // be created there.
  static std::optional<StagedFile> Create(const std::string& beside, const std::string& label);

  StagedFile(StagedFile&& other) noexcept;
  StagedFile& operator=(StagedFile&& other) noexcept;
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;
  ~StagedFile();  // removes the file unless it was committed

  // Where the file's bytes are written until it is committed.
  const std::string& path() const { return path_; }

  // The file's open descriptor, for reading and writing, until it is committed or removed.
  int fd() const { return fd_; }

  // Renames the file over the one it stands beside, giving it that file's permission bits, and its
  // owner and group as far as the user may set them (a new file gets what the umask allows). No
  // data is synced: the rename is atomic, durability across a power cut is the file system's. The
  // descriptor is closed first. False when closing or the rename fails; the file is then removed
  // like any other.
  bool Commit();

 private:
  StagedFile(std::string path, std::string beside, int fd, int listSlot);
  void Release();  // removes the file, if any
  void Forget();   // lets go of the file's name, descriptor and list slot

  std::string path_;
  std::string beside_;
  int fd_ = -1;
  int listSlot_ = -1;
};

}  // namespace wavsplice
