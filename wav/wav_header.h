// The header the program writes in front of a destination's (or a crossfade temp file's) audio,
// chosen by the format: the canonical 44-byte header for integer mono and stereo, a float header
// with a fact chunk, or WAVE_FORMAT_EXTENSIBLE for more than two channels; each turned into RF64
// when the file passes 4 GiB - 1 byte.
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

// Bytes before the first audio byte in the RIFF header of this format (its RF64 form has 36 more:
// the ds64 chunk).
int64_t HeaderLength(const PcmFormat& format);

// The header of a file of frameCount frames (0 when negative), chosen once from its length: the
// RIFF header while the whole file stays within 4 GiB - 1 byte (RIFF's sizes are unsigned 32-bit),
// else its RF64 form. Channels are taken as their low 16 bits. metadataChunks (whole chunks, each
// of even length: MetadataChunkBytes) go between the format chunks and the "data" chunk, and the
// header grows by their length.
std::vector<unsigned char> HeaderBytes(const PcmFormat& format, int64_t frameCount,
                                       const std::vector<unsigned char>& metadataChunks = {});

}  // namespace wavsplice
