// What the program knows of one source WAV file after reading its header: its format and where its
// audio lies.
#pragma once

#include <cstdint>

#include "wav/pcm_format.h"

namespace wavsplice {

// The format and audio location of one source WAV file.
struct TrackAttributes {
  // The audio's format as the fmt chunk describes it: channels and rate as read, bits / 8 bytes per
  // value; valid bits and channel mask from an extensible chunk only.
  PcmFormat format;
  int32_t bits = 0;                 // bits per sample as declared, a whole number of bytes or not
  int32_t audioFormat = 0;          // format tag of the fmt chunk
  int32_t subFormat = 0;            // first two bytes of the sub-format GUID (extensible)
  int64_t dataOffset = 0;           // file position of the first audio byte
  int64_t audioEnd = 0;             // file position just past the last audio byte
  int64_t lengthSamples = 0;        // whole frames of audio
  bool formatChunkMissing = false;  // the fields were read at the last candidate position
};

}  // namespace wavsplice
