#include "render/kernel_choice.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace wavsplice {

LevelKernels KernelsFor(const char* setting, LevelKernels here) {
  if (setting == nullptr) return here;
  if (std::strcmp(setting, "portable") == 0) return kNoKernels;
  if (std::strcmp(setting, "avx2") == 0) return std::min(kAvx2Kernels, here);
  return here;  // avx512 is the widest there is
}

LevelKernels ChosenKernels() {
  static const LevelKernels chosen =
      KernelsFor(std::getenv("WAVSPLICE_KERNELS"), LevelKernelsHere());
  return chosen;
}

}  // namespace wavsplice
