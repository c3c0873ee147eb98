// Level change of a block of packed samples, in dB.
#pragma once

#include <cstdint>

#include "wav/pcm_format.h"

namespace wavsplice {

constexpr int32_t kBlockSamples = 1024;

// The factor 10^(levelDb / 20).
double LevelGain(double levelDb);

// Rewrites count frames (at most kBlockSamples) of audio of the format in data, in place, scaled by
// 10^(levelDb / 20), every channel alike. An integer value becomes trunc(sample x gain), limited to
// the format's range; a float value becomes sample x gain rounded to the format, never limited.
// Returns the number of values that were limited.
int64_t NewLevel(unsigned char* data, double levelDb, const PcmFormat& format, int32_t count);

// NewLevel over any number of frames, kBlockSamples at a time. Returns the number of values that
// were limited.
int64_t LevelFrames(unsigned char* data, double levelDb, const PcmFormat& format, int64_t frames);

}  // namespace wavsplice
