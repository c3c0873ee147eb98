// The benchmark's strict bound: the least work any tool can do for a job when it knows its inputs
// in advance. Each distinct source is opened once; each span's bytes are read once, straight into a
// large destination buffer at their place; the destination is written once, in large writes. Bytes
// of a span that a later span covers are read into the buffer past its fill, where the next span
// overwrites them. Reads the plan of bench_bound (see bench_inputs): the destination path on the
// first line, then one span a line, tab-separated: source path, byte offset of the span, bytes to
// read, bytes of it that go to the destination. Writes a 44-byte header (its content is not the
// point) and the bytes.
//
// Usage: bench_strict_bound PLAN
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bound_plan.h"

namespace {

using bench::kHeaderBytes;
using bench::WriteAll;

constexpr size_t kBufferBytes = 1 << 20;

// The destination's bytes not yet written, in one buffer.
struct Pending {
  int fd;
  std::vector<unsigned char> bytes = std::vector<unsigned char>(kBufferBytes);
  size_t fill = 0;
  bool Flush() {
    const bool ok = WriteAll(fd, bytes.data(), fill);
    fill = 0;
    return ok;
  }
};

// Reads readBytes from offset into the buffer, keeping the first keepBytes.
bool CopySpan(int source, int64_t offset, int64_t readBytes, int64_t keepBytes, Pending& out) {
  while (readBytes > 0) {
    if (out.fill == out.bytes.size() && !out.Flush()) return false;
    const size_t want = static_cast<size_t>(
        std::min<int64_t>(readBytes, static_cast<int64_t>(out.bytes.size() - out.fill)));
    const ssize_t got = pread(source, out.bytes.data() + out.fill, want, offset);
    if (got <= 0) return false;
    const int64_t keep = std::min<int64_t>(got, keepBytes);
    out.fill += static_cast<size_t>(keep);
    keepBytes -= keep;
    readBytes -= got;
    offset += got;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::puts("Usage: bench_strict_bound PLAN");
    return 1;
  }
  std::ifstream plan(argv[1]);
  std::string destPath;
  if (!std::getline(plan, destPath)) return 1;
  Pending out{open(destPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)};
  if (out.fd < 0) return 2;
  const char header[kHeaderBytes] = "RIFF";  // the buffer's first bytes
  std::copy(header, header + kHeaderBytes, out.bytes.begin());
  out.fill = kHeaderBytes;

  std::map<std::string, int> sources;
  std::string line;
  while (std::getline(plan, line)) {
    bench::PlanSpan span;
    if (!bench::ParsePlanSpan(line, span)) return 1;
    auto known = sources.find(span.path);
    if (known == sources.end()) {
      const int fd = open(span.path.c_str(), O_RDONLY);
      if (fd < 0) return 2;
      known = sources.emplace(span.path, fd).first;
    }
    if (!CopySpan(known->second, span.offset, span.readBytes, span.writeBytes, out)) return 2;
  }
  if (!out.Flush()) return 2;
  for (const auto& source : sources) close(source.second);
  return close(out.fd) == 0 ? 0 : 2;
}
