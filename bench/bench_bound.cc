// The benchmark's bound: the least work any tool can do for a job, reading each span's bytes once
// and writing each destination byte once, with no arithmetic. Reads a plan (see bench_inputs): the
// destination path on the first line, then one span a line, tab-separated: source path, byte offset
// of the span, bytes to read, bytes of it that go to the destination. Writes a 44-byte header (its
// content is not the point) and the bytes.
//
// Usage: bench_bound PLAN
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bound_plan.h"

namespace {

using bench::kHeaderBytes;
using bench::WriteAll;

constexpr size_t kBufferBytes = 256 * 1024;

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::puts("Usage: bench_bound PLAN");
    return 1;
  }
  std::ifstream plan(argv[1]);
  std::string destPath;
  if (!std::getline(plan, destPath)) return 1;
  const int dest = open(destPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (dest < 0) return 2;
  static unsigned char buffer[kBufferBytes];
  const unsigned char header[kHeaderBytes] = {'R', 'I', 'F', 'F'};
  if (!WriteAll(dest, header, kHeaderBytes)) return 2;

  std::string line;
  while (std::getline(plan, line)) {
    bench::PlanSpan span;
    if (!bench::ParsePlanSpan(line, span)) return 1;
    const int source = open(span.path.c_str(), O_RDONLY);
    if (source < 0) return 2;
    for (int64_t done = 0; done < span.readBytes;) {
      const size_t want =
          static_cast<size_t>(std::min<int64_t>(kBufferBytes, span.readBytes - done));
      const ssize_t got = pread(source, buffer, want, span.offset + done);
      if (got <= 0) return 2;
      const int64_t keep = std::min<int64_t>(got, std::max<int64_t>(0, span.writeBytes - done));
      if (keep > 0 && !WriteAll(dest, buffer, static_cast<size_t>(keep))) return 2;
      done += got;
    }
    close(source);
  }
  return close(dest) == 0 ? 0 : 2;
}
