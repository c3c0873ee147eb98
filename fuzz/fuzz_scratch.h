// Shared plumbing of the fuzz targets: a private scratch directory on a memory file system, quiet
// standard output, and a way to turn a broken promise of the program into a crash the fuzzer
// reports.
#pragma once

#include <unistd.h>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "common/failure.h"

namespace wavsplice::fuzz {

// A directory of this process's own, removed when the fuzzer exits. (The name is never freed, so
// the exit handler can still use it.)
inline const std::string& ScratchDir() {
  static const std::string* const dir = [] {
    auto* made =
        new std::string(std::filesystem::is_directory("/dev/shm") ? "/dev/shm/wavsplice-fuzz-XXXXXX"
                                                                  : "/tmp/wavsplice-fuzz-XXXXXX");
    if (::mkdtemp(made->data()) == nullptr) std::abort();
    std::atexit([] {
      std::error_code error;
      std::filesystem::remove_all(ScratchDir(), error);
    });
    return made;
  }();
  return *dir;
}

// The program reports on standard output; thousands of runs a second would drown the fuzzer's own
// log, so the report goes nowhere.
inline void SilenceStdout() {
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
}

// Removes everything a previous input left in the scratch directory.
inline void ClearScratchDir() {
  std::error_code error;
  for (const auto& item : std::filesystem::directory_iterator(ScratchDir(), error)) {
    std::filesystem::remove_all(item.path(), error);
  }
}

inline void WriteBytes(const std::string& path, const uint8_t* data, size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  if (std::fclose(file) != 0) std::abort();
}

inline std::string ReadBytes(const std::string& path) {
  std::string bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return "<missing>";
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
  std::fclose(file);
  return bytes;
}

// A failure ends the run with status 1 or 2 and one line of text (or none, when the failing step
// printed its own lines first).
inline bool IsWellFormedFailure(const RunFailure& failure) {
  if (failure.exitCode != kExitTask && failure.exitCode != kExitFile) return false;
  const std::string& text = failure.message;
  if (text.empty()) return true;
  return text.back() == '\n' && text.find('\n') == text.size() - 1;
}

// Aborts with a message the fuzzer's log keeps.
[[noreturn]] inline void Broken(const char* what) {
  std::fprintf(stderr, "broken promise: %s\n", what);
  std::abort();
}

}  // namespace wavsplice::fuzz
