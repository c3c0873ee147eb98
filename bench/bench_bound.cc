// The benchmark's bound: the least work any tool can do for a job, reading
// each span's bytes once and writing each destination byte once, with no
// arithmetic. Reads a plan (see bench_inputs): the destination path on the
// first line, then one span a line, tab-separated: source path, byte offset
// of the span, bytes to read, bytes of it that go to the destination.
// Writes a 44-byte header (its content is not the point) and the bytes.
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

namespace {

constexpr size_t kBufferBytes = 256 * 1024;
constexpr size_t kHeaderBytes = 44;

bool WriteAll(int fd, const unsigned char* data, size_t count) {
  while (count > 0) {
    const ssize_t done = write(fd, data, count);
    if (done <= 0) return false;
    data += done;
    count -= static_cast<size_t>(done);
  }
  return true;
}

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
    std::istringstream fields(line);
    std::string path;
    int64_t offset = 0;
    int64_t readBytes = 0;
    int64_t writeBytes = 0;
    if (!std::getline(fields, path, '\t') || !(fields >> offset >> readBytes >> writeBytes)) {
      return 1;
    }
    const int source = open(path.c_str(), O_RDONLY);
    if (source < 0) return 2;
    for (int64_t done = 0; done < readBytes;) {
      const size_t want = static_cast<size_t>(std::min<int64_t>(kBufferBytes, readBytes - done));
      const ssize_t got = pread(source, buffer, want, offset + done);
      if (got <= 0) return 2;
      const int64_t keep = std::min<int64_t>(got, std::max<int64_t>(0, writeBytes - done));
      if (keep > 0 && !WriteAll(dest, buffer, static_cast<size_t>(keep))) return 2;
      done += got;
    }
    close(source);
  }
  return close(dest) == 0 ? 0 : 2;
}
