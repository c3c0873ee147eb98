// A fresh temporary directory per test, made the working directory for the
// test's life ("task.txt" is a name in the working directory), removed with
// everything in it afterwards.
#pragma once

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

}  // namespace wavsplice::testing
