// Level change of a block of packed samples, in dB.
#pragma once

#include <cstdint>

namespace wavsplice {

constexpr int32_t kBlockSamples = 1024;

// The factor 10^(levelDb / 20).
double LevelGain(double levelDb);

// Rewrites count frames (at most kBlockSamples) of 16- or 24-bit mono or
// stereo audio in data, in place, scaled by 10^(levelDb / 20): each value
// becomes trunc(sample x gain), limited to the format's range. Returns the
// number of values that were limited.
int64_t NewLevel(unsigned char* data, double levelDb, int bytesPerSample, int channels,
                 int32_t count);

}  // namespace wavsplice
