// An open WAV file as the render reads and writes it: its descriptor and
// where its audio starts, found once (by the plan for a source, by the
// destination's creation for the destination) and never looked for again.
#pragma once

#include <cstdint>

namespace wavsplice {

struct OpenAudio {
  int fd = -1;  // -1: the file could not be opened
  int64_t audioStart = 0;
};

}  // namespace wavsplice
