// What the render is given: the destination a run writes, and one edit in sample units (task units
// and the report stay with the task); and what it gives back for each edit.
#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "render/crossfade_fit.h"
#include "render/open_audio.h"
#include "wav/pcm_format.h"

namespace wavsplice {

// The destination a run writes and its format.
struct RenderTarget {
  std::string destPath;  // as the task file names it; every message uses it
  // A path in the destination's folder (its staged file): scratch files are made beside it.
  std::string scratchBeside;
  OpenAudio dest;          // held open, for reading and writing, by its owner
  int64_t destLength = 0;  // frames of audio the destination's header declares
  PcmFormat format;
};

// One edit as the renderer needs it: frames of its source and of the destination, a level in dB and
// the crossfade asked for.
struct EditRender {
  std::string sourcePath;
  int64_t sourceAudioStart = 0;  // file position of the source's first audio byte
  // File position just past the source's last audio byte (chunks after the audio are no audio); the
  // largest value: the audio runs to the file's end.
  int64_t sourceAudioEnd = std::numeric_limits<int64_t>::max();
  int64_t insertPoint = 0;
  int64_t readStart = 0;
  int64_t readLength = 0;
  double levelDb = 0;
  int32_t xfType = 0;        // 0 = none, 1..4 = curve
  float xfWidth = 100.0f;    // milliseconds
  int64_t xfSamples = 4410;  // frames when xfWidth is not above 0
  // Fades over the first and last frames of the span as the task gives it (type 0: none), widths in
  // milliseconds; a fade longer than that span covers it. The copy can reach further than that
  // span: a crossfade that takes its material from the sources extends and moves spans.
  int64_t fadeInsertPoint = 0;
  int64_t fadeReadStart = 0;
  int64_t fadeLength = 0;
  int32_t finType = 0;
  float finWidth = 0.0f;
  int32_t foutType = 0;
  float foutWidth = 0.0f;
};

// What became of one edit: the sample values its level change, crossfade and fades had to limit,
// and its crossfade's outcome.
struct EditOutcome {
  int64_t clipped = 0;
  CrossfadeOutcome crossfade = CrossfadeOutcome::kNone;
};

}  // namespace wavsplice
