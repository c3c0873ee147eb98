#include "render/crossfade.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "common/file_io.h"
#include "render/crossfade_fit.h"
#include "render/level.h"
#include "render/sample_limit.h"
#include "wav/chunk_scan.h"
#include "wav/pcm_codec.h"

namespace wavsplice {

namespace {

// The angle constant of the curves, on purpose not pi/2 to full precision:
// it decides the exact output values.
constexpr double kQuarterTurn = 1.570796327;
constexpr double kSixteenBitScale = 0.00390625;  // 1/256

// One block of one file, decoded into left and right values.
struct DecodedBlock {
  std::vector<unsigned char> bytes;
  std::array<int32_t, kBlockSamples> left{};
  std::array<int32_t, kBlockSamples> right{};
};

// Reads n frames at pos (missing frames are silence) and decodes them.
void ReadBlock(std::FILE* file, int64_t pos, int32_t n, int channels, int bytesPerSample,
               DecodedBlock& block) {
  const size_t count = static_cast<size_t>(n) * static_cast<size_t>(channels * bytesPerSample);
  const size_t got = ReadAt(file, pos, block.bytes.data(), count);
  std::memset(block.bytes.data() + got, 0, count - got);
  if (channels == 1) {
    CHAR_TO_NUM32(block.bytes.data(), block.left.data(), bytesPerSample, n);
  } else {
    CHAR_TO_NUM32_STEREO(block.bytes.data(), block.left.data(), block.right.data(), bytesPerSample,
                         n);
  }
}

void EncodeBlock(const std::array<int32_t, kBlockSamples>& left,
                 const std::array<int32_t, kBlockSamples>& right, int channels, int bytesPerSample,
                 int32_t n, unsigned char* out) {
  if (channels == 1) {
    if (bytesPerSample == 2)
      NUM16MONO_TO_CHAR(left.data(), out, n);
    else
      NUM24MONO_TO_CHAR(left.data(), out, n);
  } else {
    if (bytesPerSample == 2)
      NUM16STER_TO_CHAR(left.data(), right.data(), out, n);
    else
      NUM24STER_TO_CHAR(left.data(), right.data(), out, n);
  }
}

int32_t Mix(int32_t source, int32_t dest, const CrossfadeWeights& weights, int bytesPerSample,
            int64_t& clipped) {
  const double mix = source * weights.sourceGain + dest * weights.destGain;
  return TruncateAndLimit(bytesPerSample == 2 ? mix * kSixteenBitScale : mix, bytesPerSample,
                          clipped);
}

int64_t DataOffset(std::FILE* file) {
  const int64_t tagAt = FIND_CHUNK(file, "data");
  return tagAt < 0 ? -1 : tagAt + kDataTagToAudio;
}

}  // namespace

CrossfadeWeights WeightsAt(int32_t i, int32_t n, int xfType) {
  const double r = static_cast<double>(i) / static_cast<double>(n);
  const double angle = r * kQuarterTurn;
  switch (xfType) {
    case 1:
      return {std::cos(angle), std::sin(angle)};
    case 2:
      return {1 - r, 1 - (1 - r)};
    case 3: {
      const double destGain = std::cos(angle);
      return {destGain, 1 - destGain};
    }
    default: {
      const double destGain = 1 - std::sin(angle);
      return {destGain, 1 - destGain};
    }
  }
}

int CROSSFADE(int32_t insertPoint, int32_t readStart, int32_t xfSamples, int xfType,
              const std::string& destPath, const std::string& sourcePath,
              const std::string& xfadeTempPath, int channels, int bytesPerSample, double levelDb,
              int64_t& clipped) {
  // Only these formats have a decoder and an encoder.
  if ((channels != 1 && channels != 2) || (bytesPerSample != 2 && bytesPerSample != 3)) {
    return kCrossfadeDestinationFailed;
  }
  const double gain = LevelGain(levelDb);
  FileHandle dest = OpenFile(destPath, "rb");
  FileHandle source = OpenFile(sourcePath, "rb");
  FileHandle temp = OpenFile(xfadeTempPath, "ab");
  if (!dest) return kCrossfadeDestinationFailed;
  if (!source) return kCrossfadeSourceFailed;
  if (!temp) return kCrossfadeTempFailed;

  const int64_t destSize = FileSize(dest.get());
  const int64_t sourceSize = FileSize(source.get());
  const int64_t destOffset = DataOffset(dest.get());
  if (destOffset < 0) {
    std::puts("Data block not found error");
    return kCrossfadeDestinationFailed;
  }
  const int64_t sourceOffset = DataOffset(source.get());
  if (sourceOffset < 0) {
    std::puts("Data block not found error");
    return kCrossfadeSourceFailed;
  }

  const int64_t frameSize = static_cast<int64_t>(channels) * bytesPerSample;
  const CrossfadeFit fit =
      FitCrossfade(insertPoint, readStart, xfSamples, FramesInFile(destSize, destOffset, frameSize),
                   FramesInFile(sourceSize, sourceOffset, frameSize));
  if (fit == CrossfadeFit::kDestinationTooShort) {
    std::puts("Invalid crossfade for destination file");
    return kCrossfadeDestinationFailed;
  }
  if (fit == CrossfadeFit::kSourceTooShort) {
    std::puts("Invalid crossfade for source file");
    return kCrossfadeSourceFailed;
  }
  const int32_t half = xfSamples / 2;
  int64_t destPos = destOffset + frameSize * (static_cast<int64_t>(insertPoint) - half);
  int64_t sourcePos = sourceOffset + frameSize * (static_cast<int64_t>(readStart) - half);
  if (xfSamples <= 0) return kCrossfadeOk;

  DecodedBlock destBlock;
  DecodedBlock sourceBlock;
  destBlock.bytes.resize(static_cast<size_t>(kBlockSamples * frameSize));
  sourceBlock.bytes.resize(destBlock.bytes.size());
  std::vector<unsigned char> output(destBlock.bytes.size());
  std::array<int32_t, kBlockSamples> left{};
  std::array<int32_t, kBlockSamples> right{};

  for (int32_t done = 0; done < xfSamples;) {
    const int32_t n = std::min(kBlockSamples, xfSamples - done);
    ReadBlock(dest.get(), destPos, n, channels, bytesPerSample, destBlock);
    ReadBlock(source.get(), sourcePos, n, channels, bytesPerSample, sourceBlock);
    for (int32_t k = 0; k < n; ++k) {
      CrossfadeWeights weights = WeightsAt(done + k, xfSamples, xfType);
      if (levelDb != 0.0) weights.sourceGain = weights.sourceGain * gain;
      const size_t at = static_cast<size_t>(k);
      left[at] = Mix(sourceBlock.left[at], destBlock.left[at], weights, bytesPerSample, clipped);
      if (channels == 2) {
        right[at] =
            Mix(sourceBlock.right[at], destBlock.right[at], weights, bytesPerSample, clipped);
      }
    }
    EncodeBlock(left, right, channels, bytesPerSample, n, output.data());
    const size_t bytes = static_cast<size_t>(n * frameSize);
    if (std::fwrite(output.data(), 1, bytes, temp.get()) != bytes) return kCrossfadeTempFailed;
    destPos += static_cast<int64_t>(bytes);
    sourcePos += static_cast<int64_t>(bytes);
    done += n;
  }
  dest.reset();
  source.reset();
  return CloseWritten(temp) ? kCrossfadeOk : kCrossfadeTempFailed;
}

}  // namespace wavsplice
