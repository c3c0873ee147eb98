// The crossfade's arithmetic over a block of decoded values, in flat loops over the values that the
// compiler vectorises on every target (built twice on x86-64 Linux, for the baseline and for AVX2).
// Each value goes through the same double arithmetic, in the same order, as value by value, so the
// bytes are the same whichever loop runs.
#pragma once

#include <cstdint>

#include "render/crossfade.h"

namespace wavsplice {

// Spreads the weights of frameCount frames over their channels, value k x channels + c taking frame
// k's: destWeights[] its destGain, sourceWeights[] its sourceGain, multiplied by sourceFactor when
// scaleSource (a level change).
void SpreadWeights(const CrossfadeWeights* frames, int64_t frameCount, int channels,
                   bool scaleSource, double sourceFactor, double* destWeights,
                   double* sourceWeights);

// One block of a crossfade: count values of each side, frame by frame with every channel side by
// side, and the weight each value takes.
struct BlendBlock {
  const double* dest;
  const double* destWeights;
  const double* source;
  const double* sourceWeights;
  int64_t count;
};

// Float formats: mixed[i] = (source[i] x sourceWeights[i] + dest[i] x destWeights[i]) x scale, two
// products and a sum in double, never limited.
void BlendValues(const BlendBlock& block, double scale, double* mixed);

// Integer formats: the same blend limited to low..high, ready for the encoder's truncation: a value
// whose truncation lies outside low..high becomes the limit and is counted. Returns the number
// limited. The weights must be finite, so that no blend is NaN.
int64_t BlendAndLimit(const BlendBlock& block, double scale, double low, double high,
                      double* mixed);

}  // namespace wavsplice
