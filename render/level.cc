#include "render/level.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "common/vector_clones.h"
#include "render/kernel_choice.h"
#include "render/level_x86.h"
#include "render/sample_limit.h"
#include "wav/pcm_codec.h"
#include "wav/pcm_format.h"

namespace wavsplice {

namespace {

// The 16-bit decoders yield sample x 256; scaling by 1/256 after the gain brings the result back to
// the 16-bit units the 16-bit encoders take.
int32_t Scale(int32_t value, double gain, int bytesPerSample, int64_t& clipped) {
  const double scaled = bytesPerSample == 2 ? value * gain * kSixteenBitScale : value * gain;
  return TruncateAndLimit(scaled, bytesPerSample, clipped);
}

// Scales count values into scaled by factor and truncates them, as Scale() does, for the usual
// piece in which no value needs limiting, in one branch-free loop that the compiler vectorises.
// Returns false when a result reaches high or -high - 1, the limits of the format's range: it may
// need limiting, and the piece then goes through Scale() value by value, which limits and counts. A
// result strictly inside the range is the truncation Scale() makes. Decoded values are within
// +-2^23, so with a gain of at most 255 every product converts to a 32-bit integer.
WAVSPLICE_VECTOR_CLONES bool ScaleWithinRange(const int32_t* values, int32_t* scaled, int32_t count,
                                              double factor, int32_t high) {
  int32_t highest = 0;
  int32_t lowest = 0;
  for (int32_t i = 0; i < count; ++i) {
    const auto result = static_cast<int32_t>(values[i] * factor);
    highest = std::max(highest, result);
    lowest = std::min(lowest, result);
    scaled[i] = result;
  }
  return highest < high && lowest > -high - 1;
}

// The factor ScaleWithinRange takes for values of the width. Scaling by a power of two is exact in
// binary floating point, so for 16-bit values (decoded x 256) value x gain x 1/256 and value x
// (gain x 1/256) round to the same double (256 times the sample times the gain, rounded, over 256):
// one product instead of two. (Below the normal range, where this could fail, every result
// truncates to 0 anyway.)
double ScaleFactor(double gain, int bytesPerSample) {
  return bytesPerSample == 2 ? gain * kSixteenBitScale : gain;
}

// 16 and 24-bit values of any number of channels, as one run of interleaved values (a level change
// treats every channel alike), a piece of kBlockSamples values at a time through the codec's leaves
// and the vectorised pass above; through the x86-64 kernels instead, where they run.
int64_t LevelRunThroughLeaves(unsigned char* data, double gain, int bytesPerSample,
                              int64_t valueCount) {
  std::array<int32_t, kBlockSamples> values;
  std::array<int32_t, kBlockSamples> scaled;
  const bool gainInRange = gain >= 0.0 && gain <= 255.0;  // NaN fails
  const LevelKernels kernels = ChosenKernels();
  if (gainInRange && kernels != kNoKernels) {
    return bytesPerSample == 2 ? ScaleSixteenInPlace(data, valueCount, gain, kernels)
                               : ScaleTwentyFourInPlace(data, valueCount, gain, kernels);
  }
  const double factor = ScaleFactor(gain, bytesPerSample);
  const int32_t high = HighestInteger(bytesPerSample);
  int64_t clipped = 0;
  for (int64_t done = 0; done < valueCount; done += kBlockSamples) {
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(kBlockSamples, valueCount - done));
    unsigned char* bytes = data + done * bytesPerSample;
    CHAR_TO_NUM32(bytes, values.data(), bytesPerSample, n);
    // Fast pass first; within range it gives exactly what Scale() gives.
    const bool withinRange =
        gainInRange && ScaleWithinRange(values.data(), scaled.data(), n, factor, high);
    if (!withinRange) {
      for (int32_t i = 0; i < n; ++i) {
        scaled[static_cast<size_t>(i)] =
            Scale(values[static_cast<size_t>(i)], gain, bytesPerSample, clipped);
      }
    }
    if (bytesPerSample == 2) {
      NUM16MONO_TO_CHAR(scaled.data(), bytes, n);
    } else {
      NUM24MONO_TO_CHAR(scaled.data(), bytes, n);
    }
  }
  return clipped;
}

// Integer values of any width, limited and counted without a branch so that the compiler vectorises
// the pass. trunc(x) leaves the range exactly when x reaches high + 1 or low - 1, and limiting x
// first leaves the truncation (which the encoder makes) the same value, as low and high are whole.
// The count is kept in double, which counts exactly and keeps the loop in one type. Needs a finite
// gain, so that no product is NaN.
int64_t LimitWithoutBranches(double* values, int64_t n, double gain, double scale, double low,
                             double high) {
  const double over = high + 1.0;
  const double under = low - 1.0;
  double clipped = 0;
  for (int64_t i = 0; i < n; ++i) {
    const double x = values[i] * gain * scale;
    clipped += (x >= over ? 1.0 : 0.0) + (x <= under ? 1.0 : 0.0);
    values[i] = std::min(std::max(x, low), high);
  }
  return static_cast<int64_t>(clipped);
}

WAVSPLICE_VECTOR_CLONES void ScaleFloatValues(double* values, int64_t n, double gain) {
  for (int64_t i = 0; i < n; ++i) values[i] = values[i] * gain;
}

// Every other format through the codec's one entry, as one run of interleaved values in pieces that
// stay in cache: integers by the rule of every width, float in double and never limited.
int64_t LevelValues(unsigned char* data, double gain, const PcmFormat& format, int64_t valueCount) {
  constexpr int64_t kPieceValues = 1024;
  const double scale = ResultScale(format);
  const double high = format.HighestValue();
  const double low = format.LowestValue();
  double values[kPieceValues];
  int64_t clipped = 0;
  for (int64_t done = 0; done < valueCount; done += kPieceValues) {
    const int64_t n = std::min(kPieceValues, valueCount - done);
    unsigned char* bytes = data + done * format.containerBytes;
    DecodeValues(format, bytes, values, n);
    if (format.IsFloat()) {
      ScaleFloatValues(values, n, gain);
    } else if (std::isfinite(gain)) {
      clipped += LimitWithoutBranches(values, n, gain, scale, low, high);
    } else {
      for (int64_t i = 0; i < n; ++i) {
        values[i] = TruncateAndLimit(values[i] * gain * scale, low, high, clipped);
      }
    }
    EncodeValues(format, values, bytes, n);
  }
  return clipped;
}

// 8-bit audio has 256 values: the rule is worked out once for each into a table whose entries hold
// the result byte and, above it, whether the value was limited; one pass then rewrites the bytes
// and counts.
int64_t LevelEightBit(unsigned char* data, double gain, int64_t valueCount) {
  if (!std::isfinite(gain)) return LevelValues(data, gain, IntegerFormat(1, 1), valueCount);
  std::array<double, 256> values;
  std::array<uint16_t, 256> limited;
  for (size_t byte = 0; byte < 256; ++byte) {
    values[byte] = static_cast<double>(byte) - 128;
    const double x = values[byte] * gain;
    limited[byte] = static_cast<uint16_t>((x >= 128.0) | (x <= -129.0));
  }
  LimitWithoutBranches(values.data(), 256, gain, 1.0, LowestInteger(1), HighestInteger(1));
  std::array<uint16_t, 256> table;
  for (size_t byte = 0; byte < 256; ++byte) {
    table[byte] =
        static_cast<uint16_t>((static_cast<int32_t>(values[byte]) + 128) | (limited[byte] << 8));
  }
  // At most 128 channels of kBlockSamples values: the count fits 32 bits.
  uint32_t clipped = 0;
  for (int64_t i = 0; i < valueCount; ++i) {
    const uint32_t entry = table[data[i]];
    data[i] = static_cast<unsigned char>(entry & 0xff);
    clipped += entry >> 8;
  }
  return clipped;
}

// NewLevel with the factor worked out.
int64_t LevelBlock(unsigned char* data, double gain, const PcmFormat& format, int32_t count) {
  count = std::min(count, kBlockSamples);
  if (count <= 0 || !format.HasCodec()) return 0;
  const int64_t valueCount = int64_t{count} * format.channels;
  if (format.IsFloat()) {
    const LevelKernels kernels = ChosenKernels();
    if (format.containerBytes == 4 && kernels != kNoKernels) {
      ScaleFloatInPlace(data, valueCount, gain, kernels);
      return 0;
    }
    return LevelValues(data, gain, format, valueCount);
  }
  switch (format.containerBytes) {
    case 1:
      return LevelEightBit(data, gain, valueCount);
    case 2:
    case 3:
      return LevelRunThroughLeaves(data, gain, format.containerBytes, valueCount);
    default:
      return LevelValues(data, gain, format, valueCount);
  }
}

}  // namespace

double LevelGain(double levelDb) { return std::pow(10.0, levelDb / 20.0); }

int64_t NewLevel(unsigned char* data, double levelDb, const PcmFormat& format, int32_t count) {
  return LevelBlock(data, LevelGain(levelDb), format, count);
}

int64_t LevelFrames(unsigned char* data, double levelDb, const PcmFormat& format, int64_t frames) {
  const int64_t frameSize = format.FrameBytes();
  const double gain = LevelGain(levelDb);
  int64_t clipped = 0;
  for (int64_t done = 0; done < frames; done += kBlockSamples) {
    const auto count = static_cast<int32_t>(std::min<int64_t>(kBlockSamples, frames - done));
    clipped += LevelBlock(data + done * frameSize, gain, format, count);
  }
  return clipped;
}

}  // namespace wavsplice
