#include "common/staged_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include "common/path_text.h"
#include "common/signal_cleanup.h"

namespace wavsplice {

namespace {

// Keeps ".<label>.wavsplice-XXXXXX" within the 255 bytes a file name may
// have, however long the name it is made from.
constexpr size_t kMaxLabelBytes = 200;

mode_t CurrentUmask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

// The new file takes the place of the old one, so it takes its rights too:
// the owner first (changing it clears set-id bits), then the bits.
void TakeRightsOf(int fd, const std::string& replaced) {
  struct stat old = {};
  if (::stat(replaced.c_str(), &old) != 0) {
    ::fchmod(fd, 0666 & ~CurrentUmask());  // what creating it anew would give
    return;
  }
  if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
    // Not root: keep the group where the user belongs to it.
    if (::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
    }
  }
  ::fchmod(fd, old.st_mode & 07777);
}

}  // namespace

std::optional<StagedFile> StagedFile::Create(const std::string& beside, const std::string& label) {
  const std::string name = "." + label.substr(0, kMaxLabelBytes) + ".wavsplice-XXXXXX";
  std::string path = JoinPath(ParentPath(beside), name);
  const HandledSignalsHeld held;
  const int fd = ::mkostemp(path.data(), O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  const int listSlot = ListForRemoval(path.c_str());
  if (listSlot < 0) {
    ::unlink(path.c_str());
    ::close(fd);
    return std::nullopt;
  }
  return StagedFile(std::move(path), beside, fd, listSlot);
}

StagedFile::StagedFile(std::string path, std::string beside, int fd, int listSlot)
    : path_(std::move(path)), beside_(std::move(beside)), fd_(fd), listSlot_(listSlot) {}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : path_(std::exchange(other.path_, std::string())),
      beside_(std::move(other.beside_)),
      fd_(std::exchange(other.fd_, -1)),
      listSlot_(std::exchange(other.listSlot_, -1)) {}

StagedFile& StagedFile::operator=(StagedFile&& other) noexcept {
  if (this != &other) {
    Release();
    path_ = std::exchange(other.path_, std::string());
    beside_ = std::move(other.beside_);
    fd_ = std::exchange(other.fd_, -1);
    listSlot_ = std::exchange(other.listSlot_, -1);
  }
  return *this;
}

StagedFile::~StagedFile() { Release(); }

bool StagedFile::Commit() {
  if (path_.empty()) return false;
  TakeRightsOf(fd_, beside_);
  const HandledSignalsHeld held;
  if (::rename(path_.c_str(), beside_.c_str()) != 0) return false;
  Forget();
  return true;
}

void StagedFile::Release() {
  if (path_.empty()) return;
  const HandledSignalsHeld held;
  ::unlink(path_.c_str());
  Forget();
}

void StagedFile::Forget() {
  UnlistForRemoval(listSlot_);
  ::close(fd_);
  path_.clear();
  fd_ = -1;
  listSlot_ = -1;
}

}  // namespace wavsplice
