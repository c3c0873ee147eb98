#include "tests/temp_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "tests/wav_fixture.h"

namespace wavsplice::testing {

TempDir::TempDir() {
  std::error_code error;
  std::string base = std::filesystem::temp_directory_path(error).string();
  if (error || base.empty()) base = "/tmp";
  std::string pattern = base + "/wavsplice-test-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = name.data();
  previous_ = std::filesystem::current_path().string();
  std::filesystem::current_path(path_);
}

TempDir::~TempDir() {
  std::error_code error;
  std::filesystem::current_path(previous_, error);
  // Tests may leave read-only folders behind; make them writable first.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, error);
  }
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, error);
  std::filesystem::remove_all(path_, error);
}

std::map<std::string, std::string> FolderSnapshot(const std::string& dir) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> items;
  for (const fs::directory_entry& item : fs::recursive_directory_iterator(dir)) {
    const std::string name = fs::relative(item.path(), dir).string();
    if (item.is_symlink()) {
      items[name] = "link " + fs::read_symlink(item.path()).string();
    } else if (item.is_directory()) {
      items[name] = "folder";
    } else if (item.is_regular_file()) {
      struct stat info {};
      ::stat(item.path().c_str(), &info);
      const Bytes bytes = ReadFile(item.path().string());
      items[name] = "file " + std::to_string(info.st_mtim.tv_sec) + "." +
                    std::to_string(info.st_mtim.tv_nsec) + " " +
                    std::string(bytes.begin(), bytes.end());
    } else {
      items[name] = "special";
    }
  }
  return items;
}

}  // namespace wavsplice::testing
