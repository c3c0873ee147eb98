#include "render/crossfade_steps.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "render/crossfade.h"
#include "render/insert_file.h"
#include "wav/wav_writer.h"

namespace wavsplice {

namespace {

// The destination's header holds its data size in a RIFF size of at most
// 2^31 - 1 (data bytes + 36).
constexpr int64_t kMaxDataBytes = 2147483647LL - 36;

// A crossfade is laid from insertPoint - xfSamples / 2. One that would take
// the destination (or its own temp file) past what a header can describe
// would write gigabytes no WAV reader can reach: it fails like any other.
bool CrossfadeFits(const RunState& run, const EditEntry& entry) {
  const int64_t start =
      std::max<int64_t>(0, static_cast<int64_t>(entry.insertPoint) - entry.xfSamples / 2);
  const int64_t frameSize = static_cast<int64_t>(run.bytesPerSample) * run.channels;
  return (start + entry.xfSamples) * frameSize <= kMaxDataBytes;
}

}  // namespace

bool CrossfadeSamples(int32_t sampleRate, float xfWidth, int32_t& xfSamples) {
  if (!(xfWidth > 0)) return true;  // keeps its value, NaN included
  const float product = static_cast<float>(sampleRate) * xfWidth;
  const double samples = std::trunc(static_cast<double>(product) / 1000.0);
  if (!(samples >= std::numeric_limits<int32_t>::min() &&
        samples <= std::numeric_limits<int32_t>::max())) {
    return false;
  }
  xfSamples = static_cast<int32_t>(samples);
  return true;
}

void PrepareCrossfade(const RunState& run, EditEntry& entry, int64_t& crossfadeClipped) {
  bool made =
      CrossfadeSamples(run.sampleRate, entry.xfWidth, entry.xfSamples) && CrossfadeFits(run, entry);
  if (made) {
    made = MAKE_HEADER(run.xfadeTempPath, static_cast<uint32_t>(run.sampleRate),
                       static_cast<uint32_t>(run.bits), entry.xfSamples,
                       static_cast<uint32_t>(run.channels)) == WriteResult::kOk;
  }
  if (made) {
    made = CROSSFADE(entry.insertPoint, entry.readStart, entry.xfSamples, entry.xfType,
                     run.destPath, entry.sourcePath, run.xfadeTempPath, run.channels,
                     run.bytesPerSample, entry.lvl, crossfadeClipped) == kCrossfadeOk;
  }
  if (!made) {
    std::puts("Could not generate crossfade");
    entry.xfType = 0;
  }
}

bool PlaceCrossfade(const RunState& run, const EditEntry& entry) {
  const int64_t start = static_cast<int64_t>(entry.insertPoint) - entry.xfSamples / 2;
  const bool placed = start >= 1;
  if (placed) {
    INSERT_FILE(run.destPath, run.xfadeTempPath, static_cast<int32_t>(start), run.bytesPerSample,
                run.channels, entry.xfSamples, 0, 0.0);
  }
  std::remove(run.xfadeTempPath.c_str());
  return placed;
}

}  // namespace wavsplice
