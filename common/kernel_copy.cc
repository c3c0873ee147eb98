#include "common/kernel_copy.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

namespace wavsplice {

namespace {

// The pipe's size: with 1 MiB a plain copy costs what reading and writing in 1 MiB pieces costs,
// and no more. With the default 64 KiB (the size copy_file_range uses inside the kernel on file
// systems that cannot share blocks) it costs half as much again, more than the program's own reads
// and writes: a system that will not give 1 MiB gets no kernel copy.
constexpr int kPipeBytes = 1 << 20;

}  // namespace

KernelCopy::~KernelCopy() { Refuse(); }

bool KernelCopy::Ready() {
  if (refused_) return false;
  if (readEnd_ >= 0) return true;
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    refused_ = true;
    return false;
  }
  readEnd_ = ends[0];
  writeEnd_ = ends[1];
  if (::fcntl(writeEnd_, F_SETPIPE_SZ, kPipeBytes) < kPipeBytes) Refuse();
  return !refused_;
}

// Closing the pipe also drops any bytes a failed write left in it.
void KernelCopy::Refuse() {
  if (readEnd_ >= 0) ::close(readEnd_);
  if (writeEnd_ >= 0) ::close(writeEnd_);
  readEnd_ = writeEnd_ = -1;
  refused_ = true;
}

int64_t KernelCopy::Copy(int sourceFd, int64_t sourcePos, int destFd, int64_t destPos,
                         int64_t count) {
  int64_t copied = 0;
  while (copied < count && Ready()) {
    loff_t in = sourcePos + copied;
    const size_t want = static_cast<size_t>(std::min<int64_t>(count - copied, kPipeBytes));
    const ssize_t got = ::splice(sourceFd, &in, writeEnd_, nullptr, want, SPLICE_F_MOVE);
    if (got == 0) break;  // the source ends here
    if (got < 0) {
      Refuse();
      break;
    }
    loff_t out = destPos + copied;
    for (ssize_t left = got; left > 0;) {
      const ssize_t put =
          ::splice(readEnd_, nullptr, destFd, &out, static_cast<size_t>(left), SPLICE_F_MOVE);
      if (put <= 0) {
        Refuse();
        return copied + (got - left);
      }
      left -= put;
    }
    copied += got;
  }
  return copied;
}

}  // namespace wavsplice
