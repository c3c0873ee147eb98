// Conversion between packed little-endian PCM bytes and sample values. DecodeValues and
// EncodeValues take every format the program supports; the 16- and 24-bit routines below are their
// leaves for those widths. Decoded 16-bit values are in 24-bit units (a 16-bit sample decodes to
// its value x 256); each encoder takes values in the units of its own width and keeps their low 16
// or 24 bits, so out-of-range values wrap: callers limit them first. A frameCount of 0 or less
// reads and writes nothing.
#pragma once

#include <cstdint>

#include "wav/pcm_format.h"

namespace wavsplice {

// Decoded 16-bit values are x 256: results are brought back to 16-bit units by this factor before
// they are encoded.
constexpr double kSixteenBitScale = 0.00390625;  // 1/256

// The factor that brings a computed value of the format back to the units its encoder takes:
// kSixteenBitScale for 16-bit integers, else 1.
double ResultScale(const PcmFormat& format);

// Decodes valueCount values (frames x channels, interleaved as stored) into values: 8-bit as byte -
// 128, 16-bit x 256, 24 and 32-bit as stored, float as stored (NaN and infinities included).
void DecodeValues(const PcmFormat& format, const unsigned char* pcmBytes, double* values,
                  int64_t valueCount);

// Encodes valueCount values in the format's own units (16-bit in 16-bit units). Integer values are
// truncated toward zero and must lie within the format's range (callers limit them); float values
// are rounded to the nearest value of the format.
void EncodeValues(const PcmFormat& format, const double* values, unsigned char* pcmBytes,
                  int64_t valueCount);

// sampleType is the bytes per sample, 2 or 3; any other type decodes every value as 0 without
// reading the bytes.
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
