#include "wav/pcm_codec.h"

namespace wavsplice {

namespace {

int32_t Signed(unsigned char byte) { return static_cast<int32_t>(static_cast<signed char>(byte)); }

// 16-bit samples arrive scaled by 256, on the 24-bit scale.
int32_t Decode16(const unsigned char* bytes) {
  return (Signed(bytes[1]) * 256 + bytes[0]) * 256;
}

int32_t Decode24(const unsigned char* bytes) {
  return Signed(bytes[2]) * 65536 + bytes[1] * 256 + bytes[0];
}

int32_t Decode(const unsigned char* bytes, int sampleType) {
  return sampleType == 2 ? Decode16(bytes) : Decode24(bytes);
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

bool KnownType(int sampleType) { return sampleType == 2 || sampleType == 3; }

}  // namespace

void CHAR_TO_NUM32(const unsigned char* pcmBytes, int32_t* sampleValues, int sampleType,
                   int32_t frameCount) {
  for (int32_t i = 0; i < frameCount; ++i) {
    sampleValues[i] = KnownType(sampleType) ? Decode(pcmBytes + i * sampleType, sampleType) : 0;
  }
}

void CHAR_TO_NUM32_STEREO(const unsigned char* pcmBytes, int32_t* leftValues,
                          int32_t* rightValues, int sampleType, int32_t frameCount) {
  for (int32_t i = 0; i < frameCount; ++i) {
    if (!KnownType(sampleType)) {
      leftValues[i] = rightValues[i] = 0;
      continue;
    }
    const unsigned char* frame = pcmBytes + i * 2 * sampleType;
    leftValues[i] = Decode(frame, sampleType);
    rightValues[i] = Decode(frame + sampleType, sampleType);
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
