// The crossfade generator: blends the destination's content around a splice
// with the edit's source along one of four curves and appends the result to
// the crossfade temp file.
#pragma once

#include <cstdint>
#include <string>

#include "render/open_audio.h"
#include "wav/pcm_format.h"

namespace wavsplice {

// Results of CROSSFADE.
constexpr int kCrossfadeOk = 0;
constexpr int kCrossfadeDestinationFailed = 1;
constexpr int kCrossfadeSourceFailed = 2;
constexpr int kCrossfadeTempFailed = 3;

// Computes xfSamples crossfade frames centred on the splice (destination
// frame insertPoint, source frame readStart) and appends them to
// xfadeTempPath, which already holds its header. Frame i blends destination
// frame insertPoint - half + i (weight destGain) with source frame
// readStart - half + i (weight sourceGain x the level factor), half being
// xfSamples / 2, channel by channel. Frames past the end of a file, and the
// source's past the end of its audio (chunks after it), count as the
// format's silence; integer results are limited to the format's range
// (the number limited is added to clipped), float results are not. Returns kCrossfadeOk, or the
// failed side: 1 destination, 2 source (each printing a message for a missing data chunk or a start
// outside the file), 3 temp file.
int CROSSFADE(int64_t insertPoint, int64_t readStart, int64_t xfSamples, int xfType,
              const std::string& destPath, const std::string& sourcePath,
              const std::string& xfadeTempPath, const PcmFormat& format, double levelDb,
              int64_t& clipped);

// The same over the destination and the source as the caller holds them
// open, read by position from the audio starts and ends it knows (a
// descriptor of -1 is a file that could not be opened: that side fails).
int CROSSFADE(int64_t insertPoint, int64_t readStart, int64_t xfSamples, int xfType,
              const OpenAudio& dest, const OpenAudio& source, const std::string& xfadeTempPath,
              const PcmFormat& format, double levelDb, int64_t& clipped);

// A fade: the crossfade's arithmetic over xfSamples frames with silence on
// one side. A fade in (fadeIn) blends silence (weight destGain) with audio
// from frame `frame` (weight sourceGain x the level factor); a fade out
// blends audio from frame `frame` (weight destGain) with silence. Appends
// the frames to xfadeTempPath, which holds its header. Returns kCrossfadeOk,
// or kCrossfadeTempFailed (kCrossfadeDestinationFailed: a format without a
// codec).
int FADE(bool fadeIn, const OpenAudio& audio, int64_t frame, int64_t xfSamples, int xfType,
         const std::string& xfadeTempPath, const PcmFormat& format, double levelDb,
         int64_t& clipped);

// The curve weights of frame i of n for xfType 1..4.
struct CrossfadeWeights {
  double destGain;
  double sourceGain;
};
// Integer formats take sine and cosine from the C library, as they always
// have, so their bytes stay as they were; the truncation to an integer
// hides the last bit in which platforms' libraries differ.
CrossfadeWeights WeightsAt(int64_t i, int64_t n, int xfType);
// Float formats keep that bit: they take sine and cosine computed the same
// on every platform, so that every platform writes the same file.
CrossfadeWeights PortableWeightsAt(int64_t i, int64_t n, int xfType);

}  // namespace wavsplice
