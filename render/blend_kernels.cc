#include "render/blend_kernels.h"

#include <algorithm>

#include "common/vector_clones.h"

namespace wavsplice {

namespace {

// One loop per common channel count, so that the compiler unrolls the
// channels; kChannels 0 takes the count given at run time.
template <int kChannels>
void SpreadOver(const CrossfadeWeights* frames, int64_t frameCount, int givenChannels,
                bool scaleSource, double sourceFactor, double* destWeights, double* sourceWeights) {
  const int channels = kChannels > 0 ? kChannels : givenChannels;
  for (int64_t k = 0; k < frameCount; ++k) {
    const double sourceGain =
        scaleSource ? frames[k].sourceGain * sourceFactor : frames[k].sourceGain;
    for (int c = 0; c < channels; ++c) {
      destWeights[k * channels + c] = frames[k].destGain;
      sourceWeights[k * channels + c] = sourceGain;
    }
  }
}

}  // namespace

void SpreadWeights(const CrossfadeWeights* frames, int64_t frameCount, int channels,
                   bool scaleSource, double sourceFactor, double* destWeights,
                   double* sourceWeights) {
  const auto spread = [&](auto spreadOver) {
    spreadOver(frames, frameCount, channels, scaleSource, sourceFactor, destWeights, sourceWeights);
  };
  switch (channels) {
    case 1:
      return spread(SpreadOver<1>);
    case 2:
      return spread(SpreadOver<2>);
    case 6:
      return spread(SpreadOver<6>);
    default:
      return spread(SpreadOver<0>);
  }
}

WAVSPLICE_VECTOR_CLONES void BlendValues(const BlendBlock& block, double scale, double* mixed) {
  const double* dest = block.dest;
  const double* destWeights = block.destWeights;
  const double* source = block.source;
  const double* sourceWeights = block.sourceWeights;
  for (int64_t i = 0; i < block.count; ++i) {
    mixed[i] = (source[i] * sourceWeights[i] + dest[i] * destWeights[i]) * scale;
  }
}

// trunc(x) leaves low..high exactly when x reaches high + 1 or low - 1, and limiting x first leaves
// its truncation the same, as low and high are whole. The count is kept in double, which counts
// exactly and keeps the loop in one type.
WAVSPLICE_VECTOR_CLONES int64_t BlendAndLimit(const BlendBlock& block, double scale, double low,
                                              double high, double* mixed) {
  const double* dest = block.dest;
  const double* destWeights = block.destWeights;
  const double* source = block.source;
  const double* sourceWeights = block.sourceWeights;
  const double over = high + 1.0;
  const double under = low - 1.0;
  double clipped = 0;
  for (int64_t i = 0; i < block.count; ++i) {
    const double x = (source[i] * sourceWeights[i] + dest[i] * destWeights[i]) * scale;
    clipped += (x >= over ? 1.0 : 0.0) + (x <= under ? 1.0 : 0.0);
    mixed[i] = std::min(std::max(x, low), high);
  }
  return static_cast<int64_t>(clipped);
}

}  // namespace wavsplice
