// Level changes of packed 16- and 24-bit integer and 32-bit float values in x86-64 vector
// registers: sixteen values at a time with AVX-512, eight with AVX2, whichever the processor has.
// The bytes are widened into 32-bit lanes and narrowed back in the registers, and the limits are
// applied and counted there, all in one pass over the bytes, which the compiler does not make of
// the portable loops. Each value goes through the same double arithmetic as in those loops, so the
// bytes are the same. Elsewhere, or on a processor without AVX2, LevelKernelsHere() is kNoKernels
// and the caller takes the portable loops.
#pragma once

#include <cstdint>

namespace wavsplice {

// The widest registers the kernels may use, in bits.
enum LevelKernels { kNoKernels = 0, kAvx2Kernels = 256, kAvx512Kernels = 512 };

// The widest this machine runs.
LevelKernels LevelKernelsHere();

// Scale count packed values in place by gain, each to trunc(value x gain) limited to the width's
// range (16-bit: -32768..32767; 24-bit: -8388608..8388607), and return the number of values that
// had to be limited: TruncateAndLimit's rule. gain must lie within 0..255, and kernels within what
// LevelKernelsHere() gives (and not kNoKernels).
int64_t ScaleSixteenInPlace(unsigned char* bytes, int64_t count, double gain,
                            LevelKernels kernels = LevelKernelsHere());
int64_t ScaleTwentyFourInPlace(unsigned char* bytes, int64_t count, double gain,
                               LevelKernels kernels = LevelKernelsHere());

// Scales count packed 32-bit float values in place, each to value x gain in double rounded to
// float, never limited.
void ScaleFloatInPlace(unsigned char* bytes, int64_t count, double gain,
                       LevelKernels kernels = LevelKernelsHere());

}  // namespace wavsplice
