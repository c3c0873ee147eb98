#include "render/level.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "render/sample_limit.h"
#include "wav/pcm_codec.h"

namespace wavsplice {

namespace {

constexpr double kSixteenBitScale = 0.00390625;  // 1/256: decoded 16-bit values are x256

// The 16-bit decoders yield sample x 256; scaling by 1/256 after the gain
// brings the result back to the 16-bit units the 16-bit encoders take.
int32_t Scale(int32_t value, double gain, int bytesPerSample, int64_t& clipped) {
  const double scaled = bytesPerSample == 2 ? value * gain * kSixteenBitScale : value * gain;
  return TruncateAndLimit(scaled, bytesPerSample, clipped);
}

}  // namespace

double LevelGain(double levelDb) { return std::pow(10.0, levelDb / 20.0); }

int64_t NewLevel(unsigned char* data, double levelDb, int bytesPerSample, int channels,
                 int32_t count) {
  count = std::min(count, kBlockSamples);
  const bool known = (channels == 1 || channels == 2) && (bytesPerSample == 2 || bytesPerSample == 3);
  if (count <= 0 || !known) return 0;
  const double gain = LevelGain(levelDb);
  std::array<int32_t, kBlockSamples> left;
  std::array<int32_t, kBlockSamples> right;
  int64_t clipped = 0;
  if (channels == 1) {
    CHAR_TO_NUM32(data, left.data(), bytesPerSample, count);
  } else {
    CHAR_TO_NUM32_STEREO(data, left.data(), right.data(), bytesPerSample, count);
  }
  for (int32_t i = 0; i < count; ++i) {
    left[static_cast<size_t>(i)] = Scale(left[static_cast<size_t>(i)], gain, bytesPerSample, clipped);
    if (channels == 2) {
      right[static_cast<size_t>(i)] =
          Scale(right[static_cast<size_t>(i)], gain, bytesPerSample, clipped);
    }
  }
  if (channels == 1) {
    if (bytesPerSample == 2) NUM16MONO_TO_CHAR(left.data(), data, count);
    else NUM24MONO_TO_CHAR(left.data(), data, count);
  } else {
    if (bytesPerSample == 2) NUM16STER_TO_CHAR(left.data(), right.data(), data, count);
    else NUM24STER_TO_CHAR(left.data(), right.data(), data, count);
  }
  return clipped;
}

}  // namespace wavsplice
