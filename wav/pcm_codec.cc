#include "wav/pcm_codec.h"

#include <algorithm>
#include <cstring>

#include "common/vector_clones.h"

namespace wavsplice {

namespace {

int32_t Signed(unsigned char byte) { return static_cast<int32_t>(static_cast<signed char>(byte)); }

// A host that stores integers little-endian, as WAV does, moves a 16- or 32-bit value whole (the
// compiler turns the copy into one load or store, and a loop of them into vector moves); any other
// host assembles bytes.
constexpr bool kLittleEndianHost = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

// 16-bit samples arrive scaled by 256, on the 24-bit scale.
int32_t Decode16(const unsigned char* bytes) {
  if (kLittleEndianHost) {
    int16_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value * 256;
  }
  return static_cast<int32_t>(static_cast<int16_t>(bytes[0] | bytes[1] << 8)) * 256;
}

int32_t Decode24(const unsigned char* bytes) {
  return Signed(bytes[2]) * 65536 + bytes[1] * 256 + bytes[0];
}

void Encode16(int32_t value, unsigned char* bytes) {
  if (kLittleEndianHost) {
    const auto low = static_cast<int16_t>(static_cast<uint16_t>(value & 0xffff));
    std::memcpy(bytes, &low, sizeof low);
    return;
  }
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

// Values pass through the 16- and 24-bit leaves in pieces of this many.
constexpr int64_t kLeafValues = 256;

uint32_t Assemble32(const unsigned char* bytes) {
  if (kLittleEndianHost) {
    uint32_t pattern;
    std::memcpy(&pattern, bytes, sizeof pattern);
    return pattern;
  }
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void Spread32(uint32_t pattern, unsigned char* bytes) {
  if (kLittleEndianHost) {
    std::memcpy(bytes, &pattern, sizeof pattern);
    return;
  }
  for (int k = 0; k < 4; ++k) bytes[k] = static_cast<unsigned char>((pattern >> (8 * k)) & 0xff);
}

double DecodeFloat32(const unsigned char* bytes) {
  const uint32_t pattern = Assemble32(bytes);
  float value;
  std::memcpy(&value, &pattern, sizeof value);
  return value;
}

double DecodeFloat64(const unsigned char* bytes) {
  const uint64_t pattern =
      static_cast<uint64_t>(Assemble32(bytes)) | static_cast<uint64_t>(Assemble32(bytes + 4)) << 32;
  double value;
  std::memcpy(&value, &pattern, sizeof value);
  return value;
}

void EncodeFloat32(double value, unsigned char* bytes) {
  const float stored = static_cast<float>(value);  // rounds to nearest
  uint32_t pattern;
  std::memcpy(&pattern, &stored, sizeof pattern);
  Spread32(pattern, bytes);
}

void EncodeFloat64(double value, unsigned char* bytes) {
  uint64_t pattern;
  std::memcpy(&pattern, &value, sizeof pattern);
  Spread32(static_cast<uint32_t>(pattern), bytes);
  Spread32(static_cast<uint32_t>(pattern >> 32), bytes + 4);
}

// 16 and 24-bit values go through CHAR_TO_NUM32, which decodes interleaved values of any channel
// count as one run of values.
void DecodeThroughLeaf(int sampleType, const unsigned char* pcmBytes, double* values,
                       int64_t valueCount) {
  int32_t piece[kLeafValues];
  for (int64_t done = 0; done < valueCount; done += kLeafValues) {
    const int32_t n = static_cast<int32_t>(std::min(kLeafValues, valueCount - done));
    CHAR_TO_NUM32(pcmBytes + done * sampleType, piece, sampleType, n);
    for (int32_t i = 0; i < n; ++i) values[done + i] = piece[i];
  }
}

void EncodeThroughLeaf(int sampleType, const double* values, unsigned char* pcmBytes,
                       int64_t valueCount) {
  int32_t piece[kLeafValues];
  for (int64_t done = 0; done < valueCount; done += kLeafValues) {
    const int32_t n = static_cast<int32_t>(std::min(kLeafValues, valueCount - done));
    for (int32_t i = 0; i < n; ++i) piece[i] = static_cast<int32_t>(values[done + i]);
    if (sampleType == 2) {
      NUM16MONO_TO_CHAR(piece, pcmBytes + done * 2, n);
    } else {
      NUM24MONO_TO_CHAR(piece, pcmBytes + done * 3, n);
    }
  }
}

}  // namespace

double ResultScale(const PcmFormat& format) {
  return !format.IsFloat() && format.containerBytes == 2 ? kSixteenBitScale : 1.0;
}

WAVSPLICE_VECTOR_CLONES void DecodeValues(const PcmFormat& format, const unsigned char* pcmBytes,
                                          double* values, int64_t valueCount) {
  if (format.IsFloat()) {
    if (format.containerBytes == 8) {
      for (int64_t i = 0; i < valueCount; ++i) values[i] = DecodeFloat64(pcmBytes + i * 8);
    } else {
      for (int64_t i = 0; i < valueCount; ++i) values[i] = DecodeFloat32(pcmBytes + i * 4);
    }
    return;
  }
  switch (format.containerBytes) {
    case 1:
      for (int64_t i = 0; i < valueCount; ++i) values[i] = static_cast<int32_t>(pcmBytes[i]) - 128;
      break;
    case 2:
    case 3:
      DecodeThroughLeaf(format.containerBytes, pcmBytes, values, valueCount);
      break;
    default:
      for (int64_t i = 0; i < valueCount; ++i) {
        values[i] = static_cast<int32_t>(Assemble32(pcmBytes + i * 4));
      }
  }
}

WAVSPLICE_VECTOR_CLONES void EncodeValues(const PcmFormat& format, const double* values,
                                          unsigned char* pcmBytes, int64_t valueCount) {
  if (format.IsFloat()) {
    if (format.containerBytes == 8) {
      for (int64_t i = 0; i < valueCount; ++i) EncodeFloat64(values[i], pcmBytes + i * 8);
    } else {
      for (int64_t i = 0; i < valueCount; ++i) EncodeFloat32(values[i], pcmBytes + i * 4);
    }
    return;
  }
  switch (format.containerBytes) {
    case 1:
      for (int64_t i = 0; i < valueCount; ++i) {
        pcmBytes[i] = static_cast<unsigned char>(static_cast<int32_t>(values[i]) + 128);
      }
      break;
    case 2:
    case 3:
      EncodeThroughLeaf(format.containerBytes, values, pcmBytes, valueCount);
      break;
    default:
      for (int64_t i = 0; i < valueCount; ++i) {
        Spread32(static_cast<uint32_t>(static_cast<int32_t>(values[i])), pcmBytes + i * 4);
      }
  }
}

namespace {

// One loop per width, so that the compiler vectorises each.
WAVSPLICE_VECTOR_CLONES void DecodeRun16(const unsigned char* pcmBytes, int32_t* sampleValues,
                                         int32_t count) {
  for (int32_t i = 0; i < count; ++i) sampleValues[i] = Decode16(pcmBytes + i * 2);
}

WAVSPLICE_VECTOR_CLONES void DecodeRun24(const unsigned char* pcmBytes, int32_t* sampleValues,
                                         int32_t count) {
  for (int32_t i = 0; i < count; ++i) sampleValues[i] = Decode24(pcmBytes + i * 3);
}

}  // namespace

// The decoders choose the width once, outside the loop.
void CHAR_TO_NUM32(const unsigned char* pcmBytes, int32_t* sampleValues, int sampleType,
                   int32_t frameCount) {
  if (sampleType == 2) {
    DecodeRun16(pcmBytes, sampleValues, frameCount);
  } else if (sampleType == 3) {
    DecodeRun24(pcmBytes, sampleValues, frameCount);
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

WAVSPLICE_VECTOR_CLONES void NUM16MONO_TO_CHAR(const int32_t* sampleValues, unsigned char* pcmBytes,
                                               int32_t frameCount) {
  for (int32_t i = 0; i < frameCount; ++i) Encode16(sampleValues[i], pcmBytes + i * 2);
}

WAVSPLICE_VECTOR_CLONES void NUM24MONO_TO_CHAR(const int32_t* sampleValues, unsigned char* pcmBytes,
                                               int32_t frameCount) {
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
