// Writing one edit into the destination: its span copied with its level
// change, and its crossfade made before the copy and laid after it. The
// edit comes in sample units; task units and the report stay with the task.
#pragma once

#include <cstdint>
#include <string>

#include "common/file_io.h"
#include "wav/pcm_format.h"

namespace wavsplice {

// The destination a run writes and its format.
struct RenderTarget {
  std::string destPath;       // as the task file names it; every message uses it
  std::string destWritePath;  // where it is written: its temporary file until the run ends
  int32_t sampleRate = 0;
  int32_t bits = 0;
  int32_t channels = 0;
  int32_t bytesPerSample = 0;
  SampleType sampleType = SampleType::kInteger;
  int32_t validBits = 0;     // 0: every bit of the container
  uint32_t channelMask = 0;  // 0: none
};

// The destination as the renderer opens it and as messages name it.
inline NamedPath Destination(const RenderTarget& target) {
  return NamedPath(target.destWritePath, target.destPath);
}

// The target's format as one value, for the codec and the headers.
inline PcmFormat TargetFormat(const RenderTarget& target) {
  return FormatOfFields(target.sampleRate, target.channels, target.bytesPerSample,
                        target.sampleType, target.validBits, target.channelMask);
}

// One edit as the renderer needs it: frames of its source and of the
// destination, a level in dB and the crossfade asked for.
struct EditRender {
  std::string sourcePath;
  int64_t insertPoint = 0;
  int64_t readStart = 0;
  int64_t readLength = 0;
  double levelDb = 0;
  int32_t xfType = 0;        // 0 = none, 1..4 = curve; set to 0 when it fails
  float xfWidth = 100.0f;    // milliseconds
  int64_t xfSamples = 4410;  // worked out from xfWidth when the crossfade is made
};

// Copies the edit's span over the destination at its insert point, with its
// crossfade when xfType is not 0 (made in a scratch file of its own; a
// failed one is printed and sets xfType to 0). Returns the number of sample
// values the level change and the crossfade had to limit. Ends the run
// (exit status 2) when a copy cannot be made.
int64_t RenderEdit(const RenderTarget& target, EditRender& edit);

}  // namespace wavsplice
