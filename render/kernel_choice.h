// Which sample kernels a run uses: the widest the processor has, unless the machine's
// WAVSPLICE_KERNELS setting (portable, avx2 or avx512) asks for fewer. The portable loops are what
// a machine without the x86-64 kernels runs (32-bit ARM among them); forcing them on x86-64 times
// and tests that path. Every choice writes the same bytes.
#pragma once

#include "render/level_x86.h"

namespace wavsplice {

// The kernels a setting picks on a processor whose widest are here: portable gives kNoKernels, avx2
// and avx512 the named kernels when the processor has them and else the widest it has; anything
// else (and no setting, null) the widest it has.
LevelKernels KernelsFor(const char* setting, LevelKernels here);

// The kernels of this run: WAVSPLICE_KERNELS read at the first call.
LevelKernels ChosenKernels();

}  // namespace wavsplice
