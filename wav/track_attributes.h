// What the program knows of one source WAV file after reading its header:
// its format and where its audio lies.
#pragma once

#include <cstdint>

namespace wavsplice {

// The format and audio location of one source WAV file.
struct TrackAttributes {
  int32_t channels = 0;
  int64_t dataOffset = 0;  // file position of the first audio byte
  int64_t audioEnd = 0;    // file position just past the last audio byte
  int32_t sampleRate = 0;
  int64_t lengthSamples = 0;   // whole frames of audio
  int32_t bytesPerSample = 0;  // bits / 8
  int32_t bits = 0;
  int32_t audioFormat = 0;          // format tag of the fmt chunk
  int32_t subFormat = 0;            // first two bytes of the sub-format GUID (extensible)
  int32_t validBits = 0;            // valid bits per sample (extensible)
  uint32_t channelMask = 0;         // speaker positions (extensible)
  bool formatChunkMissing = false;  // the fields were read at the last candidate position
};

}  // namespace wavsplice
