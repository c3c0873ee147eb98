// Moving unchanged bytes from one open file to another inside the kernel: through a pipe of the
// run's own, the source's pages go in by reference and come out copied once into the destination,
// never through the program's memory. Where the kernel refuses (a file system or device that cannot
// splice, a system without the call, no pipe of the size wanted), the caller copies the rest with
// reads and writes of its own.
#pragma once

#include <cstdint>

namespace wavsplice {

class KernelCopy {
 public:
  KernelCopy() = default;
  ~KernelCopy();
  KernelCopy(const KernelCopy&) = delete;
  KernelCopy& operator=(const KernelCopy&) = delete;

  // Copies up to count bytes from byte sourcePos of sourceFd to byte destPos of destFd (neither
  // file's own position moves) and returns how many reached the destination: all of them, or fewer
  // where the source ends or the kernel refuses. After a refusal every later call returns 0 at
  // once. Never ends the run: a destination that cannot be written refuses here and fails in the
  // caller's own write of the same bytes.
  int64_t Copy(int sourceFd, int64_t sourcePos, int destFd, int64_t destPos, int64_t count);

 private:
  bool Ready();
  void Refuse();

  int readEnd_ = -1;
  int writeEnd_ = -1;
  bool refused_ = false;
};

}  // namespace wavsplice
