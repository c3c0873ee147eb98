// The machine's kernel setting against what the processor has.
#include "render/kernel_choice.h"

#include <gtest/gtest.h>

namespace wavsplice {
namespace {

TEST(KernelsFor, TheSettingNeverAsksForMoreThanTheProcessorHas) {
  struct Case {
    const char* setting;
    LevelKernels here;
    LevelKernels chosen;
  };
  const Case cases[] = {
      {nullptr, kAvx512Kernels, kAvx512Kernels},
      {nullptr, kNoKernels, kNoKernels},
      {"portable", kAvx512Kernels, kNoKernels},
      {"portable", kNoKernels, kNoKernels},
      {"avx2", kAvx512Kernels, kAvx2Kernels},
      {"avx2", kAvx2Kernels, kAvx2Kernels},
      {"avx2", kNoKernels, kNoKernels},
      {"avx512", kAvx512Kernels, kAvx512Kernels},
      {"avx512", kAvx2Kernels, kAvx2Kernels},
      {"avx512", kNoKernels, kNoKernels},
      // Anything else is the widest there is, said nothing of.
      {"", kAvx2Kernels, kAvx2Kernels},
      {"AVX2", kAvx512Kernels, kAvx512Kernels},
      {"portable ", kAvx2Kernels, kAvx2Kernels},
      {"sse2", kAvx512Kernels, kAvx512Kernels},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(KernelsFor(c.setting, c.here), c.chosen)
        << (c.setting ? c.setting : "(unset)") << " on " << c.here;
  }
}

}  // namespace
}  // namespace wavsplice
