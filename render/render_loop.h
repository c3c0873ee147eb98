// Writing one edit into the destination: its span copied with its level
// change, and its crossfade made before the copy and laid after it. The
// edit comes in sample units; task units and the report stay with the task.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "common/file_io.h"
#include "render/span_copy.h"
#include "wav/pcm_format.h"

namespace wavsplice {

// The destination a run writes and its format.
struct RenderTarget {
  std::string destPath;        // as the task file names it; every message uses it
  std::string destWritePath;   // where it is written: its temporary file until the run ends
  int64_t destAudioStart = 0;  // file position of the destination's first audio byte
  int64_t destLength = 0;      // frames of audio the destination's header declares
  PcmFormat format;
};

// The destination as the renderer opens it and as messages name it.
inline NamedPath Destination(const RenderTarget& target) {
  return NamedPath(target.destWritePath, target.destPath);
}

// One edit as the renderer needs it: frames of its source and of the
// destination, a level in dB and the crossfade asked for.
struct EditRender {
  std::string sourcePath;
  int64_t sourceAudioStart = 0;  // file position of the source's first audio byte
  // File position just past the source's last audio byte (chunks after the
  // audio are no audio); the largest value: the audio runs to the file's end.
  int64_t sourceAudioEnd = std::numeric_limits<int64_t>::max();
  int64_t insertPoint = 0;
  int64_t readStart = 0;
  int64_t readLength = 0;
  double levelDb = 0;
  int32_t xfType = 0;        // 0 = none, 1..4 = curve; set to 0 when it fails
  float xfWidth = 100.0f;    // milliseconds
  int64_t xfSamples = 4410;  // worked out from xfWidth when the crossfade is made
  // Fades over the first and last frames of the span as the task gives it
  // (type 0: none), widths in milliseconds; a fade longer than that span
  // covers it. The copy can reach further than that span: a crossfade that
  // takes its material from the sources extends and moves spans.
  int64_t fadeInsertPoint = 0;
  int64_t fadeReadStart = 0;
  int64_t fadeLength = 0;
  int32_t finType = 0;
  float finWidth = 0.0f;
  int32_t foutType = 0;
  float foutWidth = 0.0f;
};

// The render of a run's edits, one after another: the destination opened
// once for all of them (at the first edit), each source once while it is
// among the few used last (a programme takes many spans from each of a few
// takes), and one kernel pipe for every copy. Audio positions come from the target and
// the edits, never from scanning the files again.
class EditRenderer {
 public:
  explicit EditRenderer(RenderTarget target) : target_(std::move(target)) {}

  // Copies the edit's span over the destination at its insert point, with
  // its crossfade when xfType is not 0 (which may print the crossfade's
  // failure and set xfType to 0). Returns the number of sample values the
  // level change and the crossfade had to limit. Ends the run (exit status
  // 2) when a file cannot be opened or the destination cannot be written.
  int64_t Render(EditRender& edit);

  // After the last edit: closes the destination, ending the run ("Cannot
  // write to file", exit status 2) when that fails.
  void Finish();

 private:
  // The destination, opened at the first call (-1 when it cannot be).
  OpenAudio TryDestination();

  // The source's descriptor, opened now unless it is among the sources kept
  // open (-1 when it cannot be opened).
  int SourceDescriptor(const std::string& path);

  RenderTarget target_;
  std::vector<std::pair<std::string, Descriptor>> sources_;  // the last used at the back
  FileHandle dest_;
  bool destTried_ = false;
  KernelCopy kernel_;
};

}  // namespace wavsplice
