// A level change of packed 24-bit values in AVX2 registers, eight values at
// a time: the bytes are spread into 32-bit lanes and packed back by byte
// shuffles, which the compiler does not find for three-byte values. It
// does the same double arithmetic as the portable loops, value by value,
// so it gives the same bytes. x86-64 only; elsewhere, or on a processor
// without AVX2, TwentyFourBitKernelHere() is false and the caller takes
// the portable loops.
#pragma once

#include <cstdint>

namespace wavsplice {

// Whether ScaleTwentyFourInPlace can run on this machine.
bool TwentyFourBitKernelHere();

// Scales count packed 24-bit values in place by gain, each to
// trunc(value x gain) limited to -8388608..8388607, and returns the number
// of values that had to be limited: TruncateAndLimit's rule. gain must lie
// within 0..255.
int64_t ScaleTwentyFourInPlace(unsigned char* bytes, int64_t count, double gain);

}  // namespace wavsplice
