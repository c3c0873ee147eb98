#include "render/crossfade_steps.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "render/crossfade.h"
#include "render/crossfade_fit.h"
#include "render/insert_file.h"
#include "wav/wav_header.h"
#include "wav/wav_writer.h"

namespace wavsplice {

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

void PrepareCrossfade(const RenderTarget& target, EditRender& edit, int64_t& crossfadeClipped) {
  // A crossfade that would take the destination (or its own temp file) past
  // what a header can describe would write gigabytes no WAV reader can
  // reach: it fails like any other.
  bool made = CrossfadeSamples(target.sampleRate, edit.xfWidth, edit.xfSamples) &&
              CrossfadeWithinHeader(edit.insertPoint, edit.xfSamples, TargetFormat(target));
  if (made) {
    made =
        MAKE_HEADER(target.xfadeTempPath, TargetFormat(target), edit.xfSamples) == WriteResult::kOk;
  }
  if (made) {
    made = CROSSFADE(edit.insertPoint, edit.readStart, edit.xfSamples, edit.xfType, target.destPath,
                     edit.sourcePath, target.xfadeTempPath, TargetFormat(target), edit.levelDb,
                     crossfadeClipped) == kCrossfadeOk;
  }
  if (!made) {
    std::puts("Could not generate crossfade");
    edit.xfType = 0;
  }
}

bool PlaceCrossfade(const RenderTarget& target, const EditRender& edit) {
  const int64_t start = static_cast<int64_t>(edit.insertPoint) - edit.xfSamples / 2;
  const bool placed = start >= 1;
  if (placed) {
    INSERT_FILE(target.destPath, target.xfadeTempPath, static_cast<int32_t>(start),
                TargetFormat(target), edit.xfSamples, 0, 0.0);
  }
  std::remove(target.xfadeTempPath.c_str());
  return placed;
}

}  // namespace wavsplice
