// A fresh temporary directory per test, made the working directory for the test's life ("task.txt"
// is a name in the working directory), removed with everything in it afterwards.
#pragma once

#include <map>
#include <string>

namespace wavsplice::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
  std::string previous_;
};

// Every file, link and folder under dir, by its path relative to dir: its kind, and for a file its
// modification time and bytes, for a link its target. Two snapshots are equal when nothing under
// dir was created, removed, rewritten or touched in between.
std::map<std::string, std::string> FolderSnapshot(const std::string& dir);

}  // namespace wavsplice::testing
