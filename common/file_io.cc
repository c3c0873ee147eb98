#include "common/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/path_text.h"

namespace wavsplice {

namespace {

// Offsets go through off_t, 64 bits wide on every platform the build targets (_FILE_OFFSET_BITS=64
// on 32-bit ones), so files beyond 2 GiB and 4 GiB are reached everywhere; long is only 32 bits on
// 32-bit ARM.
static_assert(sizeof(off_t) == sizeof(int64_t), "file offsets must be 64 bits wide");

// The text of the link at path; false when it cannot be read.
bool ReadLink(const std::string& path, std::string& target) {
  std::string text(256, '\0');
  for (;;) {
    const ssize_t length = ::readlink(path.c_str(), &text[0], text.size());
    if (length < 0) return false;
    if (static_cast<size_t>(length) < text.size()) {
      text.resize(static_cast<size_t>(length));
      target = text;
      return true;
    }
    text.resize(text.size() * 2);  // it may not have fitted
  }
}

bool SeekTo(std::FILE* file, int64_t pos) {
  if (pos < 0) return false;
  return ::fseeko(file, static_cast<off_t>(pos), SEEK_SET) == 0;
}

}  // namespace

FileHandle OpenFile(const std::string& path, const char* mode) {
  const bool readOnly = mode[0] == 'r' && std::strchr(mode, '+') == nullptr;
  // What the path leads to, links followed; a path that leads nowhere yet may still be created.
  struct stat status = {};
  const bool found = ::stat(path.c_str(), &status) == 0;
  if (readOnly && !(found && S_ISREG(status.st_mode))) return FileHandle();
  // Opening a pipe blocks until its other end is opened, and its reads wait for a writer: a pipe
  // named as any file of the run could hang it.
  if (found && S_ISFIFO(status.st_mode)) return FileHandle();
  return FileHandle(std::fopen(path.c_str(), mode));
}

std::string FollowLinks(const std::string& path) {
  std::string current = path;
  struct stat status = {};
  for (int hop = 0; hop < 40 && ::lstat(current.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
       ++hop) {
    std::string target;
    if (!ReadLink(current, target)) break;
    // A relative target is read from the link's folder.
    current = JoinPath(ParentPath(current), target);
  }
  return current;
}

Descriptor::~Descriptor() {
  if (fd_ >= 0) ::close(fd_);
}

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

Descriptor OpenCheckedFile(const std::string& path) {
  // Non-blocking: a pipe in the file's place does not wait for a writer.
  return Descriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
}

int64_t FileSize(std::FILE* file) {
  if (::fseeko(file, 0, SEEK_END) != 0) return -1;
  const off_t size = ::ftello(file);
  return size < 0 ? -1 : static_cast<int64_t>(size);
}

bool ReadWholeFile(const std::string& path, std::string& text) {
  FileHandle file = OpenFile(path, "rb");
  if (!file) return false;
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) text.append(chunk, got);
  return !std::ferror(file.get());
}

int64_t FileSize(int fd) {
  struct stat status = {};
  return ::fstat(fd, &status) == 0 ? static_cast<int64_t>(status.st_size) : -1;
}

size_t ReadAt(std::FILE* file, int64_t pos, void* buffer, size_t count) {
  if (count == 0 || !SeekTo(file, pos)) return 0;
  return std::fread(buffer, 1, count, file);
}

size_t ReadAt(int fd, int64_t pos, void* buffer, size_t count) {
  size_t done = 0;
  while (done < count) {
    const ssize_t got = ::pread(fd, static_cast<char*>(buffer) + done, count - done,
                                static_cast<off_t>(pos + static_cast<int64_t>(done)));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

bool WriteAt(int fd, int64_t pos, const void* buffer, size_t count) {
  size_t done = 0;
  while (done < count) {
    const ssize_t put = ::pwrite(fd, static_cast<const char*>(buffer) + done, count - done,
                                 static_cast<off_t>(pos + static_cast<int64_t>(done)));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<size_t>(put);
  }
  return true;
}

namespace {

bool AvailableOn(const struct statvfs& disk, uint64_t& available) {
  available = UINT64_MAX;
  if (disk.f_frsize != static_cast<unsigned long>(-1) &&
      disk.f_bavail != static_cast<fsblkcnt_t>(-1)) {
    available = static_cast<uint64_t>(disk.f_bavail) * static_cast<uint64_t>(disk.f_frsize);
  }
  return true;
}

}  // namespace

bool AvailableBytes(const std::string& path, uint64_t& available) {
  struct statvfs disk = {};
  return ::statvfs(path.c_str(), &disk) == 0 && AvailableOn(disk, available);
}

bool AvailableBytes(int fd, uint64_t& available) {
  struct statvfs disk = {};
  return ::fstatvfs(fd, &disk) == 0 && AvailableOn(disk, available);
}

}  // namespace wavsplice
