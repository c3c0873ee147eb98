#include "common/staged_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <utility>

#include "common/path_text.h"
#include "common/signal_cleanup.h"

namespace wavsplice {

namespace {

// Keeps ".<label>.wavsplice-XXXXXX" within the 255 bytes a file name may have, however long the
// name it is made from.
constexpr size_t kMaxLabelBytes = 200;

// The characters that make a name unique, and the names tried before giving up: so many taken ones
// are no chance.
constexpr char kNameCharacters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr int kNameAttempts = 10000;

// Creates path, readable and writable by its owner only, its last six characters replaced by random
// letters and digits until no other file has the name; returns the descriptor, or -1. (mkostemp
// does the same with letters from the clock, but its code and the clock's are pages of the C
// library that a run touches for nothing else.)
int CreateUniquelyNamed(std::string& path) {
  const size_t first = path.size() - 6;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    uint64_t bits = 0;
    if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bits)) {
      // No random bytes to be had: the process and the attempt, mixed.
      bits = (static_cast<uint64_t>(::getpid()) << 32 | static_cast<uint64_t>(attempt)) *
             0x9E3779B97F4A7C15u;
    }
    for (size_t at = first; at < path.size(); ++at) {
      path[at] = kNameCharacters[bits % (sizeof kNameCharacters - 1)];
      bits /= sizeof kNameCharacters - 1;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

mode_t CurrentUmask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

// The new file takes the place of the old one, so it takes its rights too: the owner first
// (changing it clears set-id bits), then the bits.
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

// The name of a staged file for label, up to its six unique characters.
std::string StagedPrefix(const std::string& label) {
  return "." + label.substr(0, kMaxLabelBytes) + ".wavsplice-";
}

bool IsNameCharacter(char c) {
  return c != '\0' && std::string(kNameCharacters).find(c) != std::string::npos;
}

// An open descriptor of path, exclusively locked, when path is a regular file that no run holds; -1
// otherwise. Links are not followed.
int TakeHold(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat status = {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
      ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

std::string ScratchLabel(const std::string& destPath) { return FileName(destPath) + ".xfade"; }

std::vector<AbandonedFile> FindAbandoned(const std::string& beside, const std::string& label) {
  std::vector<AbandonedFile> found;
  std::string folder = ParentPath(beside);
  const std::string prefix = StagedPrefix(label);
  DIR* listing = ::opendir(folder.empty() ? "." : folder.c_str());
  if (listing == nullptr) return found;
  const time_t now = ::time(nullptr);
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    bool patterned = true;
    for (size_t at = prefix.size(); at < name.size(); ++at) patterned &= IsNameCharacter(name[at]);
    if (!patterned) continue;
    const std::string path = JoinPath(folder, name);
    const int fd = TakeHold(path);
    if (fd < 0) continue;
    struct stat status = {};
    if (::fstat(fd, &status) == 0 && now - status.st_mtime >= 1) {
      found.push_back({path, static_cast<int64_t>(status.st_size)});
    }
    ::close(fd);
  }
  ::closedir(listing);
  return found;
}

void RemoveAbandoned(const AbandonedFile& file) {
  const int fd = TakeHold(file.path);
  if (fd < 0) return;
  ::unlink(file.path.c_str());
  ::close(fd);
}

bool MayBeReplaced(const std::string& target) {
  struct stat existing = {};
  if (::lstat(target.c_str(), &existing) != 0) return errno == ENOENT;
  return S_ISREG(existing.st_mode) && ::access(target.c_str(), W_OK) == 0;
}

bool MayBeStagedBeside(const std::string& target) {
  std::string folder = ParentPath(target);
  if (folder.empty()) folder = ".";
  struct stat status = {};
  return MayBeReplaced(target) && ::stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
         ::access(folder.c_str(), W_OK | X_OK) == 0;
}

std::optional<StagedFile> StagedFile::Create(const std::string& beside, const std::string& label) {
  const std::string name = StagedPrefix(label) + "XXXXXX";
  std::string path = JoinPath(ParentPath(beside), name);
  const HandledSignalsHeld held;
  const int fd = CreateUniquelyNamed(path);
  if (fd < 0) return std::nullopt;
  // Marks the file as a live run's: no other run takes it for abandoned.
  ::flock(fd, LOCK_EX | LOCK_NB);
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
  // A file whose last writes fail only on closing (a network file system) is not put in place.
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) return false;
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
  if (fd_ >= 0) ::close(fd_);
  path_.clear();
  fd_ = -1;
  listSlot_ = -1;
}

}  // namespace wavsplice
