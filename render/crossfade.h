// The crossfade generator: blends the destination's content around a splice with the edit's source
// along one of four curves and appends the result to a scratch file.
#pragma once

#include <cstdint>

#include "render/crossfade_fit.h"
#include "render/open_audio.h"
#include "wav/wav_writer.h"

namespace wavsplice {

// Computes xfSamples crossfade frames centred on the splice (destination frame insertPoint, source
// frame readStart) and appends them to scratch, whose header is written; the format is the scratch
// file's. Frame i blends destination frame insertPoint - half + i (weight destGain) with source
// frame readStart - half + i (weight sourceGain x the level factor), half being xfSamples / 2,
// channel by channel. Frames past the end of a file, and the source's past the end of its audio
// (chunks after it), count as the format's silence; integer results are limited to the format's
// range (the number limited is added to clipped), float results are not. The files are read by
// position from the audio starts and ends the caller knows. Returns kMade, the side too short for
// it (FitCrossfade), kTooLong for a format without a codec, or kNotWritten when scratch cannot be
// written.
CrossfadeOutcome CROSSFADE(int64_t insertPoint, int64_t readStart, int64_t xfSamples, int xfType,
                           const OpenAudio& dest, const OpenAudio& source, WavWriter& scratch,
                           double levelDb, int64_t& clipped);

// A fade: the crossfade's arithmetic over xfSamples frames with silence on one side. A fade in
// (fadeIn) blends silence (weight destGain) with audio from frame `frame` (weight sourceGain x the
// level factor); a fade out blends audio from frame `frame` (weight destGain) with silence. Appends
// the frames to scratch. Returns kMade, kTooLong or kNotWritten as CROSSFADE does.
CrossfadeOutcome FADE(bool fadeIn, const OpenAudio& audio, int64_t frame, int64_t xfSamples,
                      int xfType, WavWriter& scratch, double levelDb, int64_t& clipped);

// The curve weights of frame i of n for xfType 1..4.
struct CrossfadeWeights {
  double destGain;
  double sourceGain;
};
// Integer formats take sine and cosine from the C library; the truncation to an integer hides the
// last bit in which platforms' libraries differ.
CrossfadeWeights WeightsAt(int64_t i, int64_t n, int xfType);
// Float formats keep that bit: they take sine and cosine computed the same on every platform, so
// that every platform writes the same file.
CrossfadeWeights PortableWeightsAt(int64_t i, int64_t n, int xfType);

}  // namespace wavsplice
