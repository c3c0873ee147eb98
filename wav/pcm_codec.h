// Conversion between packed little-endian PCM bytes and signed 32-bit sample
// values, for 16- and 24-bit audio, mono and stereo. Decoded values are in
// 24-bit units (a 16-bit sample decodes to its value x 256); each encoder
// takes values in the units of its own width and keeps their low 16 or 24
// bits, so out-of-range values wrap: callers limit them first.
// A frameCount of 0 or less reads and writes nothing.
#pragma once

#include <cstdint>

namespace wavsplice {

// sampleType is the bytes per sample, 2 or 3; any other type decodes every
// value as 0 without reading the bytes.
void CHAR_TO_NUM32(const unsigned char* pcmBytes, int32_t* sampleValues, int sampleType,
                   int32_t frameCount);
void CHAR_TO_NUM32_STEREO(const unsigned char* pcmBytes, int32_t* leftValues, int32_t* rightValues,
                          int sampleType, int32_t frameCount);

void NUM16MONO_TO_CHAR(const int32_t* sampleValues, unsigned char* pcmBytes, int32_t frameCount);
void NUM24MONO_TO_CHAR(const int32_t* sampleValues, unsigned char* pcmBytes, int32_t frameCount);
void NUM16STER_TO_CHAR(const int32_t* leftValues, const int32_t* rightValues,
                       unsigned char* pcmBytes, int32_t frameCount);
void NUM24STER_TO_CHAR(const int32_t* leftValues, const int32_t* rightValues,
                       unsigned char* pcmBytes, int32_t frameCount);

}  // namespace wavsplice
