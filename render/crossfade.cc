#include "render/crossfade.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "common/file_io.h"
#include "render/blend_kernels.h"
#include "render/crossfade_fit.h"
#include "render/level.h"
#include "render/portable_trig.h"
#include "render/sample_limit.h"
#include "wav/pcm_codec.h"
#include "wav/pcm_format.h"

namespace wavsplice {

namespace {

// The angle constant of the curves, on purpose not pi/2 to full precision: it decides the exact
// output values.
constexpr double kQuarterTurn = 1.570796327;

// The four curves at frame i of n, with the sine and cosine given.
template <typename Sine, typename Cosine>
CrossfadeWeights CurveWeights(int64_t i, int64_t n, int xfType, Sine sine, Cosine cosine) {
  const double r = static_cast<double>(i) / static_cast<double>(n);
  const double angle = r * kQuarterTurn;
  switch (xfType) {
    case 1:
      return {cosine(angle), sine(angle)};
    case 2:
      return {1 - r, 1 - (1 - r)};
    case 3: {
      const double destGain = cosine(angle);
      return {destGain, 1 - destGain};
    }
    default: {
      const double destGain = 1 - sine(angle);
      return {destGain, 1 - destGain};
    }
  }
}

// The curve of the last crossfade, every frame's weights, for the next one of the same length and
// type: a programme's crossfades are mostly alike, and a frame's sine and cosine cost more than its
// blend. Curves longer than kCachedCurveFrames (two seconds at 44.1 kHz take 1.4 MiB) are worked
// out frame by frame instead, so that memory stays small.
constexpr int64_t kCachedCurveFrames = 8192;

// The frame weights of the curve, or null where it is too long to keep.
const CrossfadeWeights* CachedCurve(int64_t n, int xfType, bool portable) {
  static std::vector<CrossfadeWeights> curve;
  static int curveType = 0;
  static bool curvePortable = false;
  if (n <= 0 || n > kCachedCurveFrames) return nullptr;
  if (static_cast<int64_t>(curve.size()) != n || curveType != xfType || curvePortable != portable) {
    curve.resize(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) {
      curve[static_cast<size_t>(i)] =
          portable ? PortableWeightsAt(i, n, xfType) : WeightsAt(i, n, xfType);
    }
    curveType = xfType;
    curvePortable = portable;
  }
  return curve.data();
}

// Values in one block of a crossfade: the frames of a block are as many as fit, so that its memory
// is the same for any number of channels (1024 frames of stereo).
constexpr int64_t kBlockValues = 2 * kBlockSamples;

// One block of one file, decoded into interleaved values, every channel of a frame side by side.
struct DecodedBlock {
  std::vector<unsigned char> bytes;
  std::vector<double> values;
};

// Reads n frames of the file's audio at pos and decodes them. Bytes from audioEnd on (chunks after
// the audio) and past the end of the file are the format's silence.
void ReadBlock(const OpenAudio& file, int64_t pos, int32_t n, const PcmFormat& format,
               DecodedBlock& block) {
  const size_t count = static_cast<size_t>(n * format.FrameBytes());
  const int64_t inAudio = std::clamp<int64_t>(file.audioEnd - pos, 0, static_cast<int64_t>(count));
  const size_t got = ReadAt(file.fd, pos, block.bytes.data(), static_cast<size_t>(inAudio));
  std::memset(block.bytes.data() + got, format.SilenceByte(), count - got);
  DecodeValues(format, block.bytes.data(), block.values.data(), int64_t{n} * format.channels);
}

// Two products and a sum in double per value, then the 16-bit scale; integers are truncated and
// limited, float is not. Returns the number of values limited. (A level factor that is not finite
// can make a blend NaN, which becomes 0: the values then go through the limit one by one.)
int64_t BlendBlockValues(const BlendBlock& block, const PcmFormat& format, bool finiteGain,
                         double* mixed) {
  const double scale = ResultScale(format);
  if (format.IsFloat()) {
    BlendValues(block, scale, mixed);
    return 0;
  }
  const double low = format.LowestValue();
  const double high = format.HighestValue();
  if (finiteGain) return BlendAndLimit(block, scale, low, high, mixed);
  BlendValues(block, scale, mixed);
  int64_t clipped = 0;
  for (int64_t i = 0; i < block.count; ++i)
    mixed[i] = TruncateAndLimit(mixed[i], low, high, clipped);
  return clipped;
}

// Blends xfSamples frames of dest from byte destPos (weight destGain) with those of source from
// byte sourcePos (weight sourceGain x the level factor) and appends them to scratch.
CrossfadeOutcome BlendFrames(const OpenAudio& dest, int64_t destPos, const OpenAudio& source,
                             int64_t sourcePos, int64_t xfSamples, int xfType, WavWriter& scratch,
                             double levelDb, int64_t& clipped) {
  const PcmFormat& format = scratch.format();
  if (!format.HasCodec()) return CrossfadeOutcome::kTooLong;
  if (xfSamples <= 0) return CrossfadeOutcome::kMade;
  const double gain = LevelGain(levelDb);
  const int64_t frameSize = format.FrameBytes();
  const int64_t blockFrames = std::max<int64_t>(1, kBlockValues / format.channels);
  const size_t blockBytes = static_cast<size_t>(blockFrames * frameSize);
  const size_t blockValues =
      static_cast<size_t>(blockFrames) * static_cast<size_t>(format.channels);
  // The curve, which outlives the blend, is made before the blocks, which do not: the allocator
  // then places it below them, and the level copy that follows reuses their room instead of
  // growing the heap past the curve (96 KiB less peak memory, measured).
  const CrossfadeWeights* curve = CachedCurve(xfSamples, xfType, format.IsFloat());
  // The blend is encoded over the destination block's bytes.
  DecodedBlock destBlock{std::vector<unsigned char>(blockBytes), std::vector<double>(blockValues)};
  DecodedBlock sourceBlock = destBlock;
  std::vector<double> mixed(blockValues);
  std::vector<double> destWeights(blockValues);
  std::vector<double> sourceWeights(blockValues);
  // Frame by frame where the curve is too long to keep.
  std::vector<CrossfadeWeights> frameWeights(curve ? 0 : static_cast<size_t>(blockFrames));

  for (int64_t done = 0; done < xfSamples;) {
    const int32_t n = static_cast<int32_t>(std::min(blockFrames, xfSamples - done));
    ReadBlock(dest, destPos, n, format, destBlock);
    ReadBlock(source, sourcePos, n, format, sourceBlock);
    if (!curve) {
      for (int32_t k = 0; k < n; ++k) {
        frameWeights[static_cast<size_t>(k)] = format.IsFloat()
                                                   ? PortableWeightsAt(done + k, xfSamples, xfType)
                                                   : WeightsAt(done + k, xfSamples, xfType);
      }
    }
    SpreadWeights(curve ? curve + done : frameWeights.data(), n, format.channels, levelDb != 0.0,
                  gain, destWeights.data(), sourceWeights.data());
    clipped +=
        BlendBlockValues({destBlock.values.data(), destWeights.data(), sourceBlock.values.data(),
                          sourceWeights.data(), int64_t{n} * format.channels},
                         format, std::isfinite(gain), mixed.data());
    EncodeValues(format, mixed.data(), destBlock.bytes.data(), int64_t{n} * format.channels);
    const size_t bytes = static_cast<size_t>(n * frameSize);
    if (!scratch.Append(destBlock.bytes.data(), bytes)) return CrossfadeOutcome::kNotWritten;
    destPos += static_cast<int64_t>(bytes);
    sourcePos += static_cast<int64_t>(bytes);
    done += n;
  }
  return CrossfadeOutcome::kMade;
}

}  // namespace

CrossfadeWeights WeightsAt(int64_t i, int64_t n, int xfType) {
  return CurveWeights(
      i, n, xfType, [](double angle) { return std::sin(angle); },
      [](double angle) { return std::cos(angle); });
}

CrossfadeWeights PortableWeightsAt(int64_t i, int64_t n, int xfType) {
  return CurveWeights(i, n, xfType, PortableSine, PortableCosine);
}

CrossfadeOutcome CROSSFADE(int64_t insertPoint, int64_t readStart, int64_t xfSamples, int xfType,
                           const OpenAudio& dest, const OpenAudio& source, WavWriter& scratch,
                           double levelDb, int64_t& clipped) {
  const int64_t frameSize = scratch.format().FrameBytes();
  // The source's audio ends where its data chunk does, or with the file.
  const int64_t sourceEnd = std::min(FileSize(source.fd), source.audioEnd);
  const CrossfadeOutcome fit =
      FitCrossfade(insertPoint, readStart, xfSamples,
                   FramesInFile(FileSize(dest.fd), dest.audioStart, frameSize),
                   FramesInFile(sourceEnd, source.audioStart, frameSize));
  if (fit != CrossfadeOutcome::kMade) return fit;
  const int64_t half = xfSamples / 2;
  return BlendFrames(dest, dest.audioStart + frameSize * (insertPoint - half), source,
                     source.audioStart + frameSize * (readStart - half), xfSamples, xfType, scratch,
                     levelDb, clipped);
}

CrossfadeOutcome FADE(bool fadeIn, const OpenAudio& audio, int64_t frame, int64_t xfSamples,
                      int xfType, WavWriter& scratch, double levelDb, int64_t& clipped) {
  // Silence: a side with no audio bytes at all.
  const OpenAudio silence{-1, 0, 0};
  const int64_t pos = audio.audioStart + scratch.format().FrameBytes() * frame;
  return fadeIn ? BlendFrames(silence, 0, audio, pos, xfSamples, xfType, scratch, levelDb, clipped)
                : BlendFrames(audio, pos, silence, 0, xfSamples, xfType, scratch, levelDb, clipped);
}

}  // namespace wavsplice
