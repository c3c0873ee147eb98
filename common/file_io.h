// Owners of open files (C streams for the headers the program reads, descriptors for the audio it
// copies) and reads and writes at absolute positions. Sources and the destination stay open across
// edits; every read and write names its position, so no file position is shared.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

namespace wavsplice {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Opens path with a C stream mode ("rb", "rb+", "wb", "ab"). Files opened for reading only ("rb")
// must be regular files: a directory, a device or a pipe counts as a file that cannot be opened, so
// nothing blocks or reads garbage; in any mode, so does a named pipe. Returns null when the file
// cannot be opened.
FileHandle OpenFile(const std::string& path, const char* mode);

// The path a chain of symbolic links starting at path ends at (path itself when it is no link),
// whether or not a file is there. After 40 links, as many as the system follows, the last link
// reached is returned.
std::string FollowLinks(const std::string& path);

// An open descriptor, closed when its owner goes.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor();
  Descriptor(Descriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Descriptor& operator=(Descriptor&& other) noexcept;
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_;
};

// Opens for reading a file the run has already found to be a regular file, without checking it
// again: it never blocks, and whatever has taken the file's place since reads as nothing. Empty
// when it cannot be opened.
Descriptor OpenCheckedFile(const std::string& path);

// The whole file at path in text; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& text);

// Length of the open file in bytes, or -1 when it cannot be learned.
int64_t FileSize(std::FILE* file);
int64_t FileSize(int fd);

// Reads up to count bytes from byte position pos; returns the bytes read (fewer at the end of the
// file or on an error).
size_t ReadAt(std::FILE* file, int64_t pos, void* buffer, size_t count);

// The same on an open descriptor, without moving its position: reads until count bytes, the end of
// the file or an error; writes all count bytes.
size_t ReadAt(int fd, int64_t pos, void* buffer, size_t count);
bool WriteAt(int fd, int64_t pos, const void* buffer, size_t count);

// The bytes this user may still write to the disk that holds path, as its file system counts them
// (all there can be when it gives no count); false when that cannot be learned.
bool AvailableBytes(const std::string& path, uint64_t& available);
// The same for the disk that holds the open file fd.
bool AvailableBytes(int fd, uint64_t& available);

}  // namespace wavsplice
