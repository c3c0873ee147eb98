#include "render/crossfade_fit.h"

#include <algorithm>

#include "common/int64_range.h"
#include "wav/wav_writer.h"

namespace wavsplice {

bool CrossfadeSamples(int32_t sampleRate, float xfWidth, int64_t& xfSamples) {
  if (!(xfWidth > 0)) return true;  // keeps its value, NaN included
  const float product = static_cast<float>(sampleRate) * xfWidth;
  return TruncToInt64(static_cast<double>(product) / 1000.0, xfSamples);
}

CrossfadeOutcome FitCrossfade(int64_t insertPoint, int64_t readStart, int64_t xfSamples,
                              int64_t destFrames, int64_t sourceFrames) {
  const int64_t half = xfSamples / 2;
  const int64_t destStart = insertPoint - half;
  if (destStart < 0 || destStart > destFrames) return CrossfadeOutcome::kDestinationTooShort;
  const int64_t sourceStart = readStart - half;
  if (sourceStart < 0 || sourceStart > sourceFrames) return CrossfadeOutcome::kSourceTooShort;
  return CrossfadeOutcome::kMade;
}

int64_t CrossfadeFramesPlaced(int64_t insertPoint, int64_t xfSamples, int64_t destFrames) {
  const int64_t start = insertPoint - xfSamples / 2;
  return std::clamp<int64_t>(destFrames - start, 0, std::max<int64_t>(0, xfSamples));
}

int64_t FramesInFile(int64_t fileSize, int64_t dataOffset, int64_t frameSize) {
  if (fileSize < dataOffset) return -1;
  return (fileSize - dataOffset) / frameSize;
}

bool CrossfadeWithinReach(int64_t insertPoint, int64_t xfSamples, int64_t frameSize) {
  const int64_t start = std::max<int64_t>(0, insertPoint - xfSamples / 2);
  return xfSamples <= MaxDataFrames(frameSize) - start;
}

}  // namespace wavsplice
