// An open WAV file as the render reads and writes it: its descriptor and where its audio starts
// (and, for a source, ends), found once (by the plan for a source, by the destination's creation
// for the destination) and never looked for again.
#pragma once

#include <cstdint>
#include <limits>

namespace wavsplice {

struct OpenAudio {
  int fd = -1;  // -1: the file could not be opened
  int64_t audioStart = 0;
  // File position just past the last audio byte; the largest value lets the audio run to the end of
  // the file.
  int64_t audioEnd = std::numeric_limits<int64_t>::max();
};

}  // namespace wavsplice
