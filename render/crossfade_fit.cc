#include "render/crossfade_fit.h"

#include <algorithm>

#include "wav/wav_header.h"

namespace wavsplice {

CrossfadeFit FitCrossfade(int64_t insertPoint, int64_t readStart, int32_t xfSamples,
                          int64_t destFrames, int64_t sourceFrames) {
  const int32_t half = xfSamples / 2;
  const int64_t destStart = insertPoint - half;
  if (destStart < 0 || destStart > destFrames) return CrossfadeFit::kDestinationTooShort;
  const int64_t sourceStart = readStart - half;
  if (sourceStart < 0 || sourceStart > sourceFrames) return CrossfadeFit::kSourceTooShort;
  return CrossfadeFit::kFits;
}

int64_t FramesInFile(int64_t fileSize, int64_t dataOffset, int64_t frameSize) {
  if (fileSize < dataOffset) return -1;
  return (fileSize - dataOffset) / frameSize;
}

bool CrossfadeWithinHeader(int64_t insertPoint, int32_t xfSamples, const PcmFormat& format) {
  const int64_t start = std::max<int64_t>(0, insertPoint - xfSamples / 2);
  return (start + xfSamples) * format.FrameBytes() <= MaxAudioBytes(format);
}

bool CrossfadeWithinHeader(int64_t insertPoint, int32_t xfSamples, int64_t frameSize) {
  // A canonical header: a frame of frameSize bytes of one channel.
  return CrossfadeWithinHeader(insertPoint, xfSamples,
                               IntegerFormat(static_cast<int32_t>(frameSize), 1));
}

}  // namespace wavsplice
