// The header the program writes in front of a destination's (or a crossfade
// temp file's) audio, chosen by the format: the canonical 44-byte header for
// integer mono and stereo, a float header with a fact chunk, or
// WAVE_FORMAT_EXTENSIBLE for more than two channels.
#pragma once

#include <cstdint>
#include <vector>

#include "wav/pcm_format.h"

namespace wavsplice {

enum class HeaderLayout {
  kCanonical,   // 44 bytes: fmt (16 bytes, tag 1), data
  kFloat,       // 58 bytes: fmt (18 bytes, tag 3, cbSize 0), fact, data
  kExtensible,  // 68 bytes, 80 with fact for float: fmt (40 bytes, tag 0xFFFE), data
};

// The one place that decides which header a format gets.
HeaderLayout ChooseHeaderLayout(const PcmFormat& format);

// Bytes before the first audio byte in a header of this format.
int64_t HeaderLength(const PcmFormat& format);

// The most audio bytes a header of this format can describe: its RIFF size
// (header length - 8 + audio bytes) must fit a signed 32-bit field.
int64_t MaxAudioBytes(const PcmFormat& format);

// The header of a file of frameCount frames. Sizes and the fact count are
// stored modulo 2^32; channels are taken as their low 16 bits.
std::vector<unsigned char> HeaderBytes(const PcmFormat& format, int64_t frameCount);

}  // namespace wavsplice
