#include "render/level.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "render/sample_limit.h"
#include "wav/pcm_codec.h"
#include "wav/pcm_format.h"

namespace wavsplice {

namespace {

// The 16-bit decoders yield sample x 256; scaling by 1/256 after the gain
// brings the result back to the 16-bit units the 16-bit encoders take.
int32_t Scale(int32_t value, double gain, int bytesPerSample, int64_t& clipped) {
  const double scaled = bytesPerSample == 2 ? value * gain * kSixteenBitScale : value * gain;
  return TruncateAndLimit(scaled, bytesPerSample, clipped);
}

// Scales count values into scaled as Scale() does, for the usual block in
// which no value needs limiting, in one branch-free loop that the compiler
// vectorises. Returns false when a result reaches a limit of the format's
// range: it may need limiting, and the block then goes through Scale() value
// by value, which limits and counts. A result strictly inside the range is
// the truncation Scale() makes. Decoded values are within +-2^23, so with a
// gain of at most 255 every product converts to a 32-bit integer.
template <int kBytesPerSample>
bool ScaleWithinRange(const int32_t* values, int32_t* scaled, int32_t count, double gain) {
  constexpr int32_t kHigh = kBytesPerSample == 2 ? 32767 : 8388607;
  constexpr int32_t kLow = -kHigh - 1;
  if (!(gain >= 0.0 && gain <= 255.0)) return false;  // NaN included
  int32_t atLimit = 0;
  for (int32_t i = 0; i < count; ++i) {
    // The same products in the same order as Scale(), so the same doubles.
    const double value =
        kBytesPerSample == 2 ? values[i] * gain * kSixteenBitScale : values[i] * gain;
    const int32_t result = static_cast<int32_t>(value);
    atLimit |= static_cast<int32_t>(result >= kHigh) | static_cast<int32_t>(result <= kLow);
    scaled[i] = result;
  }
  return atLimit == 0;
}

bool ScaleWithinRange(int bytesPerSample, const int32_t* values, int32_t* scaled, int32_t count,
                      double gain) {
  return bytesPerSample == 2 ? ScaleWithinRange<2>(values, scaled, count, gain)
                             : ScaleWithinRange<3>(values, scaled, count, gain);
}

// 16 and 24-bit mono and stereo, the formats of most work, take their own
// decoders and the vectorised pass above.
bool HasStereoLeaves(const PcmFormat& format) {
  return !format.IsFloat() && (format.containerBytes == 2 || format.containerBytes == 3) &&
         (format.channels == 1 || format.channels == 2);
}

// Scales values in place as Scale() does for every other format: integers
// by the one rule of every width, float in double and never limited.
// Values of a level change are independent of their channel, so a block is
// processed as one run of interleaved values, in pieces that stay in cache.
int64_t ScaleValues(unsigned char* data, int64_t valueCount, double gain, const PcmFormat& format) {
  constexpr int64_t kPieceValues = 1024;
  const int64_t valueBytes = format.containerBytes;
  const double scale = ResultScale(format);
  const double high = format.HighestValue();
  const double low = format.LowestValue();
  double values[kPieceValues];
  int64_t clipped = 0;
  for (int64_t done = 0; done < valueCount; done += kPieceValues) {
    const int64_t n = std::min(kPieceValues, valueCount - done);
    unsigned char* bytes = data + done * valueBytes;
    DecodeValues(format, bytes, values, n);
    if (format.IsFloat()) {
      for (int64_t i = 0; i < n; ++i) values[i] = values[i] * gain;
    } else {
      for (int64_t i = 0; i < n; ++i) {
        values[i] = TruncateAndLimit(values[i] * gain * scale, low, high, clipped);
      }
    }
    EncodeValues(format, values, bytes, n);
  }
  return clipped;
}

}  // namespace

double LevelGain(double levelDb) { return std::pow(10.0, levelDb / 20.0); }

int64_t NewLevel(unsigned char* data, double levelDb, int bytesPerSample, int channels,
                 int32_t count) {
  return NewLevel(data, levelDb, IntegerFormat(bytesPerSample, channels), count);
}

int64_t NewLevel(unsigned char* data, double levelDb, const PcmFormat& format, int32_t count) {
  count = std::min(count, kBlockSamples);
  if (count <= 0 || !format.HasCodec()) return 0;
  const double gain = LevelGain(levelDb);
  if (!HasStereoLeaves(format))
    return ScaleValues(data, int64_t{count} * format.channels, gain, format);
  const int bytesPerSample = format.containerBytes;
  const int channels = format.channels;
  std::array<int32_t, kBlockSamples> left;
  std::array<int32_t, kBlockSamples> right;
  int64_t clipped = 0;
  if (channels == 1) {
    CHAR_TO_NUM32(data, left.data(), bytesPerSample, count);
  } else {
    CHAR_TO_NUM32_STEREO(data, left.data(), right.data(), bytesPerSample, count);
  }
  // Fast path first; within range it gives exactly what Scale() gives.
  std::array<int32_t, kBlockSamples> scaledLeft;
  std::array<int32_t, kBlockSamples> scaledRight;
  int32_t* outLeft = scaledLeft.data();
  int32_t* outRight = scaledRight.data();
  const bool withinRange =
      ScaleWithinRange(bytesPerSample, left.data(), outLeft, count, gain) &&
      (channels == 1 || ScaleWithinRange(bytesPerSample, right.data(), outRight, count, gain));
  if (!withinRange) {
    outLeft = left.data();
    outRight = right.data();
    for (int32_t i = 0; i < count; ++i) {
      left[static_cast<size_t>(i)] =
          Scale(left[static_cast<size_t>(i)], gain, bytesPerSample, clipped);
      if (channels == 2) {
        right[static_cast<size_t>(i)] =
            Scale(right[static_cast<size_t>(i)], gain, bytesPerSample, clipped);
      }
    }
  }
  if (channels == 1) {
    if (bytesPerSample == 2)
      NUM16MONO_TO_CHAR(outLeft, data, count);
    else
      NUM24MONO_TO_CHAR(outLeft, data, count);
  } else {
    if (bytesPerSample == 2)
      NUM16STER_TO_CHAR(outLeft, outRight, data, count);
    else
      NUM24STER_TO_CHAR(outLeft, outRight, data, count);
  }
  return clipped;
}

}  // namespace wavsplice
