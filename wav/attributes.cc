#include "wav/attributes.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "common/failure.h"
#include "common/file_io.h"
#include "wav/byte_order.h"
#include "wav/chunk_scan.h"

namespace wavsplice {

namespace {

// Offsets within the fmt chunk, counted from its tag.
constexpr int64_t kFormatTagAt = 8;
constexpr int64_t kChannelsAt = 10;
constexpr int64_t kSampleRateAt = 12;
constexpr int64_t kBitsAt = 22;
constexpr int64_t kValidBitsAt = 26;    // extensible
constexpr int64_t kChannelMaskAt = 28;  // extensible
constexpr int64_t kSubFormatAt = 32;    // the GUID's first two bytes (extensible)
constexpr size_t kFormatFieldsBytes = 34;

int32_t ClampToInt32(int64_t value) {
  if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);
}

void ReadFormatFields(std::FILE* file, int64_t fmtAt, TrackAttributes& attributes) {
  // A short file leaves the missing bytes at 0.
  std::array<unsigned char, kFormatFieldsBytes> fields{};
  ReadAt(file, fmtAt, fields.data(), fields.size());
  attributes.audioFormat = static_cast<int32_t>(ReadLe16(&fields[kFormatTagAt]));
  attributes.channels = static_cast<int32_t>(ReadLe16(&fields[kChannelsAt]));
  // The rate is kept as its 32-bit pattern, as every later use reads it.
  attributes.sampleRate = static_cast<int32_t>(ReadLe32(&fields[kSampleRateAt]));
  attributes.bits = static_cast<int32_t>(ReadLe16(&fields[kBitsAt]));
  attributes.subFormat = static_cast<int32_t>(ReadLe16(&fields[kSubFormatAt]));
  attributes.validBits = static_cast<int32_t>(ReadLe16(&fields[kValidBitsAt]));
  attributes.channelMask = ReadLe32(&fields[kChannelMaskAt]);
  attributes.bytesPerSample = attributes.bits / 8;
}

// Bytes of audio from dataOffset: the data chunk's own size when it is
// believable, else everything to the end of the file (streaming recorders
// leave the size at 0 or 0xFFFFFFFF).
int64_t AudioBytes(std::FILE* file, int64_t dataTagAt, int64_t fileSize) {
  const int64_t dataOffset = dataTagAt + kDataTagToAudio;
  std::array<unsigned char, 4> sizeField{};
  if (ReadAt(file, dataTagAt + 4, sizeField.data(), sizeField.size()) == sizeField.size()) {
    const int64_t declared = ReadLe32(sizeField.data());
    if (declared > 0 && dataOffset + declared <= fileSize) return declared;
  }
  return fileSize - dataOffset;
}

}  // namespace

TrackAttributes GET_ATTRIBUTES(const std::string& wavPath) {
  FileHandle file = OpenFile(wavPath, "rb");
  if (!file) Fail(kExitFile, "Cannot find file in track list called %s!!\n", wavPath.c_str());

  TrackAttributes attributes;
  int64_t fmtAt = FIND_CHUNK(file.get(), "fmt");
  if (fmtAt < 0) {
    std::puts("Can't find format chunk in wave file!");
    fmtAt = kLastChunkCandidate;
  }
  ReadFormatFields(file.get(), fmtAt, attributes);

  const int64_t dataTagAt = FIND_CHUNK(file.get(), "data");
  if (dataTagAt < 0) Fail(kExitFile, "Can't find data block in wave file!\n");
  attributes.dataOffset = static_cast<int32_t>(dataTagAt + kDataTagToAudio);

  int64_t fileSize = FileSize(file.get());
  if (fileSize < 0) fileSize = 0;
  const int64_t frameSize = static_cast<int64_t>(attributes.channels) * attributes.bytesPerSample;
  attributes.lengthSamples =
      frameSize == 0 ? 0 : ClampToInt32(AudioBytes(file.get(), dataTagAt, fileSize) / frameSize);
  return attributes;
}

}  // namespace wavsplice
