// The owner of one file a run writes: created exclusively under a private
// name in the folder of the file it stands beside, removed on every path
// (a failure, an exception, a signal) unless committed, and committed by
// renaming it over that file, so that a reader sees the old file or the
// whole new one and never a part.
#pragma once

#include <optional>
#include <string>

namespace wavsplice {

class StagedFile {
 public:
  // Creates "<folder of beside>/.<label>.wavsplice-XXXXXX", empty and
  // readable by its owner only, with a name no other file has. Empty when no
  // file can be created there.
  static std::optional<StagedFile> Create(const std::string& beside, const std::string& label);

  StagedFile(StagedFile&& other) noexcept;
  StagedFile& operator=(StagedFile&& other) noexcept;
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;
  ~StagedFile();  // removes the file unless it was committed

  // Where the file's bytes are written until it is committed.
  const std::string& path() const { return path_; }

  // Renames the file over the one it stands beside, giving it that file's
  // permission bits, and its owner and group as far as the user may set
  // them (a new file gets what the umask allows). No data is synced: the
  // rename is atomic, durability across a power cut is the file system's.
  // False when the rename fails; the file is then removed like any other.
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
