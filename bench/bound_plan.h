// What the two bound programs share: a span line of their plan (see bench_inputs) and a write that
// finishes or fails.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <sstream>
#include <string>

namespace bench {

constexpr size_t kHeaderBytes = 44;

// One span: tab-separated source path, byte offset of the span, bytes to read, bytes of it that go
// to the destination.
struct PlanSpan {
  std::string path;
  int64_t offset = 0;
  int64_t readBytes = 0;
  int64_t writeBytes = 0;
};

inline bool ParsePlanSpan(const std::string& line, PlanSpan& span) {
  std::istringstream fields(line);
  return std::getline(fields, span.path, '\t') &&
         (fields >> span.offset >> span.readBytes >> span.writeBytes);
}

inline bool WriteAll(int fd, const unsigned char* data, size_t count) {
  while (count > 0) {
    const ssize_t done = write(fd, data, count);
    if (done <= 0) return false;
    data += done;
    count -= static_cast<size_t>(done);
  }
  return true;
}

}  // namespace bench
