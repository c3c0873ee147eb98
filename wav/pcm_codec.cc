#include "wav/pcm_codec.h"

namespace wavsplice {

namespace {

int32_t Signed(unsigned char byte) { return static_cast<int32_t>(static_cast<signed char>(byte)); }

// 16-bit samples arrive scaled by 256, on the 24-bit scale. (The two bytes
// are assembled as one 16-bit value, which the compiler can load whole.)
int32_t Decode16(const unsigned char* bytes) {
  return static_cast<int32_t>(static_cast<int16_t>(bytes[0] | bytes[1] << 8)) * 256;
}

int32_t Decode24(const unsigned char* bytes) {
  return Signed(bytes[2]) * 65536 + bytes[1] * 256 + bytes[0];
}

void Encode16(int32_t value, unsigned char* bytes) {
  const uint32_t pattern = static_cast<uint32_t>(value);
  bytes[0] = static_cast<unsigned char>(pattern & 0xff);
  bytes[1] = static_cast<unsigned char>((pattern >> 8) & 0xff);
}

void Encode24(int32_t value, unsigned char* bytes) {
  const uint32_t pattern = static_cast<uint32_t>(value);
  bytes[0] = static_cast<unsigned char>(pattern & 0xff);
  bytes[1] = static_cast<unsigned char>((pattern >> 8) & 0xff);
  bytes[2] = static_cast<unsigned char>((pattern >> 16) & 0xff);
}

}  // namespace

// The decoders choose the width once, outside the loop, so that each loop
// decodes one width only and the compiler can vectorise it.
void CHAR_TO_NUM32(const unsigned char* pcmBytes, int32_t* sampleValues, int sampleType,
                   int32_t frameCount) {
  if (sampleType == 2) {
    for (int32_t i = 0; i < frameCount; ++i) sampleValues[i] = Decode16(pcmBytes + i * 2);
  } else if (sampleType == 3) {
    for (int32_t i = 0; i < frameCount; ++i) sampleValues[i] = Decode24(pcmBytes + i * 3);
  } else {
    for (int32_t i = 0; i < frameCount; ++i) sampleValues[i] = 0;
  }
}

void CHAR_TO_NUM32_STEREO(const unsigned char* pcmBytes, int32_t* leftValues, int32_t* rightValues,
                          int sampleType, int32_t frameCount) {
  if (sampleType == 2) {
    for (int32_t i = 0; i < frameCount; ++i) {
      leftValues[i] = Decode16(pcmBytes + i * 4);
      rightValues[i] = Decode16(pcmBytes + i * 4 + 2);
    }
  } else if (sampleType == 3) {
    for (int32_t i = 0; i < frameCount; ++i) {
      leftValues[i] = Decode24(pcmBytes + i * 6);
      rightValues[i] = Decode24(pcmBytes + i * 6 + 3);
    }
  } else {
    for (int32_t i = 0; i < frameCount; ++i) leftValues[i] = rightValues[i] = 0;
  }
}

void NUM16MONO_TO_CHAR(const int32_t* sampleValues, unsigned char* pcmBytes, int32_t frameCount) {
  for (int32_t i = 0; i < frameCount; ++i) Encode16(sampleValues[i], pcmBytes + i * 2);
}

void NUM24MONO_TO_CHAR(const int32_t* sampleValues, unsigned char* pcmBytes, int32_t frameCount) {
  for (int32_t i = 0; i < frameCount; ++i) Encode24(sampleValues[i], pcmBytes + i * 3);
}

void NUM16STER_TO_CHAR(const int32_t* leftValues, const int32_t* rightValues,
                       unsigned char* pcmBytes, int32_t frameCount) {
  for (int32_t i = 0; i < frameCount; ++i) {
    Encode16(leftValues[i], pcmBytes + i * 4);
    Encode16(rightValues[i], pcmBytes + i * 4 + 2);
  }
}

void NUM24STER_TO_CHAR(const int32_t* leftValues, const int32_t* rightValues,
                       unsigned char* pcmBytes, int32_t frameCount) {
  for (int32_t i = 0; i < frameCount; ++i) {
    Encode24(leftValues[i], pcmBytes + i * 6);
    Encode24(rightValues[i], pcmBytes + i * 6 + 3);
  }
}

}  // namespace wavsplice
